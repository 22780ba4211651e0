#pragma once

// BMenuItem: one entry of a menu. Picking it marks it (in a radio-mode menu)
// and invokes it: a copy of its message goes to its target, or to the
// window of its menu when it has none. An item may instead open a submenu,
// which it owns; its label is then the submenu's title (or, when the
// submenu takes its label from its marked item, that item's label).
//
// Thread rules: as for views; an item is touched on its menu's window's
// thread, or by the thread building it before the window's loop runs.

#include "platform/app/Invoker.h"
#include "platform/display/DisplayService.h"

#include <string>

class BMenu;

class BMenuItem : public BInvoker {
public:
    // Copies `label` and takes ownership of `message`.
    BMenuItem(const char* label, BMessage* message, char shortcut = 0, uint32 modifiers = 0);
    // An item that opens `submenu`, which it takes ownership of.
    explicit BMenuItem(BMenu* submenu, BMessage* message = nullptr);
    // Deletes the submenu. An item still in a menu leaves it first.
    ~BMenuItem() override;

    const char* Label() const { return fLabel.c_str(); }
    void SetLabel(const char* label);
    // Marking an item of a radio-mode menu unmarks the menu's other items.
    void SetMarked(bool marked);
    bool IsMarked() const { return fMarked; }
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return fEnabled; }
    char Shortcut(uint32* modifiers = nullptr) const;

    BMenu* Submenu() const { return fSubmenu; }
    // The menu that holds the item, or null.
    BMenu* Menu() const { return fMenu; }

protected:
    // Without a target, the window of the item's menu receives it.
    BMessenger DefaultTarget() const override;
    // Adds "index" (int32), the item's place in its menu.
    void AddInvokeFields(BMessage* copy) const override;

private:
    friend class BMenu;
    MenuItemInfo PeerInfo() const;
    DisplayService* PeerDisplay() const;

    PeerId fPeer;
    std::string fLabel;
    BMenu* fSubmenu = nullptr;
    BMenu* fMenu = nullptr;
    bool fMarked = false;
    bool fEnabled = true;
    char fShortcut = 0;
    uint32 fModifiers = 0;
};
