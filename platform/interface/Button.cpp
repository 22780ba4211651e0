#include "platform/interface/Button.h"

BButton::BButton(BRect frame, const char* name, const char* label, BMessage* message, uint32 resizingMode,
    uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags)
{
}
