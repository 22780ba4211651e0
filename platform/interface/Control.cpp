#include "platform/interface/Control.h"

#include "platform/display/DisplayMessages.h"
#include "platform/interface/Window.h"

#include <string>

BControl::BControl(BRect frame, const char* name, const char* label, BMessage* message, uint32 resizingMode,
    uint32 flags)
    : BView(frame, name, resizingMode, flags)
    , BInvoker(message, nullptr)
    , fLabel(label ? label : "")
{
}

void BControl::SetValue(int32 value)
{
    fValue = value;
    if (DisplayService* display = PeerDisplay())
        display->SetFieldValue(Peer(), std::to_string(value));
}

void BControl::CreatePeer(DisplayService& display)
{
    AdoptParentViewColor();
    ViewInfo info = PeerInfo(PeerKind());
    info.text = fLabel;
    info.value = std::to_string(fValue);
    display.CreateView(Peer(), info);
}

BMessenger BControl::DefaultTarget() const
{
    return Window() != nullptr ? BMessenger(Window()) : BMessenger();
}

void BControl::AddInvokeFields(BMessage* copy) const
{
    BInvoker::AddInvokeFields(copy);
    copy->AddInt32(kValueField, fValue);
}

void BControl::ControlInvoked(int32 value)
{
    fValue = value;
    Invoke();
}
