#include "capture/VCanvas.h"

#include "capture/CursorData.h"
#include "capture/VCursorRelay.h"
#include "platform/app/AppDefs.h"
#include "platform/interface/Screen.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/BoundedFile.h"
#include "platform/storage/Directory.h"
#include "platform/storage/FindDirectory.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// Settings are a few dozen bytes and a path; anything far larger is not ours.
constexpr size_t kLargestSettingsFile = 64 * 1024;
constexpr BRect kDefaultFrame(120, 120, 759, 599);
// What a kept frame is fitted to when no screen can be reached (a native
// Wayland window, which places itself anyway): an 8K monitor.
constexpr BRect kUnknownScreen(0, 0, 7679, 4319);

void WriteSettings(const CanvasState& state)
{
    create_directory(UserSettingsDirectory().c_str(), 0777);
    const std::vector<char> bytes = FlattenCanvasState(state);
    if (const int error = ReplaceFileContents(VCanvas::SettingsPath().c_str(), bytes.data(), bytes.size()))
        std::fprintf(stderr, "cannot keep the canvas settings in %s: %s\n", VCanvas::SettingsPath().c_str(),
            std::strerror(error));
}

// The kept settings with their frame fitted to the screen, or a fresh
// state when there are none. What had to be refused or repaired is said on
// standard error and written back at once, so that it is said once.
CanvasState LoadSettings()
{
    const std::string path = VCanvas::SettingsPath();
    CanvasState state;
    const BoundedFile file(path.c_str(), kLargestSettingsFile);
    if (file.InitCheck() == B_ENTRY_NOT_FOUND)
        return state;
    std::string why;
    if (file.InitCheck() != B_OK) {
        std::fprintf(stderr, "the canvas settings in %s cannot be read: %s; the canvas starts afresh\n",
            path.c_str(), file.Why().c_str());
        WriteSettings(state);
        return state;
    }
    if (ReadCanvasState(file.Bytes().data(), file.Bytes().size(), &state, &why) != B_OK) {
        std::fprintf(stderr, "the canvas settings in %s are damaged (%s); the canvas starts afresh\n",
            path.c_str(), why.c_str());
        WriteSettings(state);
        return state;
    }
    if (!why.empty()) {
        std::fprintf(stderr, "the canvas settings in %s are damaged (%s); the canvas takes a frame of its own\n",
            path.c_str(), why.c_str());
        WriteSettings(state);
        return state;
    }
    if (!state.frame.IsValid())
        return state;
    BScreen screen(B_MAIN_SCREEN_ID);
    const BRect kept = state.frame;
    const std::string changed = FitFrame(&state.frame, screen.IsValid() ? screen.Frame() : kUnknownScreen);
    if (!changed.empty()) {
        std::fprintf(stderr,
            "the canvas settings in %s kept a frame of %g x %g at (%g, %g), but %s: the canvas takes %g x %g "
            "at (%g, %g)\n",
            path.c_str(), double(kept.Width() + 1), double(kept.Height() + 1), double(kept.left), double(kept.top),
            changed.c_str(), double(state.frame.Width() + 1), double(state.frame.Height() + 1),
            double(state.frame.left), double(state.frame.top));
        WriteSettings(state);
    }
    return state;
}

// A session's state, read back like the user's, with its frame fitted to
// the screen; quietly, as the session's own state is written at its next
// save.
CanvasState FittedToScreen(CanvasState state)
{
    if (state.frame.IsValid()) {
        BScreen screen(B_MAIN_SCREEN_ID);
        FitFrame(&state.frame, screen.IsValid() ? screen.Frame() : kUnknownScreen);
    }
    return state;
}

} // namespace

VCanvas::VCanvas(BLooper* target, BMessenger relay, const std::string& picturePath, bool restoreKept,
    BRect mainFrame, const CanvasState* sessionState)
    : VCanvas(target, relay, picturePath, restoreKept, mainFrame, sessionState != nullptr,
        sessionState != nullptr ? FittedToScreen(*sessionState) : LoadSettings())
{
}

VCanvas::VCanvas(BLooper* target, BMessenger relay, const std::string& picturePath, bool restoreKept,
    BRect mainFrame, bool inSession, const CanvasState& kept)
    : BWindow(kept.frame.IsValid() ? kept.frame : kDefaultFrame, "Zimbrel Canvas", B_TITLED_WINDOW,
        B_ASYNCHRONOUS_CONTROLS),
      target(target), relay(relay), mainFrame(kept.frame.IsValid() ? BRect() : mainFrame), normalFrame(Frame()),
      inSession(inSession)
{
    // The name its thread shows in `top -H`.
    SetName("canvas");
    picture = new BPictureView(Bounds(), "picture", B_FOLLOW_ALL);
    AddChild(picture);

    if (!picturePath.empty()) {
        picture->OpenPicture(picturePath.c_str(), true);
    } else if (restoreKept && kept.open && !kept.path.empty()) {
        picture->OpenPicture(kept.path.c_str(), false);
        restoreFullScreen = kept.fullScreen;
    }
    // Hidden, but running, so that it hears when a picture opened.
    Hide();
    Show();
}

std::string VCanvas::SettingsPath()
{
    return UserSettingsDirectory() + "/Zimbrel2 Canvas";
}

