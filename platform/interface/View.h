#pragma once

// BView: a rectangle of a window that draws and takes events, and the parent
// of further views. A view owns its children and deletes them with itself.
//
// Thread rules: a view is touched only by its window's thread, or by the
// thread that builds it before the window's loop runs.

#include "platform/app/Handler.h"
#include "platform/interface/InterfaceDefs.h"
#include "platform/support/GraphicsDefs.h"
#include "platform/support/Rect.h"

#include <vector>

class BWindow;

class BView : public BHandler {
public:
    BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags);
    ~BView() override;

    // Hooks.
    virtual void AttachedToWindow();
    virtual void DetachedFromWindow();
    virtual void Draw(BRect updateRect);
    virtual void MouseDown(BPoint where);
    virtual void MouseUp(BPoint where);

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

    // Colours and pen.
    void SetViewColor(rgb_color colour);
    rgb_color ViewColor() const { return fViewColor; }
    void SetHighColor(rgb_color colour);
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
    // Called when the view's look or geometry changed, so that whatever
    // shows it can follow. The base does nothing.
    virtual void LookChanged() {}

private:
    friend class BWindow;
    void AttachTo(BWindow* window);
    void DetachFromWindow();
    void SubscribeToPointer();

    BRect fFrame;
    uint32 fResizingMode;
    uint32 fFlags;
    BView* fParent = nullptr;
    BWindow* fWindow = nullptr;
    std::vector<BView*> fChildren;
    rgb_color fViewColor{255, 255, 255, 255};
    rgb_color fHighColor{0, 0, 0, 255};
    float fPenSize = 1.0f;
    uint32 fEventMask = 0;
    uint32 fEventOptions = 0;
};
