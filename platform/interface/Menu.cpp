#include "platform/interface/Menu.h"

#include "platform/interface/MenuField.h"
#include "platform/interface/MenuItem.h"

#include <algorithm>

// Items are laid out as the display's toolkit lays out a menu; the layout
// asked for does not change what a menu holds.
BMenu::BMenu(const char* name, menu_layout /*layout*/)
    : BView(BRect(0, 0, 0, 0), name, B_FOLLOW_NONE, B_WILL_DRAW)
{
}

BMenu::BMenu(BRect frame, const char* name, uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags)
{
}

BMenu::~BMenu()
{
    // A menu that only belongs to a window through its owner (a submenu, a
    // menu field's menu) leaves the window itself.
    if (Window() != nullptr && Parent() == nullptr)
        DetachOwned(this);
    for (BMenuItem* item : fItems) {
        item->fMenu = nullptr;
        delete item;
    }
}

bool BMenu::AddItem(BMenuItem* item)
{
    return AddItem(item, CountItems());
}

bool BMenu::AddItem(BMenuItem* item, int32 index)
{
    if (item == nullptr || item->fMenu != nullptr || index < 0 || index > CountItems())
        return false;
    fItems.insert(fItems.begin() + index, item);
    item->fMenu = this;
    if (DisplayService* display = PeerDisplay()) {
        AttachOwned(item->fSubmenu, Window());
        display->AddMenuItem(Peer(), index, item->PeerInfo());
    }
    if (item->IsMarked())
        MarkChanged();
    return true;
}

bool BMenu::AddItem(BMenu* submenu)
{
    if (submenu == nullptr || submenu->fSuperitem != nullptr)
        return false;
    BMenuItem* item = new BMenuItem(submenu);
    if (AddItem(item))
        return true;
    delete item;
    return false;
}

BMenuItem* BMenu::RemoveItem(int32 index)
{
    BMenuItem* item = ItemAt(index);
    if (item == nullptr)
        return nullptr;
    fItems.erase(fItems.begin() + index);
    item->fMenu = nullptr;
    if (DisplayService* display = PeerDisplay())
        display->RemoveMenuItem(Peer(), item->fPeer);
    DetachOwned(item->fSubmenu);
    if (item->IsMarked())
        MarkChanged();
    return item;
}

bool BMenu::RemoveItem(BMenuItem* item)
{
    const int32 index = IndexOf(item);
    return index >= 0 && RemoveItem(index) != nullptr;
}

BMenuItem* BMenu::ItemAt(int32 index) const
{
    if (index < 0 || index >= CountItems())
        return nullptr;
    return fItems[size_t(index)];
}

int32 BMenu::IndexOf(const BMenuItem* item) const
{
    const auto found = std::find(fItems.begin(), fItems.end(), item);
    return found == fItems.end() ? -1 : int32(found - fItems.begin());
}

BMenuItem* BMenu::FindMarked() const
{
    const auto found
        = std::find_if(fItems.begin(), fItems.end(), [](BMenuItem* item) { return item->IsMarked(); });
    return found == fItems.end() ? nullptr : *found;
}

void BMenu::SetRadioMode(bool on)
{
    if (!on)
        SetLabelFromMarked(false);
    if (on == fRadioMode)
        return;
    fRadioMode = on;
    if (DisplayService* display = PeerDisplay())
        display->SetMenuRadio(Peer(), on);
}

void BMenu::SetLabelFromMarked(bool on)
{
    if (on)
        SetRadioMode(true);
    fLabelFromMarked = on;
    MarkChanged();
}

status_t BMenu::SetTargetForItems(BHandler* handler)
{
    status_t result = B_OK;
    for (BMenuItem* item : fItems) {
        const status_t status = item->SetTarget(handler);
        if (result == B_OK)
            result = status;
    }
    return result;
}

status_t BMenu::SetTargetForItems(BMessenger messenger)
{
    for (BMenuItem* item : fItems)
        item->SetTarget(messenger);
    return B_OK;
}

void BMenu::CreatePeer(DisplayService& display)
{
    AttachSubmenus();
    display.CreateMenu(Peer(), MenuInfo { WindowPeer(), this, Name(), fRadioMode, ItemInfos() });
}

void BMenu::DestroyPeer(DisplayService& display)
{
    display.DestroyMenu(Peer());
    DetachSubmenus();
}

void BMenu::AttachSubmenus()
{
    for (BMenuItem* item : fItems)
        AttachOwned(item->fSubmenu, Window());
}

void BMenu::DetachSubmenus()
{
    for (BMenuItem* item : fItems)
        DetachOwned(item->fSubmenu);
}

std::vector<MenuItemInfo> BMenu::ItemInfos() const
{
    std::vector<MenuItemInfo> infos;
    infos.reserve(fItems.size());
    for (const BMenuItem* item : fItems)
        infos.push_back(item->PeerInfo());
    return infos;
}

void BMenu::ItemPicked(PeerId peer)
{
    const auto found
        = std::find_if(fItems.begin(), fItems.end(), [&](BMenuItem* item) { return item->fPeer == peer; });
    // The item may have left the menu since the user picked it.
    if (found == fItems.end())
        return;
    BMenuItem* item = *found;
    if (!item->IsEnabled() || item->Submenu() != nullptr)
        return;
    if (fRadioMode)
        item->SetMarked(true);
    item->Invoke();
}

void BMenu::MarkChanged()
{
    const BMenuItem* marked = fLabelFromMarked ? FindMarked() : nullptr;
    const char* label = marked != nullptr ? marked->Label() : Name();
    if (fSuperitem != nullptr)
        fSuperitem->SetLabel(label);
    if (fField != nullptr)
        fField->ShowMenuLabel();
}
