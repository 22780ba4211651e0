#pragma once

// BTextControl: a label and a one-line text field. When the user commits an
// edit (Enter, or leaving the field after changing it) the control takes
// the new text and is invoked: a copy of its message goes to its target, or
// to its window when it has none. Setting the text from the program
// invokes nothing.
//
// Thread rules: as for views.

#include "platform/app/Invoker.h"
#include "platform/interface/View.h"

#include <string>

class BTextControl : public BView, public BInvoker {
public:
    // Copies `label` and `text`, and takes ownership of `message`. The
    // label takes the room left of the divider: half the width, or none
    // when there is no label.
    BTextControl(BRect frame, const char* name, const char* label, const char* text, BMessage* message,
        uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP, uint32 flags = B_WILL_DRAW | B_NAVIGABLE);

    void SetText(const char* text);
    const char* Text() const { return fText.c_str(); }
    const char* Label() const { return fLabel.c_str(); }
    void SetDivider(float divider);
    float Divider() const { return fDivider; }

protected:
    void CreatePeer(DisplayService& display) override;
    // Without a target, the control's window receives it.
    BMessenger DefaultTarget() const override;

private:
    friend class BWindow;
    // The user committed `text` in the display.
    void TextCommitted(const char* text);

    std::string fLabel;
    std::string fText;
    float fDivider;
};
