#include "platform/interface/View.h"

#include "platform/input/PointerService.h"
#include "platform/interface/Window.h"

#include <algorithm>

BView::BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags)
    : BHandler(name)
    , fPeer(DisplayService::NewPeerId())
    , fFrame(frame)
    , fResizingMode(resizingMode)
    , fFlags(flags)
{
}

BView::~BView()
{
    // A view deleted while still in a window leaves it properly first, so
    // neither the window nor the display keeps a dangling reference.
    if (fParent != nullptr)
        fParent->RemoveChild(this);
    for (BView* child : fChildren) {
        child->fParent = nullptr;
        delete child;
    }
}

void BView::AttachedToWindow() { }
void BView::DetachedFromWindow() { }
void BView::Draw(BRect /*updateRect*/) { }
void BView::MouseDown(BPoint /*where*/) { }
void BView::MouseUp(BPoint /*where*/) { }

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
    FrameChanged();
}

void BView::MoveTo(float x, float y)
{
    fFrame.OffsetTo(x, y);
    FrameChanged();
}

void BView::ResizeBy(float dw, float dh)
{
    fFrame.right += dw;
    fFrame.bottom += dh;
    FrameChanged();
}

void BView::ResizeTo(float width, float height)
{
    fFrame.right = fFrame.left + width;
    fFrame.bottom = fFrame.top + height;
    FrameChanged();
}

void BView::SetViewColor(rgb_color colour)
{
    fViewColorSet = true;
    if (colour == fViewColor)
        return;
    fViewColor = colour;
    ColorsChanged();
}

void BView::SetViewColor(uchar red, uchar green, uchar blue, uchar alpha)
{
    SetViewColor(rgb_color { red, green, blue, alpha });
}

void BView::SetHighColor(rgb_color colour)
{
    // A Draw hook sets its colours on every redraw; telling the display only
    // about real changes keeps that from asking for yet another redraw.
    if (colour == fHighColor)
        return;
    fHighColor = colour;
    ColorsChanged();
}

void BView::SetHighColor(uchar red, uchar green, uchar blue, uchar alpha)
{
    SetHighColor(rgb_color { red, green, blue, alpha });
}

status_t BView::SetEventMask(uint32 mask, uint32 options)
{
    fEventMask = mask;
    fEventOptions = options;
    if (fWindow != nullptr)
        SubscribeToPointer();
    return B_OK;
}

void BView::Pulse() { }

void BView::MakeFocus()
{
    if (DisplayService* display = PeerDisplay())
        display->MakeFocus(fPeer);
}

void BView::Invalidate()
{
    if (DisplayService* display = PeerDisplay())
        display->InvalidateView(fPeer);
}

void BView::CreatePeer(DisplayService& display)
{
    display.CreateView(fPeer, PeerInfo(ViewKind::Plain));
}

void BView::DestroyPeer(DisplayService& display)
{
    display.DestroyView(fPeer);
}

ViewInfo BView::PeerInfo(ViewKind kind) const
{
    ViewInfo info;
    info.kind = kind;
    info.window = WindowPeer();
    info.parent = fParent != nullptr ? fParent->fPeer : 0;
    info.handler = const_cast<BView*>(this);
    info.name = Name();
    info.frame = fFrame;
    info.flags = fFlags;
    info.viewColor = fViewColor;
    info.highColor = fHighColor;
    return info;
}

PeerId BView::WindowPeer() const
{
    return fWindow != nullptr ? fWindow->fPeer : 0;
}

DisplayService* BView::PeerDisplay() const
{
    return fWindow != nullptr ? fWindow->PeerDisplay() : nullptr;
}

void BView::AdoptParentViewColor()
{
    if (!fViewColorSet && fParent != nullptr)
        fViewColor = fParent->fViewColor;
}

void BView::AttachOwned(BView* owned, BWindow* window)
{
    if (owned != nullptr && window != nullptr && owned->fWindow != window)
        owned->AttachTo(window);
}

void BView::DetachOwned(BView* owned)
{
    if (owned != nullptr && owned->fWindow != nullptr)
        owned->DetachFromWindow();
}

void BView::SubscribeToPointer()
{
    if ((fEventMask & B_POINTER_EVENTS) != 0)
        PointerService::Instance().AddListener(
            BMessenger(fWindow), (fEventOptions & B_NO_POINTER_HISTORY) != 0);
}

void BView::FrameChanged()
{
    if (DisplayService* display = PeerDisplay())
        display->SetViewFrame(fPeer, fFrame);
}

void BView::ColorsChanged()
{
    if (DisplayService* display = PeerDisplay())
        display->SetViewColors(fPeer, fViewColor, fHighColor);
}

void BView::AttachTo(BWindow* window)
{
    fWindow = window;
    window->AddHandler(this);
    SubscribeToPointer();
    if (DisplayService* display = PeerDisplay())
        CreatePeer(*display);
    AttachedToWindow();
    // AttachedToWindow may have added children, which joined the window as
    // they were added; only the others join now.
    for (size_t i = 0; i < fChildren.size(); ++i)
        if (fChildren[i]->fWindow != window)
            fChildren[i]->AttachTo(window);
}

void BView::DetachFromWindow()
{
    for (BView* child : fChildren)
        child->DetachFromWindow();
    DetachedFromWindow();
    if (DisplayService* display = PeerDisplay())
        DestroyPeer(*display);
    if ((fEventMask & B_POINTER_EVENTS) != 0)
        PointerService::Instance().RemoveListener(BMessenger(fWindow));
    fWindow->RemoveHandler(this);
    fWindow = nullptr;
}
