#include "platform/input/portal/CastStreamCore.h"

#include <cstring>

namespace {

struct ByteOrder {
    int red;
    int green;
    int blue;
};

ByteOrder OrderOf(CastPixelFormat format)
{
    switch (format) {
    case CastPixelFormat::BGRx:
    case CastPixelFormat::BGRA: return { 2, 1, 0 };
    case CastPixelFormat::RGBx:
    case CastPixelFormat::RGBA: return { 0, 1, 2 };
    case CastPixelFormat::xRGB:
    case CastPixelFormat::ARGB: return { 1, 2, 3 };
    case CastPixelFormat::xBGR:
    case CastPixelFormat::ABGR: return { 3, 2, 1 };
    }
    return { 2, 1, 0 };
}

} // namespace

CastStreamCore::CastStreamCore(BPoint place)
    : fPlace(place)
{
}

void CastStreamCore::SetFormat(CastPixelFormat format, int32 width, int32 height)
{
    fFormat = format;
    fWidth = width > 0 ? width : 0;
    fHeight = height > 0 ? height : 0;
    const BRect frame = fWidth > 0 && fHeight > 0
        ? BRect(fPlace.x, fPlace.y, fPlace.x + float(fWidth - 1), fPlace.y + float(fHeight - 1))
        : BRect();
    std::lock_guard lock(fLock);
    fFront = Picture();
    fFrame = frame;
}

std::optional<BPoint> CastStreamCore::Take(const CastBuffer& buffer, bool* pictureRefused)
{
    if (pictureRefused != nullptr)
        *pictureRefused = false;
    if (buffer.size > 0 && !CopyPicture(buffer) && pictureRefused != nullptr)
        *pictureRefused = true;

    if (buffer.cursor == nullptr || !buffer.cursor->onStream)
        return std::nullopt;
    // Another stream's monitor, or a position from before a size change.
    if (buffer.cursor->x < 0 || buffer.cursor->y < 0 || buffer.cursor->x >= fWidth
        || buffer.cursor->y >= fHeight)
        return std::nullopt;
    const BPoint where(fPlace.x + float(buffer.cursor->x), fPlace.y + float(buffer.cursor->y));
    if (fLastCursor == where)
        return std::nullopt;
    fLastCursor = where;
    return where;
}

bool CastStreamCore::CopyPicture(const CastBuffer& buffer)
{
    const size_t row = size_t(fWidth) * 4;
    if (fWidth == 0 || fHeight == 0 || buffer.data == nullptr || buffer.stride < 0
        || size_t(buffer.stride) < row || buffer.size < size_t(buffer.stride) * size_t(fHeight - 1) + row)
        return false;

    fBack.format = fFormat;
    fBack.width = fWidth;
    fBack.height = fHeight;
    // Same size as the last picture but one: no allocation after the first two.
    fBack.bytes.resize(row * size_t(fHeight));
    if (size_t(buffer.stride) == row) {
        std::memcpy(fBack.bytes.data(), buffer.data, row * size_t(fHeight));
    } else {
        for (int32 y = 0; y < fHeight; ++y)
            std::memcpy(fBack.bytes.data() + row * size_t(y), buffer.data + size_t(buffer.stride) * size_t(y), row);
    }
    std::lock_guard lock(fLock);
    std::swap(fFront, fBack);
    return true;
}

void CastStreamCore::End()
{
    fWidth = 0;
    fHeight = 0;
    fLastCursor.reset();
    std::lock_guard lock(fLock);
    fFront = Picture();
    fFrame = BRect();
}

BRect CastStreamCore::Frame() const
{
    std::lock_guard lock(fLock);
    return fFrame;
}

status_t CastStreamCore::ReadPixels(
    int32 left, int32 top, int32 width, int32 height, uint8* bits, int32 bytesPerRow) const
{
    std::lock_guard lock(fLock);
    if (fFront.bytes.empty())
        return B_NO_INIT;
    const int32 x0 = left - int32(fPlace.x);
    const int32 y0 = top - int32(fPlace.y);
    if (width <= 0 || height <= 0 || x0 < 0 || y0 < 0 || width > fFront.width - x0
        || height > fFront.height - y0)
        return B_BAD_VALUE;
    const ByteOrder order = OrderOf(fFront.format);
    const size_t row = size_t(fFront.width) * 4;
    for (int32 y = 0; y < height; ++y) {
        const uint8* from = fFront.bytes.data() + row * size_t(y0 + y) + size_t(x0) * 4;
        uint8* to = bits + size_t(bytesPerRow) * size_t(y);
        for (int32 x = 0; x < width; ++x, from += 4, to += 4) {
            to[0] = from[order.blue];
            to[1] = from[order.green];
            to[2] = from[order.red];
            to[3] = 255;
        }
    }
    return B_OK;
}
