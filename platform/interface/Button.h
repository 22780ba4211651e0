#pragma once

// BButton: a push button showing its label. A press invokes it.
//
// Thread rules: as for views.

#include "platform/interface/Control.h"

class BButton : public BControl {
public:
    BButton(BRect frame, const char* name, const char* label, BMessage* message,
        uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP, uint32 flags = B_WILL_DRAW | B_NAVIGABLE);

protected:
    ViewKind PeerKind() const override { return ViewKind::Button; }
};
