#pragma once

// BMenu: a list of items, shown by the display as a pop-up list. A menu
// owns its items. In radio mode at most one item is marked, and picking an
// item marks it and unmarks the others; otherwise marks are the program's
// business and any number may be set. A menu that takes its label from its
// marked item shows that item's label wherever the menu is offered (its
// menu bar entry or its menu field), and its title while none is marked.
//
// Items can be added and removed at any time, also while the window runs;
// each change is one command to the display, so refilling a menu on every
// opening stays cheap.
//
// Thread rules: as for views.

#include "platform/app/Messenger.h"
#include "platform/interface/View.h"

class BMenuField;
class BMenuItem;

class BMenu : public BView {
public:
    explicit BMenu(const char* name, menu_layout layout = B_ITEMS_IN_COLUMN);
    // Deletes every item (and so every submenu).
    ~BMenu() override;

    // The menu takes ownership of the item. False when the item is null,
    // already in a menu, or the index is past the end.
    bool AddItem(BMenuItem* item);
    bool AddItem(BMenuItem* item, int32 index);
    // Adds an item that opens `submenu`, which the new item owns.
    bool AddItem(BMenu* submenu);
    // Takes the item out of the menu and hands it to the caller, who
    // deletes it; null when the index is out of range.
    BMenuItem* RemoveItem(int32 index);
    bool RemoveItem(BMenuItem* item);

    int32 CountItems() const { return int32(fItems.size()); }
    BMenuItem* ItemAt(int32 index) const;
    int32 IndexOf(const BMenuItem* item) const;
    BMenuItem* FindMarked() const;
    // The item that opens this menu, or null.
    BMenuItem* Superitem() const { return fSuperitem; }

    // Switching radio mode off also stops the label following the mark.
    void SetRadioMode(bool on);
    bool IsRadioMode() const { return fRadioMode; }
    // Switching this on also switches radio mode on.
    void SetLabelFromMarked(bool on);
    bool IsLabelFromMarked() const { return fLabelFromMarked; }

    // Sets the target of every item (not of the items of submenus). Gives
    // the first error, having tried every item.
    status_t SetTargetForItems(BHandler* handler);
    status_t SetTargetForItems(BMessenger messenger);

protected:
    // A menu with a frame of its own, shown in a window (a menu bar).
    BMenu(BRect frame, const char* name, uint32 resizingMode, uint32 flags);

    void CreatePeer(DisplayService& display) override;
    void DestroyPeer(DisplayService& display) override;
    // The submenus join and leave the window together with their menu.
    void AttachSubmenus();
    void DetachSubmenus();
    // What the display is told of each item, in order.
    std::vector<MenuItemInfo> ItemInfos() const;

private:
    friend class BMenuItem;
    friend class BMenuField;
    friend class BWindow;

    // The user picked the item named by `item` (from the display).
    void ItemPicked(PeerId item);
    // Follows a change of the marks: the label shown for the menu.
    void MarkChanged();

    std::vector<BMenuItem*> fItems;
    BMenuItem* fSuperitem = nullptr;
    BMenuField* fField = nullptr;
    bool fRadioMode = false;
    bool fLabelFromMarked = false;
};
