#include "platform/interface/Window.h"

#include "platform/app/AppDefs.h"
#include "platform/input/PointerService.h"
#include "platform/input/ScreenChangeNotifier.h"

BWindow::BWindow(BRect frame, const char* title, window_type type, uint32 flags, uint32 workspaces)
    : BLooper(title),
      fRoot(BRect(0, 0, frame.Width(), frame.Height()), "", B_FOLLOW_ALL, 0),
      fFrame(frame),
      fTitle(title ? title : ""),
      fType(type),
      fFlags(flags),
      fWorkspaces(workspaces)
{
    fRoot.fWindow = this;
}

BWindow::~BWindow()
{
    if (fListensToScreen)
        ScreenChangeNotifier::Instance().RemoveListener(BMessenger(this));
    while (BView* child = fRoot.ChildAt(0)) {
        fRoot.RemoveChild(child);
        delete child;
    }
}

void BWindow::DispatchMessage(BMessage* message, BHandler* handler)
{
    if (message->what == B_SCREEN_CHANGED && handler == this) {
        ScreenChanged(message->FindRect("frame"), color_space(message->FindInt32("mode")));
        return;
    }
    BLooper::DispatchMessage(message, handler);
}

void BWindow::MenusBeginning() {}
void BWindow::MenusEnded() {}
void BWindow::ScreenChanged(BRect /*screenFrame*/, color_space /*mode*/) {}

void BWindow::Show()
{
    if (fHideLevel > 0)
        --fHideLevel;
    if (!IsRunning()) {
        ScreenChangeNotifier::Instance().AddListener(BMessenger(this));
        fListensToScreen = true;
        Run();
    }
}

void BWindow::Hide()
{
    ++fHideLevel;
}

void BWindow::AddChild(BView* child, BView* before)
{
    fRoot.AddChild(child, before);
}

bool BWindow::RemoveChild(BView* child)
{
    return fRoot.RemoveChild(child);
}
