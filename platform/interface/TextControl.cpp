#include "platform/interface/TextControl.h"

#include "platform/interface/Window.h"

BTextControl::BTextControl(BRect frame, const char* name, const char* label, const char* text,
    BMessage* message, uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags)
    , BInvoker(message, nullptr)
    , fLabel(label ? label : "")
    , fText(text ? text : "")
    , fDivider(fLabel.empty() ? 0.0f : frame.Width() / 2)
{
}

void BTextControl::SetText(const char* text)
{
    fText = text ? text : "";
    if (DisplayService* display = PeerDisplay())
        display->SetFieldValue(Peer(), fText);
}

void BTextControl::SetDivider(float divider)
{
    fDivider = divider;
    if (DisplayService* display = PeerDisplay())
        display->SetDivider(Peer(), divider);
}

void BTextControl::CreatePeer(DisplayService& display)
{
    AdoptParentViewColor();
    ViewInfo info = PeerInfo(ViewKind::TextControl);
    info.text = fLabel;
    info.value = fText;
    info.divider = fDivider;
    display.CreateView(Peer(), info);
}

BMessenger BTextControl::DefaultTarget() const
{
    return Window() != nullptr ? BMessenger(Window()) : BMessenger();
}

void BTextControl::TextCommitted(const char* text)
{
    fText = text ? text : "";
    Invoke();
}
