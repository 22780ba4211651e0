#pragma once

// BControl: a view with a label and a value that the user sets with one
// action (a press of a button, a click on a check box). Each action gives the
// control its new value and invokes it: a copy of its message, with
// "be:value" (int32) added, goes to its target, or to its window when it has
// none. Setting the value from the program invokes nothing.
//
// Thread rules: as for views.

#include "platform/app/Invoker.h"
#include "platform/interface/View.h"

#include <string>

class BControl : public BView, public BInvoker {
public:
    // Copies `label`, and takes ownership of `message`.
    BControl(BRect frame, const char* name, const char* label, BMessage* message, uint32 resizingMode,
        uint32 flags);

    void SetValue(int32 value);
    int32 Value() const { return fValue; }
    const char* Label() const { return fLabel.c_str(); }

protected:
    // The kind of peer the display shows for the control.
    virtual ViewKind PeerKind() const = 0;
    void CreatePeer(DisplayService& display) override;
    BMessenger DefaultTarget() const override;
    void AddInvokeFields(BMessage* copy) const override;

private:
    friend class BWindow;
    // The user acted on the control in the display.
    void ControlInvoked(int32 value);

    std::string fLabel;
    int32 fValue = 0;
};
