#include "platform/interface/Bitmap.h"

#include <cmath>

namespace {

int32 BytesPerPixel(color_space space)
{
    return space == B_RGB32 ? 4 : 1;
}

} // namespace

BBitmap::BBitmap(BRect bounds, color_space space, bool /*acceptsViews*/, bool /*needsContiguous*/)
    : fBounds(bounds), fColorSpace(space)
{
    if (!bounds.IsValid() || (space != B_RGB32 && space != B_CMAP8))
        return;
    const auto width = int32(std::floor(bounds.Width())) + 1;
    const auto height = int32(std::floor(bounds.Height())) + 1;
    fBytesPerRow = width * BytesPerPixel(space);
    fBits.assign(size_t(fBytesPerRow) * size_t(height), 0);
}
