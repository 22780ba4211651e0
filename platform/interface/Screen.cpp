#include "platform/interface/Screen.h"

#include "platform/input/InputServices.h"
#include "platform/input/ScreenSource.h"

#include <cmath>
#include <cstring>

namespace {

constexpr float kLargestCoordinate = 1 << 24;

} // namespace

// Every screen id names the one root window, which spans all monitors.
BScreen::BScreen(screen_id /*id*/) { }

BScreen::~BScreen() = default;

bool BScreen::IsValid() const
{
    return ScreenSource::Instance().IsAvailable();
}

BRect BScreen::Frame() const
{
    return ScreenSource::Instance().Frame();
}

bool BScreen::IsWholeDesktop() const
{
    return InputServices::FollowWholeDesktop();
}

color_space BScreen::ColorSpace() const
{
    return IsValid() ? B_RGB32 : B_NO_COLOR_SPACE;
}

status_t BScreen::ReadBitmap(BBitmap* bitmap, bool /*drawCursor*/, BRect* bounds)
{
    if (bitmap == nullptr || bitmap->InitCheck() != B_OK || bitmap->ColorSpace() != B_RGB32)
        return B_BAD_VALUE;

    // Black, with an opaque alpha byte, until the read succeeds.
    static constexpr uint8 kBlack[4] = { 0, 0, 0, 255 };
    auto* bits = static_cast<uint8*>(bitmap->Bits());
    for (int32 offset = 0; offset + 4 <= bitmap->BitsLength(); offset += 4)
        std::memcpy(bits + offset, kBlack, 4);

    const BRect area = bounds != nullptr ? *bounds : bitmap->Bounds();
    const BRect target = bitmap->Bounds();
    // Coordinates from a pointer event are not trusted to be numbers that
    // fit a pixel index.
    for (float edge : { area.left, area.top, area.right, area.bottom }) {
        if (!(std::fabs(edge) < kLargestCoordinate))
            return B_BAD_VALUE;
    }
    const auto left = int32(std::floor(area.left));
    const auto top = int32(std::floor(area.top));
    const int32 width = int32(std::floor(area.right)) - left + 1;
    const int32 height = int32(std::floor(area.bottom)) - top + 1;
    if (width != int32(std::floor(target.Width())) + 1 || height != int32(std::floor(target.Height())) + 1)
        return B_BAD_VALUE;

    // The pointer's image is never part of what is read.
    return ScreenSource::Instance().ReadPixels(left, top, width, height, bits, bitmap->BytesPerRow());
}
