#pragma once

// A pointer event as the pointer service posts it for a plain mouse.

#include "platform/app/Message.h"

inline BMessage PointerEvent(uint32 what, float x, float y, int32 buttons = 0)
{
    BMessage event(what);
    event.AddInt64("when", 0);
    event.AddPoint("where", BPoint(x, y));
    event.AddInt32("buttons", buttons);
    return event;
}
