#include "platform/interface/MenuItem.h"

#include "platform/interface/Menu.h"
#include "platform/interface/Window.h"

BMenuItem::BMenuItem(const char* label, BMessage* message, char shortcut, uint32 modifiers)
    : BInvoker(message, nullptr)
    , fPeer(DisplayService::NewPeerId())
    , fLabel(label ? label : "")
    , fShortcut(shortcut)
    , fModifiers(modifiers)
{
}

BMenuItem::BMenuItem(BMenu* submenu, BMessage* message)
    : BInvoker(message, nullptr)
    , fPeer(DisplayService::NewPeerId())
    , fSubmenu(submenu)
{
    if (submenu == nullptr)
        return;
    fLabel = submenu->Name();
    submenu->fSuperitem = this;
    submenu->MarkChanged();
}

BMenuItem::~BMenuItem()
{
    if (fMenu != nullptr)
        fMenu->RemoveItem(this);
    delete fSubmenu;
}

void BMenuItem::SetLabel(const char* label)
{
    const std::string text = label ? label : "";
    if (text == fLabel)
        return;
    fLabel = text;
    if (DisplayService* display = PeerDisplay())
        display->SetItemLabel(fPeer, fLabel);
}

void BMenuItem::SetMarked(bool marked)
{
    if (marked && fMenu != nullptr && fMenu->IsRadioMode())
        for (BMenuItem* other : fMenu->fItems)
            if (other != this)
                other->SetMarked(false);
    if (marked == fMarked)
        return;
    fMarked = marked;
    if (DisplayService* display = PeerDisplay())
        display->SetItemMarked(fPeer, marked);
    if (fMenu != nullptr)
        fMenu->MarkChanged();
}

void BMenuItem::SetEnabled(bool enabled)
{
    if (enabled == fEnabled)
        return;
    fEnabled = enabled;
    if (DisplayService* display = PeerDisplay())
        display->SetItemEnabled(fPeer, enabled);
}

char BMenuItem::Shortcut(uint32* modifiers) const
{
    if (modifiers != nullptr)
        *modifiers = fModifiers;
    return fShortcut;
}

BMessenger BMenuItem::DefaultTarget() const
{
    if (fMenu == nullptr || fMenu->Window() == nullptr)
        return BMessenger();
    return BMessenger(fMenu->Window());
}

void BMenuItem::AddInvokeFields(BMessage* copy) const
{
    BInvoker::AddInvokeFields(copy);
    if (fMenu != nullptr)
        copy->AddInt32("index", fMenu->IndexOf(this));
}

MenuItemInfo BMenuItem::PeerInfo() const
{
    return MenuItemInfo {
        fPeer, fLabel, fMarked, fEnabled, fSubmenu != nullptr ? fSubmenu->Peer() : 0, fShortcut, fModifiers
    };
}

DisplayService* BMenuItem::PeerDisplay() const
{
    return fMenu != nullptr ? fMenu->PeerDisplay() : nullptr;
}
