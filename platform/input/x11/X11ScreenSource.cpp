#include "platform/input/x11/X11ScreenSource.h"

#include "platform/input/x11/X11Connection.h"

#include <X11/Xutil.h>

#include <bit>

namespace {

// One colour channel of a pixel, scaled to 8 bits, from the visual's mask.
uint8 Channel(unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const unsigned long value = (pixel & mask) >> shift;
    if (bits >= 8)
        return uint8(value >> (bits - 8));
    return uint8(value * 255 / ((1ul << bits) - 1));
}

} // namespace

std::unique_ptr<X11ScreenSource> X11ScreenSource::Open(const char* displayName)
{
    auto connection = std::make_unique<X11Connection>(displayName);
    if (!connection->IsOpen())
        return nullptr;
    return std::unique_ptr<X11ScreenSource>(new X11ScreenSource(std::move(connection)));
}

X11ScreenSource::X11ScreenSource(std::unique_ptr<X11Connection> connection)
    : fConnection(std::move(connection))
{
}

X11ScreenSource::~X11ScreenSource() = default;

bool X11ScreenSource::IsAvailable() const
{
    return !fConnection->IsLost();
}

BRect X11ScreenSource::Frame()
{
    std::lock_guard lock(fLock);
    if (fConnection->IsLost())
        return BRect();
    ++fRoundTrips;
    return fConnection->RootFrame();
}

status_t X11ScreenSource::ReadPixels(
    int32 left, int32 top, int32 width, int32 height, uint8* bits, int32 bytesPerRow)
{
    if (left < 0 || top < 0 || width <= 0 || height <= 0)
        return B_BAD_VALUE;
    std::lock_guard lock(fLock);
    if (fConnection->IsLost())
        return B_NO_INIT;
    ++fRoundTrips;
    // An area outside the root window gets BadMatch, which the connection
    // counts quietly; XGetImage then returns null.
    XImage* image = XGetImage(fConnection->Get(), fConnection->Root(), left, top, unsigned(width),
        unsigned(height), AllPlanes, ZPixmap);
    if (image == nullptr)
        return B_ERROR;
    if (image->red_mask == 0 || image->green_mask == 0 || image->blue_mask == 0) {
        // A colour-mapped root window: its pixels are palette indices.
        XDestroyImage(image);
        return B_UNSUPPORTED;
    }
    for (int32 row = 0; row < height; ++row) {
        for (int32 column = 0; column < width; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            uint8* to = bits + size_t(row) * size_t(bytesPerRow) + size_t(column) * 4;
            to[0] = Channel(pixel, image->blue_mask);
            to[1] = Channel(pixel, image->green_mask);
            to[2] = Channel(pixel, image->red_mask);
            to[3] = 255;
        }
    }
    XDestroyImage(image);
    return B_OK;
}
