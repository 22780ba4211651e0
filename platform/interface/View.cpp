#include "platform/interface/View.h"

#include "platform/input/PointerService.h"
#include "platform/interface/Window.h"

#include <algorithm>

BView::BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags)
    : BHandler(name), fFrame(frame), fResizingMode(resizingMode), fFlags(flags)
{
}

BView::~BView()
{
    for (BView* child : fChildren) {
        child->fParent = nullptr;
        delete child;
    }
    if (fParent != nullptr)
        std::erase(fParent->fChildren, this);
}

void BView::AttachedToWindow() {}
void BView::DetachedFromWindow() {}
void BView::Draw(BRect /*updateRect*/) {}
void BView::MouseDown(BPoint /*where*/) {}
void BView::MouseUp(BPoint /*where*/) {}

void BView::AddChild(BView* child, BView* before)
{
    if (child == nullptr || child->fParent != nullptr || child == this)
        return;
    auto at = std::find(fChildren.begin(), fChildren.end(), before);
    fChildren.insert(at, child);
    child->fParent = this;
    if (fWindow != nullptr)
        child->AttachTo(fWindow);
}

bool BView::RemoveChild(BView* child)
{
    if (child == nullptr || child->fParent != this)
        return false;
    if (child->fWindow != nullptr)
        child->DetachFromWindow();
    std::erase(fChildren, child);
    child->fParent = nullptr;
    return true;
}

BView* BView::ChildAt(int32 index) const
{
    if (index < 0 || size_t(index) >= fChildren.size())
        return nullptr;
    return fChildren[size_t(index)];
}

BRect BView::Bounds() const
{
    return BRect(0, 0, fFrame.Width(), fFrame.Height());
}

void BView::MoveBy(float dx, float dy)
{
    fFrame.OffsetBy(dx, dy);
    LookChanged();
}

void BView::MoveTo(float x, float y)
{
    fFrame.OffsetTo(x, y);
    LookChanged();
}

void BView::ResizeBy(float dw, float dh)
{
    fFrame.right += dw;
    fFrame.bottom += dh;
    LookChanged();
}

void BView::ResizeTo(float width, float height)
{
    fFrame.right = fFrame.left + width;
    fFrame.bottom = fFrame.top + height;
    LookChanged();
}

void BView::SetViewColor(rgb_color colour)
{
    fViewColor = colour;
    LookChanged();
}

void BView::SetHighColor(rgb_color colour)
{
    fHighColor = colour;
    LookChanged();
}

status_t BView::SetEventMask(uint32 mask, uint32 options)
{
    fEventMask = mask;
    fEventOptions = options;
    if (fWindow != nullptr)
        SubscribeToPointer();
    return B_OK;
}

void BView::Invalidate()
{
    LookChanged();
}

void BView::SubscribeToPointer()
{
    if ((fEventMask & B_POINTER_EVENTS) != 0)
        PointerService::Instance().AddListener(BMessenger(fWindow), (fEventOptions & B_NO_POINTER_HISTORY) != 0);
}

void BView::AttachTo(BWindow* window)
{
    fWindow = window;
    window->AddHandler(this);
    SubscribeToPointer();
    AttachedToWindow();
    for (BView* child : fChildren)
        child->AttachTo(window);
}

void BView::DetachFromWindow()
{
    for (BView* child : fChildren)
        child->DetachFromWindow();
    DetachedFromWindow();
    if ((fEventMask & B_POINTER_EVENTS) != 0)
        PointerService::Instance().RemoveListener(BMessenger(fWindow));
    fWindow->RemoveHandler(this);
    fWindow = nullptr;
}
