#pragma once

// The cursor data message, the same from the screen and from the canvas:
// exactly eight fields, "red", "green", "blue" (0.0..1.0), "x" and "y" (the
// place as fractions of the extent), "pressure", "eraser" and "mouseb"
// (from the pointer event's tablet fields and buttons).

#include "platform/app/Message.h"

constexpr uint32 kCursorData = 'cdat';

// Fills an empty `cursorData` for `event`, the pixel under it `rgb`
// (0xRRGGBB), at column `column` of `columns` and row `row` of `rows`
// (no extent counts as 0). Into a message kept between events, it
// allocates nothing.
void FillCursorData(BMessage* cursorData, const BMessage& event, uint32 rgb, double column, double columns,
    double row, double rows);
