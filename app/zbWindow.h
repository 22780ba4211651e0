#pragma once

#include "app/CommandLine.h"
#include "app/waylandNotice.h"
#include "app/zbSession.h"
#include "capture/VCanvas.h"
#include "capture/VCursorRelay.h"
#include "mapping/zbOutput.h"
#include "midi/Footswitch.h"
#include "midi/zbRemote.h"
#include "platform/input/GlobalKeyGrab.h"
#include "platform/interface/Menu.h"
#include "platform/interface/MenuBar.h"
#include "platform/interface/Window.h"

#include <memory>

// The main window: its menus choose the channel and the MIDI consumers, and
// it hands cursor data and menu commands to the mapping view. Its Canvas
// menu, and files dropped on it, go to the canvas. On a Wayland desktop a
// line under the panel says whether the whole screen is followed (the
// desktop's screen sharing, which the Canvas menu can ask for again) and
// offers the canvas. Its Sending menu holds the program's one switch and
// chooses what lets the pointer play; the Pause key turns the switch over
// from anywhere on an X11 desktop, and from any Zimbrel window elsewhere.
// What other programs send to "Zimbrel in" comes here too: the footswitch
// turns Sending over or holds it, and Program Change N loads the Nth preset
// of the list (N counted from 1, as instruments show it; 0 on the wire).
class zbWindow : public BWindow {
public:
    // The options' picture, when there is one, opens on the canvas at once,
    // and their preset is loaded.
    zbWindow(BRect frame, const char* title, const StartOptions& options = {});
    ~zbWindow() override;

    void DispatchMessage(BMessage* message, BHandler* handler) override;
    void MessageReceived(BMessage* message) override;
    bool QuitRequested() override;
    void MenusBeginning() override;
    void MenusEnded() override;

    // The canvas, made when it is closed.
    BMessenger Canvas();
    // Replaces the canvas with one that starts from a session's settings.
    void RestoreCanvas(const CanvasState& state);
    // The canvas when it is open; otherwise a messenger that sends nowhere.
    BMessenger ExistingCanvas() const { return canvas; }

private:
    void TellPlayers(const BMessenger& player) const;
    void ChoosePlayers(const BMessage& choice);
    void ListDevices();
    void Heard(BMessage* received);
    void OpenFootswitch();
    // Says which footswitch is in use; one that holds Sending pauses it
    // until it is pressed.
    void TellFootswitch();
    void ConfigureFootswitch(const BMessage& change);

    BMenuBar* menuBar;
    BMenu* channelMenu;
    BMenu* portMenu;
    BMenuItem* followItem;
    BMenuItem* sendingItem;
    // The play modes' items, in the order of PlayMode.
    BMenuItem* playItems[3];
    // Every pointer, and only pens and erasers, in the order of Players.
    BMenuItem* playerItems[2];
    // One item per device the pointer service names, while the menus are open.
    BMenu* deviceMenu;
    waylandNotice* notice = nullptr;
    zbOutput* output;
    // The relay deletes itself when it quits, which the application's own
    // quit may make happen first; a messenger notices that it is gone.
    BMessenger relay;
    // The canvas, which may have quit.
    BMessenger canvas;
    // Under a session manager, the session, which the window owns.
    zbSession* session = nullptr;
    // Pause for the whole desktop, when the desktop lets Zimbrel have it.
    std::unique_ptr<GlobalKeyGrab> pauseKey;
    // "Zimbrel in", which the window holds a reference to.
    zbRemote* remote;
    Footswitch footswitch;
    bool footswitchDown = false;
    BMessenger footswitchWindow;
};
