#pragma once

// HeadlessDisplay: a display that shows nothing. It accepts every command
// and keeps what it was told, so that a test can play the user: open a
// window's menus (running its MenusBeginning hook, as a real display does),
// pick items, close the menus, click views, press close boxes, and read back
// the labels, marks, texts and visibility the API objects asked for, and
// what the meters show.
//
// Thread rules: commands may come from any thread and are applied at once.
// The driver operations below are meant for one thread (the test's), which
// plays the part of the main thread; they are safe from any thread.

#include "platform/display/DisplayService.h"
#include "platform/display/PeerAddress.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

class HeadlessDisplay final : public DisplayService {
public:
    // How long Settle waits for a window that is busy.
    static constexpr std::chrono::seconds kSettleTimeout { 5 };

    void CreateWindow(PeerId window, const WindowInfo& info) override;
    void ShowWindow(PeerId window, bool shown) override;
    void DestroyWindow(PeerId window) override;
    void SetWindowTitle(PeerId window, const std::string& title) override;
    void ToggleFullScreen(PeerId window) override;
    void MoveWindow(PeerId window, BPoint where) override;
    void ActivateWindow(PeerId window) override;
    void CreateView(PeerId view, const ViewInfo& info) override;
    void SetViewFrame(PeerId view, BRect frame) override;
    void SetViewColors(PeerId view, rgb_color viewColor, rgb_color highColor) override;
    void SetViewText(PeerId view, const std::string& text) override;
    void SetFieldValue(PeerId field, const std::string& value) override;
    void SetDivider(PeerId field, float divider) override;
    void InvalidateView(PeerId view) override;
    void SetViewPoints(PeerId view, const std::vector<BPoint>& points) override;
    void MakeFocus(PeerId view) override;
    void DestroyView(PeerId view) override;
    void CreateMenu(PeerId menu, const MenuInfo& info) override;
    void SetMenuRadio(PeerId menu, bool radio) override;
    void DestroyMenu(PeerId menu) override;
    void AddMenuItem(PeerId container, int32 index, const MenuItemInfo& info) override;
    void RemoveMenuItem(PeerId container, PeerId item) override;
    void SetItemLabel(PeerId item, const std::string& label) override;
    void SetItemMarked(PeerId item, bool marked) override;
    void SetItemEnabled(PeerId item, bool enabled) override;
    void OpenPicture(PeerId view, const std::string& path, bool fitWindow) override;
    void ChoosePicture(PeerId view) override;
    void PastePicture(PeerId view) override;
    void Acknowledge(int64 token) override;

    // --- The driver: what a user does. ---

    // Clicks the window's menu bar: runs the window's MenusBeginning and
    // waits for it (at most kMenusBeginningTimeout). False when the window
    // has no menu bar or did not answer in time (the menus open anyway).
    bool OpenMenus(PeerId window);
    // Picks the first item labelled `label`. A menu of the menu bar must be
    // open (OpenMenus); a disabled item or one that opens a submenu cannot
    // be picked. False when nothing was picked.
    bool Pick(PeerId menu, const std::string& label);
    // Closes the window's open menus: MenusEnded runs after every pick.
    void CloseMenus(PeerId window);
    // Presses and releases the primary button at `where` (view coordinates)
    // on a plain view or a string view. False for other kinds of view.
    bool Click(PeerId view, BPoint where);
    void PressCloseBox(PeerId window);
    // Presses a button, or clicks a check box (turning it over). False for
    // other kinds of view.
    bool Press(PeerId control);
    // Replaces the text of a text control and presses Enter. False for
    // other kinds of view.
    bool TypeText(PeerId control, const std::string& text);
    // Waits until the window has handled everything posted to it so far,
    // and what handling that posted to the window in turn (the invocation
    // of a picked item), so that the outcome can be read back. False when
    // the window is gone or did not answer within kSettleTimeout.
    bool Settle(PeerId window);

    // --- Read-back: what the display was told. Zero or empty when unknown. ---

    // The newest live window with this title.
    PeerId FindWindow(const std::string& title) const;
    int32 CountWindows(const std::string& title) const;
    bool IsShown(PeerId window) const;
    // How often the window was brought to the front.
    int32 Activations(PeerId window) const;
    bool MenusOpen(PeerId window) const;
    BRect WindowFrame(PeerId window) const;
    uint32 WindowFlags(PeerId window) const;

    // The window's first view with this name, in creation order.
    PeerId FindView(PeerId window, const std::string& name) const;
    // The window's first menu with this title (menu bars excluded).
    PeerId FindMenu(PeerId window, const std::string& title) const;
    PeerId FieldMenu(PeerId field) const;
    PeerId ViewParent(PeerId view) const;
    BRect ViewFrame(PeerId view) const;
    rgb_color ViewColor(PeerId view) const;
    rgb_color HighColor(PeerId view) const;
    std::string ViewText(PeerId view) const;
    std::string FieldValue(PeerId field) const;
    float Divider(PeerId field) const;
    int32 Invalidations(PeerId view) const;
    std::vector<BPoint> PlotPoints(PeerId plot) const;
    // The view that last took the focus in the window.
    PeerId FocusedView(PeerId window) const;
    // What a meter shows now: its level (MeterState::kDimmed when dimmed)
    // and how many times its lamp was pulsed. -1 for other views.
    int32 MeterLevel(PeerId meter) const;
    int64 MeterPulses(PeerId meter) const;

    std::vector<std::string> ItemLabels(PeerId container) const;
    std::vector<std::string> MarkedLabels(PeerId container) const;
    bool IsRadio(PeerId menu) const;
    bool ItemEnabled(PeerId container, const std::string& label) const;

private:
    struct WindowRecord {
        WindowInfo info;
        bool shown = false;
        bool menusOpen = false;
        PeerId focus = 0;
        int32 activations = 0;
    };
    struct ViewRecord {
        ViewInfo info;
        int32 invalidations = 0;
    };
    struct MenuRecord {
        MenuInfo info; // its `items` are the item ids, kept in `fItems`
        std::vector<PeerId> items;
        bool isMenuBar = false;
    };
    struct ItemRecord {
        PeerId container = 0;
        MenuItemInfo info;
    };
    bool WaitForAcknowledgement(int64 token, std::chrono::milliseconds timeout);
    // Addresses are gathered under the lock and posted to without it.
    PeerAddress WindowAddress(PeerId window) const;
    bool InMenuBar(PeerId menu) const;
    void ForgetView(PeerId view);
    void ForgetMenu(PeerId menu);
    const ItemRecord* FindItem(PeerId container, const std::string& label) const;

    mutable std::mutex fLock;
    std::condition_variable fAcknowledged;
    std::set<int64> fTokens;
    std::map<PeerId, WindowRecord> fWindows;
    std::map<PeerId, ViewRecord> fViews;
    std::map<PeerId, MenuRecord> fMenus;
    std::map<PeerId, ItemRecord> fItems;
};
