#pragma once

// QtCheckBox: a check box; a click goes to the API control with the box's
// new state. The state the program sets is no click.
//
// Thread rules: main thread only.

#include "platform/display/DisplayService.h"
#include "platform/display/PeerAddress.h"

#include <QCheckBox>

class QtCheckBox final : public QCheckBox {
public:
    QtCheckBox(QWidget* parent, const ViewInfo& info, PeerAddress address, PeerId peer);

    // "1" ticks the box, anything else clears it.
    void SetValue(const std::string& value);
    void SetColors(rgb_color viewColor, rgb_color highColor);
};
