#include "platform/interface/Window.h"

#include "platform/app/AppDefs.h"
#include "platform/display/DisplayMessages.h"
#include "platform/input/PointerService.h"
#include "platform/input/ScreenChangeNotifier.h"
#include "platform/interface/Control.h"
#include "platform/interface/Menu.h"
#include "platform/interface/TextControl.h"

namespace {

// The window's background, which views that adopt their parent's colour
// take when they sit directly in the window.
constexpr rgb_color kPanelBackground { 216, 216, 216, 255 };

// A pick posts its invocation to the window while being handled, which puts
// it behind the display's kMenusEnded; going round the queue once more lets
// the invocation arrive before MenusEnded runs.
constexpr uint32 kMenusEndedAfterPicks = '_MNA';

} // namespace

BWindow::BWindow(BRect frame, const char* title, window_type type, uint32 flags, uint32 workspaces)
    : BLooper(title)
    , fRoot(BRect(0, 0, frame.Width(), frame.Height()), "", B_FOLLOW_ALL, 0)
    , fFrame(frame)
    , fTitle(title ? title : "")
    , fType(type)
    , fFlags(flags)
    , fWorkspaces(workspaces)
    , fDisplay(DisplayService::Current())
    , fPeer(DisplayService::NewPeerId())
{
    fRoot.fWindow = this;
    fRoot.fPeer = 0; // top-level views sit directly in the window
    fRoot.fViewColor = kPanelBackground;
    fDisplay->CreateWindow(fPeer, WindowInfo { fTitle, fFrame, fType, fFlags, kPanelBackground, Queue() });
}

BWindow::~BWindow()
{
    fDisplay->DestroyWindow(fPeer);
    fPeerAlive = false;
    if (fListensToScreen)
        ScreenChangeNotifier::Instance().RemoveListener(BMessenger(this));
    while (BView* child = fRoot.ChildAt(0)) {
        fRoot.RemoveChild(child);
        delete child;
    }
}

void BWindow::DispatchMessage(BMessage* message, BHandler* handler)
{
    switch (message->what) {
    case B_SCREEN_CHANGED:
        if (handler != this)
            break;
        ScreenChanged(message->FindRect("frame"), color_space(message->FindInt32("mode")));
        return;
    case kMenusBeginning:
        MenusBeginning();
        Acknowledge(message);
        return;
    case kMenusEnded: PostMessage(kMenusEndedAfterPicks); return;
    case kMenusEndedAfterPicks: MenusEnded(); return;
    case kSynchronize: Acknowledge(message); return;
    case B_PULSE:
        if (handler != this)
            break;
        PulseViews(&fRoot);
        return;
    case kWindowFrameChanged:
        if (message->HasRect("frame"))
            fFrame = message->FindRect("frame");
        fFullScreen = message->FindBool("full screen");
        return;
    case kMenuItemPicked:
        if (BMenu* menu = dynamic_cast<BMenu*>(handler))
            menu->ItemPicked(PeerId(message->FindInt64(kItemField)));
        return;
    case kTextCommitted:
        if (BTextControl* control = dynamic_cast<BTextControl*>(handler))
            control->TextCommitted(message->FindString(kTextField));
        return;
    case kControlInvoked:
        if (BControl* control = dynamic_cast<BControl*>(handler))
            control->ControlInvoked(message->FindInt32(kValueField));
        return;
    case B_MOUSE_DOWN:
    case B_MOUSE_UP:
    case kViewUpdate:
        if (BView* view = dynamic_cast<BView*>(handler)) {
            DispatchViewEvent(message, view);
            return;
        }
        break;
    default: break;
    }
    BLooper::DispatchMessage(message, handler);
}

void BWindow::DispatchViewEvent(BMessage* message, BView* view)
{
    // A view that left and a new one that took its address are told apart
    // by their peers.
    if (message->HasData(kPeerField, B_INT64_TYPE) && PeerId(message->FindInt64(kPeerField)) != view->fPeer)
        return;
    switch (message->what) {
    case B_MOUSE_DOWN: view->MouseDown(message->FindPoint("where")); break;
    case B_MOUSE_UP: view->MouseUp(message->FindPoint("where")); break;
    case kViewUpdate: view->Draw(view->Bounds()); break;
    }
}

void BWindow::PulseViews(BView* parent)
{
    for (BView* child : parent->fChildren) {
        if ((child->Flags() & B_PULSE_NEEDED) != 0)
            child->Pulse();
        PulseViews(child);
    }
}

void BWindow::Acknowledge(const BMessage* message)
{
    fDisplay->Acknowledge(message->FindInt64(kTokenField));
}

void BWindow::MenusBeginning() { }
void BWindow::MenusEnded() { }
void BWindow::ScreenChanged(BRect /*screenFrame*/, color_space /*mode*/) { }

void BWindow::Show()
{
    if (fHideLevel > 0 && --fHideLevel == 0)
        fDisplay->ShowWindow(fPeer, true);
    if (!IsRunning()) {
        ScreenChangeNotifier::Instance().AddListener(BMessenger(this));
        fListensToScreen = true;
        Run();
    }
}

void BWindow::Hide()
{
    if (++fHideLevel == 1)
        fDisplay->ShowWindow(fPeer, false);
}

void BWindow::SetTitle(const char* title)
{
    fTitle = title != nullptr ? title : "";
    fDisplay->SetWindowTitle(fPeer, fTitle);
}

void BWindow::Activate()
{
    fDisplay->ActivateWindow(fPeer);
}

void BWindow::ToggleFullScreen()
{
    fDisplay->ToggleFullScreen(fPeer);
}

void BWindow::MoveTo(BPoint where)
{
    fFrame.OffsetTo(where.x, where.y);
    fDisplay->MoveWindow(fPeer, where);
}

void BWindow::AddChild(BView* child, BView* before)
{
    fRoot.AddChild(child, before);
}

bool BWindow::RemoveChild(BView* child)
{
    return fRoot.RemoveChild(child);
}
