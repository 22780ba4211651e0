#include "platform/interface/MenuField.h"

#include "platform/interface/Menu.h"
#include "platform/interface/MenuItem.h"

BMenuField::BMenuField(
    BRect frame, const char* name, const char* label, BMenu* menu, uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags)
    , fLabel(label ? label : "")
    , fMenuItem(new BMenuItem(menu != nullptr ? menu : new BMenu("")))
    , fDivider(fLabel.empty() ? 0.0f : frame.Width() / 2)
{
    Menu()->fField = this;
}

BMenuField::~BMenuField()
{
    // The item owns the menu and deletes it, which takes it off the display.
    delete fMenuItem;
}

BMenu* BMenuField::Menu() const
{
    return fMenuItem->Submenu();
}

void BMenuField::SetLabel(const char* label)
{
    fLabel = label ? label : "";
    if (DisplayService* display = PeerDisplay())
        display->SetViewText(Peer(), fLabel);
}

void BMenuField::SetDivider(float divider)
{
    fDivider = divider;
    if (DisplayService* display = PeerDisplay())
        display->SetDivider(Peer(), divider);
}

void BMenuField::CreatePeer(DisplayService& display)
{
    AdoptParentViewColor();
    AttachOwned(Menu(), Window());
    ViewInfo info = PeerInfo(ViewKind::MenuField);
    info.text = fLabel;
    info.value = fMenuItem->Label();
    info.divider = fDivider;
    info.menu = Menu()->Peer();
    display.CreateView(Peer(), info);
}

void BMenuField::DestroyPeer(DisplayService& display)
{
    display.DestroyView(Peer());
    DetachOwned(Menu());
}

void BMenuField::ShowMenuLabel()
{
    if (DisplayService* display = PeerDisplay())
        display->SetFieldValue(Peer(), fMenuItem->Label());
}
