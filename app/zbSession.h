#pragma once

// The program under a session manager: on the main window's thread, it
// opens the state the manager's folder keeps (the first time and at every
// switch), saves it when asked, shows and hides the windows, and tells the
// manager whether anything changed since the last save.
//
// Changes are noticed by comparing what the session would save now with
// what it saved or opened last, once a second and before each save: the
// mapping and row settings, the links (made anywhere), and the canvas
// (commands to it, and its close box).

#include "app/SessionState.h"
#include "platform/app/Handler.h"
#include "platform/session/SessionClient.h"

#include <memory>
#include <string>

class zbOutput;
class zbWindow;

class zbSession : public BHandler {
public:
    zbSession(std::shared_ptr<SessionClient> client, zbWindow* window, zbOutput* output);

    void MessageReceived(BMessage* message) override;

    // What the close box and Quit do under a session manager: the windows
    // go, the program and its output stay.
    void HideWindows();
    // A command that changes the canvas went to it.
    void CanvasChanged() { canvasChanged = true; }
    // The canvas's state as it last told it, for a new canvas.
    const CanvasState& CanvasSettings() const { return canvasState; }

private:
    void Open(const BMessage* request);
    void Save();
    // Writes what the canvas told, with the rest, and answers the save.
    void FinishSave(const CanvasState& canvas);
    void ShowWindows();
    void NoticeChanges();
    // The state as it stands, with `canvas` as the canvas's settings.
    SessionState Current(const CanvasState& canvas) const;
    void Kept(const SessionState& state);

    std::shared_ptr<SessionClient> client;
    zbWindow* window;
    zbOutput* output;
    std::string folder;
    // The state as last opened or saved, which changes are measured from.
    SessionState kept;
    // The canvas's state as it last told it (its close box included).
    CanvasState canvasState;
    bool canvasChanged = false;
    bool savePending = false;
    bool dirty = false;
    bool windowsShown = true;
};
