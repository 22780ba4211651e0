#pragma once

// The canvas: a window of the program's own that shows a picture and plays
// it. While the pointer or the pen is over the picture, it posts the same
// 'cdat' cursor data messages as the cursor relay to its target: x and y
// across the shown picture, the colour of the picture's own pixel under the
// pointer, the pen's pressure and eraser, and the buttons. Over the bands
// beside the picture it posts nothing. While it is shown it tells the relay
// where it is on the screen, and the relay stays silent there, so that one
// motion is never sent twice; where its place is unknown (a native Wayland
// window), it silences the relay while the pointer is over it.
//
// It starts hidden and shows itself once a picture opened (or failed to,
// so that the window can say why), beside the main window unless it has a
// frame kept from before. Its last picture file, its frame (the one outside
// full screen), whether it was full screen and whether it was open are kept
// in the user's settings as it quits: a canvas open when the program quit
// comes back at the next start, full screen if it was; one closed with its
// close box does not, though its frame is kept for the next one.
//
// Under a session manager the session keeps all that instead: the canvas
// starts from the state the session gives it, never reads or writes the
// user's, and tells its target its state (a kCanvasSettings message with
// the flattened state as "state") when asked and as its close box closes
// it.
//
// Commands it takes: kCanvasOpen ("path"), kCanvasChoose, kCanvasPaste,
// kCanvasFullScreen, B_SIMPLE_DATA (files dropped: the first "be:path"
// opens), kCanvasTellSettings, and kCanvasHide / kCanvasShow (with the
// other windows of the program: a canvas that was hidden stays so).

#include "capture/CanvasState.h"
#include "capture/CursorData.h"
#include "capture/PlayerChoice.h"
#include "platform/app/Messenger.h"
#include "platform/interface/PictureView.h"
#include "platform/interface/Window.h"

#include <string>

enum : uint32 {
    kCanvasOpen = 'cOPN',
    kCanvasChoose = 'cCHO',
    kCanvasPaste = 'cPST',
    kCanvasFullScreen = 'cFUL',
    kCanvasTellSettings = 'cTEL',
    kCanvasHide = 'cHID',
    kCanvasShow = 'cSHW',
    kCanvasSettings = 'cSET',
};

class VCanvas : public BWindow {
public:
    // `picture`, when not empty, opens at once; otherwise, with
    // `restoreKept`, the picture kept from last time if the canvas was open
    // when the program quit. `mainFrame` is the main window's frame, which
    // a canvas without a kept frame keeps clear of. With `sessionState`,
    // that is the kept state, and the user's is left alone.
    VCanvas(BLooper* target, BMessenger relay, const std::string& picture, bool restoreKept, BRect mainFrame,
        const CanvasState* sessionState = nullptr);

    void DispatchMessage(BMessage* message, BHandler* handler) override;
    bool QuitRequested() override;

    // Fills `cursorData` with the eight cursor data fields for a pointer
    // event of the picture view; false over the bands or without a picture.
    static bool BuildMessage(const BMessage* event, BMessage* cursorData);

    // Where the canvas keeps its settings.
    static std::string SettingsPath();

private:
    VCanvas(BLooper* target, BMessenger relay, const std::string& picture, bool restoreKept, BRect mainFrame,
        bool inSession, const CanvasState& kept);
    void Pointer(BMessage* event);
    // Shows the window, the first time beside the main window unless it
    // has a kept frame.
    void ShowUp();
    // Tells the relay where the canvas is, or that it is hidden.
    void SilenceRelay();
    // Follows whether the pointer is over the picture view.
    void PointerOver(bool over);
    void PictureOpened(const BMessage* message);
    void SaveSettings(bool open);
    // Tells the target the state as it stands.
    void TellState(bool open);

    BMessenger target;
    BMessenger relay;
    BPictureView* picture;
    std::string picturePath; // empty for a pasted picture
    BRect mainFrame; // invalid once the canvas has its place
    // The frame outside full screen: what is kept for the next start.
    BRect normalFrame;
    // Set when the canvas was full screen at the last quit, until its
    // picture is shown again.
    bool restoreFullScreen = false;
    bool pointerOver = false;
    PlayerChoice players; // as kChoosePlayers last said
    // Kept from event to event, so that a motion allocates no message.
    BMessage cursorData { kCursorData };
    bool quitWithApplication = false;
    bool inSession;
    // The program's windows are hidden, and the canvas with them; it shows
    // again with them when it was shown, or was about to be.
    bool windowsHidden = false;
    bool showWithWindows = false;
};
