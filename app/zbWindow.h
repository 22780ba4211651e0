#pragma once

#include "capture/VCursorRelay.h"
#include "mapping/zbOutput.h"
#include "platform/interface/Menu.h"
#include "platform/interface/MenuBar.h"
#include "platform/interface/Window.h"

// The main window: its menus choose the channel and the MIDI consumers, and
// it hands cursor data and menu commands to the mapping view.
class zbWindow : public BWindow {
public:
    zbWindow(BRect frame, const char* title);

    void MessageReceived(BMessage* message) override;
    bool QuitRequested() override;
    void MenusBeginning() override;
    void MenusEnded() override;

private:
    BMenuBar* menuBar;
    BMenu* channelMenu;
    BMenu* portMenu;
    zbOutput* output;
    // The relay deletes itself when it quits, which the application's own
    // quit may make happen first; a messenger notices that it is gone.
    BMessenger relay;
};
