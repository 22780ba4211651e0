#pragma once

// One buffer of a screen-cast stream as plain data, so that the stream's
// picture and cursor can be handled (and tested) without PipeWire.

#include "platform/support/SupportDefs.h"

#include <cstddef>

// The four-byte layouts a screen cast may deliver, named by their bytes in
// memory (x: a byte that is not used).
enum class CastPixelFormat { BGRx, RGBx, xRGB, xBGR, BGRA, RGBA, ARGB, ABGR };

struct CastCursor {
    // False when the buffer says the pointer is not on this stream (or
    // hidden): nothing is known about where it is.
    bool onStream = false;
    // The pointer's hot spot, in the stream's pixels.
    int32 x = 0;
    int32 y = 0;
};

struct CastBuffer {
    // The picture: `size` bytes, rows `stride` bytes apart. Size 0 for a
    // buffer that carries only the cursor. Valid only while the buffer is
    // being taken: the stream reuses it.
    const uint8* data = nullptr;
    size_t size = 0;
    int32 stride = 0;
    // Null when the buffer carries no cursor information.
    const CastCursor* cursor = nullptr;
};
