#pragma once

// BBitmap: an off-screen picture held in memory, rows from top to bottom.
// Thread rules: owned by one thread at a time; Lock and Unlock exist for
// callers written against bitmaps that views draw into, and only count.

#include "platform/interface/InterfaceDefs.h"
#include "platform/support/GraphicsDefs.h"
#include "platform/support/Rect.h"

#include <vector>

class BBitmap {
public:
    // `bounds` is inclusive: (0, 0, 31, 31) is 32 x 32 pixels. The two flags
    // are accepted for compatibility; memory is always contiguous.
    BBitmap(BRect bounds, color_space space, bool acceptsViews = false, bool needsContiguous = false);

    BBitmap(const BBitmap&) = delete;
    BBitmap& operator=(const BBitmap&) = delete;

    status_t InitCheck() const { return fBits.empty() ? B_NO_MEMORY : B_OK; }
    BRect Bounds() const { return fBounds; }
    color_space ColorSpace() const { return fColorSpace; }
    int32 BytesPerRow() const { return fBytesPerRow; }

    void* Bits() { return fBits.data(); }
    const void* Bits() const { return fBits.data(); }
    int32 BitsLength() const { return int32(fBits.size()); }

    bool Lock() { return true; }
    void Unlock() {}

private:
    BRect fBounds;
    color_space fColorSpace;
    int32 fBytesPerRow = 0;
    std::vector<unsigned char> fBits;
};
