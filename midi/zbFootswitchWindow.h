#pragma once

// The footswitch's window: which Control Change or note of what other
// programs send to "Zimbrel in" is the footswitch, on which channel, and
// whether it turns Sending over or sends while held; below, the last
// message heard there, so that a pedal can be found by pressing it, and a
// button that takes it. A change applies at once: the window sends the
// whole footswitch to the main window, which keeps it and answers with what
// it now holds. Escape closes the window.

#include "midi/Footswitch.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/StringView.h"
#include "platform/interface/TextControl.h"
#include "platform/interface/Window.h"

enum : uint32 {
    // To the main window: the footswitch as the window would have it (the
    // fields of AddFootswitch).
    kConfigureFootswitch = 'zFCF',
    // To the main window: open the footswitch's window, or bring it forward.
    kOpenFootswitch = 'zFOP',
    // To the footswitch's window: the footswitch the main window holds (the
    // fields of AddFootswitch).
    kShowFootswitch = 'zFSH',
    // To the footswitch's window: a message arrived at "Zimbrel in" (the
    // fields of kMidiReceived).
    kFootswitchHeard = 'zFHR',
    // To the footswitch's window: come to the front.
    kRaiseFootswitch = 'zFRA',
};

class zbFootswitchWindow : public BWindow {
public:
    zbFootswitchWindow(BMessenger mainWindow, const Footswitch& shown);

    void MessageReceived(BMessage* message) override;

private:
    void ShowFootswitch(const Footswitch& footswitch);
    void Heard(const BMessage& received);
    void NumberEdited();
    void Propose(const Footswitch& footswitch);

    BMessenger fMainWindow;
    Footswitch fShown;
    // The last Control Change or note heard, which "Use" takes.
    std::optional<Footswitch> fHeard;
    BMenuField* fSource;
    BTextControl* fNumber;
    BMenuField* fChannel;
    BMenuField* fAction;
    BStringView* fNote;
    BStringView* fHeardLine;
};
