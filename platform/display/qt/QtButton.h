#pragma once

// QtButton: a push button; a press goes to the API control.
//
// Thread rules: main thread only.

#include "platform/display/DisplayService.h"
#include "platform/display/PeerAddress.h"

#include <QPushButton>

class QtButton final : public QPushButton {
public:
    QtButton(QWidget* parent, const ViewInfo& info, PeerAddress address, PeerId peer);
};
