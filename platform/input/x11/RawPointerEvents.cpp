#include "platform/input/x11/RawPointerEvents.h"

#include "platform/app/AppDefs.h"
#include "platform/interface/InterfaceDefs.h"

namespace {

bool IsWheelButton(int button)
{
    return button >= 4 && button <= 7;
}

} // namespace

int32 RawPointerEvents::ButtonBit(int button)
{
    // X numbers the right button 3 and the middle one 2; listeners expect
    // the right button as the secondary one.
    switch (button) {
    case 1: return B_PRIMARY_MOUSE_BUTTON;
    case 2: return B_TERTIARY_MOUSE_BUTTON;
    case 3: return B_SECONDARY_MOUSE_BUTTON;
    default: return button > 7 && button <= 31 ? int32(1u << (button - 1)) : 0;
    }
}

void RawPointerEvents::Add(Kind kind, int button, int sourceDevice)
{
    if (kind != Kind::Motion && IsWheelButton(button))
        return;
    // A run of motions is one move: only the newest position is known.
    if (kind == Kind::Motion && !fEvents.empty() && fEvents.back().kind == Kind::Motion) {
        fEvents.back().sourceDevice = sourceDevice;
        return;
    }
    fEvents.push_back(Event { kind, button, sourceDevice });
}

std::span<const BMessage> RawPointerEvents::Finish(
    BPoint where, int32 serverButtons, const TabletDevices& tablets, bigtime_t when)
{
    if (fMessages.size() < fEvents.size())
        fMessages.resize(fEvents.size());
    for (size_t i = 0; i < fEvents.size(); ++i) {
        const Event& event = fEvents[i];
        uint32 what = B_MOUSE_MOVED;
        if (event.kind == Kind::Press) {
            fButtons |= ButtonBit(event.button);
            what = B_MOUSE_DOWN;
        } else if (event.kind == Kind::Release) {
            fButtons &= ~ButtonBit(event.button);
            what = B_MOUSE_UP;
        }
        if (i + 1 == fEvents.size())
            fButtons = serverButtons;
        BMessage& message = fMessages[i];
        message.MakeEmpty();
        message.what = what;
        message.AddInt64("when", when);
        message.AddPoint("where", where);
        message.AddInt32("buttons", fButtons);
        message.AddInt32("be:device", event.sourceDevice);
        tablets.AddFields(event.sourceDevice, &message);
    }
    const std::span<const BMessage> messages(fMessages.data(), fEvents.size());
    fEvents.clear();
    fButtons = serverButtons;
    return messages;
}
