#include "platform/input/HeadlessInput.h"

#include <algorithm>

namespace {

uint32 PixelWord(rgb_color colour)
{
    return uint32(colour.alpha) << 24 | uint32(colour.red) << 16 | uint32(colour.green) << 8 | colour.blue;
}

} // namespace

HeadlessInput::HeadlessInput(int32 width, int32 height)
    : fWidth(width)
    , fHeight(height)
    , fPixels(size_t(width) * size_t(height), PixelWord(rgb_color {}))
{
}

HeadlessInput::~HeadlessInput()
{
    Uninstall();
}

void HeadlessInput::Install()
{
    InputServices::Override(&fServices);
    fInstalled = true;
}

void HeadlessInput::Uninstall()
{
    if (fInstalled)
        InputServices::Override(nullptr);
    fInstalled = false;
}

void HeadlessInput::Fill(rgb_color colour)
{
    std::lock_guard lock(fLock);
    std::fill(fPixels.begin(), fPixels.end(), PixelWord(colour));
}

void HeadlessInput::SetPixel(int32 x, int32 y, rgb_color colour)
{
    std::lock_guard lock(fLock);
    if (x >= 0 && y >= 0 && x < fWidth && y < fHeight)
        fPixels[size_t(y) * size_t(fWidth) + size_t(x)] = PixelWord(colour);
}

void HeadlessInput::Resize(int32 width, int32 height)
{
    {
        std::lock_guard lock(fLock);
        fWidth = width;
        fHeight = height;
        fPixels.assign(size_t(width) * size_t(height), PixelWord(rgb_color {}));
    }
    fScreenChanges.Broadcast(Frame(), B_RGB32);
}

BRect HeadlessInput::Frame()
{
    std::lock_guard lock(fLock);
    return BRect(0, 0, float(fWidth - 1), float(fHeight - 1));
}

status_t HeadlessInput::ReadPixels(
    int32 left, int32 top, int32 width, int32 height, uint8* bits, int32 bytesPerRow)
{
    std::lock_guard lock(fLock);
    if (left < 0 || top < 0 || width <= 0 || height <= 0 || left > fWidth - width || top > fHeight - height)
        return B_BAD_VALUE;
    for (int32 row = 0; row < height; ++row) {
        const uint32* from = &fPixels[size_t(top + row) * size_t(fWidth) + size_t(left)];
        // B_RGB32 is the word in little-endian order: blue, green, red, alpha.
        for (int32 column = 0; column < width; ++column) {
            uint8* to = bits + size_t(row) * size_t(bytesPerRow) + size_t(column) * 4;
            to[0] = uint8(from[column]);
            to[1] = uint8(from[column] >> 8);
            to[2] = uint8(from[column] >> 16);
            to[3] = uint8(from[column] >> 24);
        }
    }
    return B_OK;
}
