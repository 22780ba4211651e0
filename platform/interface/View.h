#pragma once

// BView: a rectangle of a window that draws and takes events, and the parent
// of further views. A view owns its children and deletes them with itself.
//
// While a view belongs to a window, the window's display shows it: the view
// tells the display what changed, and the display posts what the user did
// to the window, addressed to the view: B_MOUSE_DOWN and B_MOUSE_UP (with
// "where" in the view's coordinates) reach MouseDown and MouseUp, and a
// redraw of a view with B_WILL_DRAW reaches Draw.
//
// Thread rules: a view is touched only by its window's thread, or by the
// thread that builds it before the window's loop runs.

#include "platform/app/Handler.h"
#include "platform/display/DisplayService.h"
#include "platform/interface/InterfaceDefs.h"
#include "platform/support/GraphicsDefs.h"
#include "platform/support/Rect.h"

#include <vector>

class BWindow;

class BView : public BHandler {
public:
    BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags);
    ~BView() override;

    // Hooks. AttachedToWindow runs as the view joins a window, before its
    // children join; DetachedFromWindow as it leaves, after its children.
    virtual void AttachedToWindow();
    virtual void DetachedFromWindow();
    virtual void Draw(BRect updateRect);
    virtual void MouseDown(BPoint where);
    virtual void MouseUp(BPoint where);
    // Runs at the window's pulse rate (BLooper::SetPulseRate) for a view
    // with B_PULSE_NEEDED.
    virtual void Pulse();

    // Children. A child is appended (or inserted before `before`) and owned.
    void AddChild(BView* child, BView* before = nullptr);
    bool RemoveChild(BView* child);
    int32 CountChildren() const { return int32(fChildren.size()); }
    BView* ChildAt(int32 index) const;
    BView* Parent() const { return fParent; }
    BWindow* Window() const { return fWindow; }

    // Geometry, in the parent's coordinates.
    BRect Frame() const { return fFrame; }
    BRect Bounds() const;
    void MoveBy(float dx, float dy);
    void MoveTo(float x, float y);
    void ResizeBy(float dw, float dh);
    void ResizeTo(float width, float height);
    uint32 ResizingMode() const { return fResizingMode; }
    uint32 Flags() const { return fFlags; }
    // Only B_PULSE_NEEDED may change once the view is shown.
    void SetFlags(uint32 flags) { fFlags = flags; }
    // Gives the view the keyboard focus in its window, as a click would.
    void MakeFocus();

    // Colours and pen. The view colour fills the view; the high colour is
    // the colour of its text.
    void SetViewColor(rgb_color colour);
    void SetViewColor(uchar red, uchar green, uchar blue, uchar alpha = 255);
    rgb_color ViewColor() const { return fViewColor; }
    void SetHighColor(rgb_color colour);
    void SetHighColor(uchar red, uchar green, uchar blue, uchar alpha = 255);
    rgb_color HighColor() const { return fHighColor; }
    void SetPenSize(float size) { fPenSize = size; }
    float PenSize() const { return fPenSize; }

    // Asks for events beyond the view's own rectangle. B_POINTER_EVENTS
    // brings every pointer event on the screen to the view's window.
    status_t SetEventMask(uint32 mask, uint32 options = 0);
    uint32 EventMask() const { return fEventMask; }
    uint32 EventOptions() const { return fEventOptions; }

    // Asks for the view to be drawn again.
    void Invalidate();

protected:
    // Tells the display about the view as it joins a window. A kind of view
    // that shows more than a coloured rectangle creates its own peer.
    virtual void CreatePeer(DisplayService& display);
    // Tells the display the view left its window.
    virtual void DestroyPeer(DisplayService& display);
    // What every kind of view tells the display when it is created.
    ViewInfo PeerInfo(ViewKind kind) const;
    PeerId Peer() const { return fPeer; }
    PeerId WindowPeer() const;
    // The display showing the view, or null while the view is not in a
    // window (or its window is closing).
    DisplayService* PeerDisplay() const;
    // Takes the parent's view colour, unless a colour was set on the view.
    void AdoptParentViewColor();

    // Attach and detach a view that this view owns without it being a child,
    // such as a menu field's menu: it joins the window as a handler.
    static void AttachOwned(BView* owned, BWindow* window);
    static void DetachOwned(BView* owned);

private:
    friend class BWindow;
    void AttachTo(BWindow* window);
    void DetachFromWindow();
    void SubscribeToPointer();
    void FrameChanged();
    void ColorsChanged();

    PeerId fPeer;
    BRect fFrame;
    uint32 fResizingMode;
    uint32 fFlags;
    BView* fParent = nullptr;
    BWindow* fWindow = nullptr;
    std::vector<BView*> fChildren;
    rgb_color fViewColor { 255, 255, 255, 255 };
    rgb_color fHighColor { 0, 0, 0, 255 };
    bool fViewColorSet = false;
    float fPenSize = 1.0f;
    uint32 fEventMask = 0;
    uint32 fEventOptions = 0;
};
