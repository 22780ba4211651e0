#pragma once

// BCheckBox: a box that is ticked (value 1) or not (0), with its label on
// the right. A click turns it over and invokes it.
//
// Thread rules: as for views.

#include "platform/interface/Control.h"

class BCheckBox : public BControl {
public:
    BCheckBox(BRect frame, const char* name, const char* label, BMessage* message,
        uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP, uint32 flags = B_WILL_DRAW | B_NAVIGABLE);

protected:
    ViewKind PeerKind() const override { return ViewKind::CheckBox; }
};
