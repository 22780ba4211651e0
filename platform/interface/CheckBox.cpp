#include "platform/interface/CheckBox.h"

BCheckBox::BCheckBox(BRect frame, const char* name, const char* label, BMessage* message,
    uint32 resizingMode, uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags)
{
}
