#pragma once

// QtPeers: the Qt widgets behind the peers the API objects named, and the
// application of every display command to them. Widgets post what the user
// does to the API window's queue, addressed as the API object asked.
//
// A window's menu bar menus (and their submenus) form one session: when the
// first of them is about to show, the API window runs MenusBeginning and the
// menu waits for it (bounded) while applying the commands it sends; once no
// menu of the bar is open any more, after a pick has been posted, the
// window is told the menus ended.
//
// When MenusBeginning overruns its bound, the menu opens with what arrived in
// time and then stays as the user sees it: menu commands that come later are
// held back until the menus close, so a pick always lands on the item under
// the user's pointer.
//
// Thread rules: main thread only.

#include "platform/display/DisplayService.h"
#include "platform/display/PeerAddress.h"
#include "platform/display/qt/QtMeterClock.h"

#include <QPointer>

#include <functional>
#include <map>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;
class QWidget;
class QtDisplay;
class QtWindow;

class QtPeers {
public:
    explicit QtPeers(QtDisplay& display);
    ~QtPeers();

    QtPeers(const QtPeers&) = delete;
    QtPeers& operator=(const QtPeers&) = delete;

    void CreateWindow(PeerId window, const WindowInfo& info);
    void ShowWindow(PeerId window, bool shown);
    void DestroyWindow(PeerId window);
    void SetWindowTitle(PeerId window, const std::string& title);
    void ToggleFullScreen(PeerId window);
    void MoveWindow(PeerId window, BPoint where);
    void ActivateWindow(PeerId window);
    void CreateView(PeerId view, const ViewInfo& info);
    void SetViewFrame(PeerId view, BRect frame);
    void SetViewColors(PeerId view, rgb_color viewColor, rgb_color highColor);
    void SetViewText(PeerId view, const std::string& text);
    void SetFieldValue(PeerId field, const std::string& value);
    void SetDivider(PeerId field, float divider);
    void InvalidateView(PeerId view);
    void SetViewPoints(PeerId view, const std::vector<BPoint>& points);
    void MakeFocus(PeerId view);
    void DestroyView(PeerId view);
    void CreateMenu(PeerId menu, const MenuInfo& info);
    void SetMenuRadio(PeerId menu, bool radio);
    void DestroyMenu(PeerId menu);
    void AddMenuItem(PeerId container, int32 index, const MenuItemInfo& info);
    void RemoveMenuItem(PeerId container, PeerId item);
    void SetItemLabel(PeerId item, const std::string& label);
    void SetItemMarked(PeerId item, bool marked);
    void SetItemEnabled(PeerId item, bool enabled);
    void OpenPicture(PeerId view, const std::string& path, bool fitWindow);
    void ChoosePicture(PeerId view);
    void PastePicture(PeerId view);

private:
    struct ViewEntry {
        PeerId window = 0;
        PeerId parent = 0;
        BRect frame;
        QPointer<QWidget> widget;
    };
    // A menu or a menu bar: something that holds items.
    struct MenuEntry {
        PeerId window = 0;
        PeerAddress address; // where picks of its items go
        QPointer<QWidget> container;
        QPointer<QActionGroup> radioGroup;
        bool inMenuBar = false; // the bar itself, or a menu opened from it
    };
    struct ItemEntry {
        PeerId container = 0;
        PeerId submenu = 0;
        QPointer<QAction> action;
        bool marked = false; // as the API said, whatever Qt toggled
    };

    QtWindow* Window(PeerId window) const;
    template <typename Widget> Widget* ViewWidget(PeerId view) const;
    QMenu* Menu(PeerId menu) const;
    void Place(const ViewEntry& entry);
    void PlaceTopLevelViews(PeerId window);
    void ShowMark(const ItemEntry& item);
    void JoinMenuBar(PeerId menu, PeerId window);
    void ItemPicked(PeerId item);
    void MenusOpening(PeerId window);
    void MenusMaybeClosed(PeerId window);
    // Keeps `command` for later while a menu session overran its bound;
    // false when it is to be applied now.
    bool HoldBack(std::function<void()> command);
    void ApplyHeldBack();
    void ForgetView(PeerId view);
    void ForgetMenu(PeerId menu);

    QtDisplay& fDisplay;
    std::map<PeerId, QPointer<QtWindow>> fWindows;
    std::map<PeerId, ViewEntry> fViews;
    std::map<PeerId, MenuEntry> fMenus;
    std::map<PeerId, ItemEntry> fItems;
    QtMeterClock fMeterClock;
    // The window whose open menus must not change, or 0, and the menu
    // commands held back meanwhile, in the order they came.
    PeerId fFrozenWindow = 0;
    std::vector<std::function<void()>> fHeldBack;
};