void VCanvas::DispatchMessage(BMessage* message, BHandler* handler)
{
    switch (message->what) {
    case B_MOUSE_DOWN:
    case B_MOUSE_MOVED:
    case B_MOUSE_UP:
        PointerOver(true);
        Pointer(message);
        break;
    case kPointerLeftView: PointerOver(false); break;
    case kChoosePlayers: {
        std::string why;
        PlayerChoice::Find(*message, &players, &why);
        break;
    }
    case kPictureOpened: PictureOpened(message); break;
    case kPictureFailed:
        // The display says why, in the window and on standard error.
        restoreFullScreen = false;
        ShowUp();
        break;
    case kWindowFrameChanged:
        BWindow::DispatchMessage(message, handler);
        if (!IsFullScreen())
            normalFrame = Frame();
        SilenceRelay();
        break;
    case kCanvasOpen: picture->OpenPicture(message->FindString("path"), true); break;
    case B_SIMPLE_DATA: picture->OpenPicture(message->FindString("be:path"), true); break;
    case kCanvasChoose: picture->ChoosePicture(); break;
    case kCanvasPaste: picture->PastePicture(); break;
    case kCanvasFullScreen:
        ShowUp();
        ToggleFullScreen();
        break;
    case kCanvasTellSettings: TellState(!IsHidden() || showWithWindows); break;
    case kCanvasHide:
        windowsHidden = true;
        if (!IsHidden()) {
            showWithWindows = true;
            Hide();
            SilenceRelay();
        }
        break;
    case kCanvasShow:
        windowsHidden = false;
        if (std::exchange(showWithWindows, false))
            ShowUp();
        break;
    case B_QUIT_REQUESTED:
        quitWithApplication = message->FindBool(B_APPLICATION_QUITTING);
        BWindow::DispatchMessage(message, handler);
        break;
    default: BWindow::DispatchMessage(message, handler); break;
    }
}

void VCanvas::Pointer(BMessage* event)
{
    if (!players.Plays(*event))
        return;
    cursorData.MakeEmpty();
    if (!BuildMessage(event, &cursorData))
        return;
    // As the relay does: a motion replaces one the main window has not
    // taken yet.
    if (event->what == B_MOUSE_MOVED)
        target.SendReplacingQueued(cursorData);
    else
        target.SendMessage(&cursorData);
}

bool VCanvas::BuildMessage(const BMessage* event, BMessage* cursorData)
{
    if (!event->HasInt32(kPictureColorField) || !event->HasRect(kPictureFrameField))
        return false;
    const BRect shown = event->FindRect(kPictureFrameField);
    const BPoint where = event->FindPoint("where");
    // Columns and rows of the shown picture, as the relay counts pixels of
    // the screen: 0 at the left or top edge, the extent at the other.
    const float column = std::floor(where.x) - shown.left;
    const float row = std::floor(where.y) - shown.top;
    const uint32 rgb = uint32(event->FindInt32(kPictureColorField));
    FillCursorData(cursorData, *event, rgb, column, shown.Width(), row, shown.Height());
    return true;
}

void VCanvas::SilenceRelay()
{
    BMessage silence(kRelaySilence);
    // A canvas whose place is unknown is a native Wayland window. The relay
    // hears the pointer over it only through the desktop's screen sharing,
    // and cannot tell where it is: while the pointer is over the canvas the
    // relay is silent everywhere.
    if (!IsHidden() && IsPlaced())
        silence.AddRect("frame", Frame());
    else if (!IsHidden() && pointerOver)
        silence.AddBool("everywhere", true);
    relay.SendMessage(&silence);
}

void VCanvas::PointerOver(bool over)
{
    if (over == pointerOver)
        return;
    pointerOver = over;
    if (!IsPlaced())
        SilenceRelay();
}

void VCanvas::PictureOpened(const BMessage* message)
{
    const char* path = message->FindString(kPathField);
    picturePath = path != nullptr ? path : "";
    const char* name = message->FindString(kNameField);
    SetTitle((std::string("Zimbrel Canvas \u2014 ") + (name != nullptr ? name : "")).c_str());
    ShowUp();
    if (restoreFullScreen && !IsFullScreen())
        ToggleFullScreen();
    restoreFullScreen = false;
}

void VCanvas::ShowUp()
{
    if (windowsHidden) {
        showWithWindows = true;
        return;
    }
    if (!IsHidden())
        return;
    BScreen screen(B_MAIN_SCREEN_ID);
    if (screen.IsValid() && IsPlaced())
        MoveTo(mainFrame.IsValid() ? screen.PlaceBeside(Frame(), mainFrame) : screen.BelowTheTop(Frame()));
    mainFrame = BRect();
    Show();
    SilenceRelay();
}

bool VCanvas::QuitRequested()
{
    // Closed by its close box, it does not come back at the next start.
    const bool open = quitWithApplication && (!IsHidden() || showWithWindows);
    Hide();
    SilenceRelay();
    if (!inSession)
        SaveSettings(open);
    else if (!quitWithApplication)
        TellState(false); // the session keeps what the close box left
    return true;
}

void VCanvas::SaveSettings(bool open)
{
    WriteSettings(CanvasState { picturePath, normalFrame, IsFullScreen(), open });
}

void VCanvas::TellState(bool open)
{
    const std::vector<char> bytes = FlattenCanvasState(CanvasState { picturePath, normalFrame, IsFullScreen(), open });
    BMessage state(kCanvasSettings);
    state.AddData("state", B_RAW_TYPE, bytes.data(), ssize_t(bytes.size()));
    target.SendMessage(&state);
}
