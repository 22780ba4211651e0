#pragma once

// BWindow: a looper with a frame on the screen and a tree of views. A window
// starts hidden; Hide and Show nest (each Hide adds a level, each Show takes
// one away), the window is on screen only at level 0, and the first Show
// starts its thread. A window that was never shown at level 0 never appears.
//
// The window's display shows it and posts to it what the user did: a press
// of the close box arrives as B_QUIT_REQUESTED (QuitRequested decides), and
// MenusBeginning runs before any menu of the window's menu bar is shown,
// MenusEnded after the menus are hidden and a pick from them was delivered.
// A window that quits is deleted together with its views.
//
// Thread rules: as for loopers. Views are touched on the window's thread,
// or by the constructing thread before the loop runs.

#include "platform/app/Looper.h"
#include "platform/display/DisplayService.h"
#include "platform/interface/InterfaceDefs.h"
#include "platform/interface/View.h"
#include "platform/support/GraphicsDefs.h"

#include <memory>
#include <string>

class BWindow : public BLooper {
public:
    BWindow(BRect frame, const char* title, window_type type, uint32 flags,
        uint32 workspaces = B_CURRENT_WORKSPACE);
    ~BWindow() override;

    void DispatchMessage(BMessage* message, BHandler* handler) override;

    // Hooks.
    virtual void MenusBeginning();
    virtual void MenusEnded();
    virtual void ScreenChanged(BRect screenFrame, color_space mode);

    virtual void Show();
    virtual void Hide();
    bool IsHidden() const { return fHideLevel > 0; }

    void AddChild(BView* child, BView* before = nullptr);
    bool RemoveChild(BView* child);
    int32 CountChildren() const { return fRoot.CountChildren(); }
    BView* ChildAt(int32 index) const { return fRoot.ChildAt(index); }

    // The window's frame follows the user's moves and resizes.
    BRect Frame() const { return fFrame; }
    BRect Bounds() const { return BRect(0, 0, fFrame.Width(), fFrame.Height()); }
    const char* Title() const { return fTitle.c_str(); }
    void SetTitle(const char* title);
    // Fills the screen with the window, or gives it back its frame.
    void ToggleFullScreen();
    // True while the window fills the screen, as the display last said.
    bool IsFullScreen() const { return fFullScreen; }
    void MoveTo(BPoint where);
    // Brings the window in front of the others, with the keyboard.
    void Activate();
    // False where the display cannot tell where the window is on the screen
    // (a native Wayland window): Frame() then has the right size at a place
    // that means nothing.
    bool IsPlaced() const { return fDisplay->KnowsWindowPlaces(); }
    window_type Type() const { return fType; }
    uint32 Flags() const { return fFlags; }
    uint32 Workspaces() const { return fWorkspaces; }

private:
    friend class BView;
    // The display while it shows the window; null once the window closes,
    // so that its views need not say goodbye one by one.
    DisplayService* PeerDisplay() const { return fPeerAlive ? fDisplay.get() : nullptr; }
    void DispatchViewEvent(BMessage* message, BView* view);
    static void PulseViews(BView* parent);
    void Acknowledge(const BMessage* message);

    // The view that holds the window's top-level views.
    BView fRoot;
    BRect fFrame;
    bool fFullScreen = false;
    std::string fTitle;
    window_type fType;
    uint32 fFlags;
    uint32 fWorkspaces;
    std::shared_ptr<DisplayService> fDisplay;
    PeerId fPeer;
    bool fPeerAlive = true;
    int32 fHideLevel = 1;
    bool fListensToScreen = false;
};
