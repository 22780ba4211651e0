#pragma once

#include "app/CommandLine.h"
#include "app/waylandNotice.h"
#include "app/zbSession.h"
#include "capture/VCanvas.h"
#include "capture/VCursorRelay.h"
#include "mapping/zbOutput.h"
#include "platform/interface/Menu.h"
#include "platform/interface/MenuBar.h"
#include "platform/interface/Window.h"

// The main window: its menus choose the channel and the MIDI consumers, and
// it hands cursor data and menu commands to the mapping view. Its Canvas
// menu, and files dropped on it, go to the canvas. On a Wayland desktop a
// line under the panel says whether the whole screen is followed (the
// desktop's screen sharing, which the Canvas menu can ask for again) and
// offers the canvas.
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
    BMenuBar* menuBar;
    BMenu* channelMenu;
    BMenu* portMenu;
    BMenuItem* followItem;
    waylandNotice* notice = nullptr;
    zbOutput* output;
    // The relay deletes itself when it quits, which the application's own
    // quit may make happen first; a messenger notices that it is gone.
    BMessenger relay;
    // The canvas, which may have quit.
    BMessenger canvas;
    // Under a session manager, the session, which the window owns.
    zbSession* session = nullptr;
};
