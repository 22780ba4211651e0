#include "platform/interface/Screen.h"

#include "platform/display/DisplayService.h"
#include "platform/input/InputServices.h"
#include "platform/input/ScreenSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr float kLargestCoordinate = 1 << 24;
// Between a window and the one it opens beside, for their borders.
constexpr float kGap = 20;
// Above a window's content, for the title bar a window manager adds.
constexpr float kTitleRoom = 32;

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

BRect BScreen::WorkArea() const
{
    const std::shared_ptr<DisplayService> display = DisplayService::Current();
    const BRect area = display != nullptr ? display->WorkArea() : BRect();
    return area.IsValid() ? area : Frame();
}

BPoint BScreen::PlaceBeside(BRect frame, BRect main) const
{
    BRect area = WorkArea();
    area.top += kTitleRoom;
    const float width = frame.Width();
    const float height = frame.Height();
    const float top = std::max(main.top, area.top);
    const BPoint places[] = { { main.right + kGap, top }, { main.left - kGap - width, top },
        { main.left, main.bottom + kTitleRoom } };
    for (const BPoint place : places) {
        if (area.Contains(place) && area.Contains(BPoint(place.x + width, place.y + height)))
            return place;
    }
    return BPoint(std::max(area.left, std::min(places[0].x, area.right - width)),
        std::max(area.top, std::min(places[0].y, area.bottom - height)));
}

BPoint BScreen::BelowTheTop(BRect frame) const
{
    const float top = WorkArea().top + kTitleRoom;
    return BPoint(frame.left, std::max(frame.top, top));
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
