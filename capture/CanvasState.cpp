#include "capture/CanvasState.h"

#include "platform/app/Message.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32 kCanvasSettings = 'cSET';
// Settings are a few dozen bytes and a path; anything far larger is not ours.
constexpr size_t kLargestSettings = 64 * 1024;

bool IsFrame(BRect frame)
{
    for (const float edge : { frame.left, frame.top, frame.right, frame.bottom })
        if (!std::isfinite(edge))
            return false;
    return frame.Width() >= 1 && frame.Height() >= 1;
}

} // namespace

status_t ReadCanvasState(const void* data, size_t size, CanvasState* state, std::string* why)
{
    if (size > kLargestSettings) {
        *why = "they are too large to be the canvas's";
        return B_BAD_DATA;
    }
    BMessage settings;
    if (data == nullptr || settings.Unflatten(static_cast<const char*>(data), ssize_t(size)) != B_OK
        || settings.what != kCanvasSettings) {
        *why = "they are no saved canvas settings, or they are damaged";
        return B_BAD_DATA;
    }
    CanvasState read;
    if (const char* path = settings.FindString("path"))
        read.path = path;
    read.fullScreen = settings.FindBool("full screen");
    read.open = settings.FindBool("open");
    why->clear();
    if (settings.HasRect("frame")) {
        const BRect frame = settings.FindRect("frame");
        if (IsFrame(frame))
            read.frame = frame;
        else
            *why = "the frame kept is no frame: not numbers, or no size";
    }
    *state = read;
    return B_OK;
}

std::vector<char> FlattenCanvasState(const CanvasState& state)
{
    BMessage settings(kCanvasSettings);
    settings.AddString("path", state.path.c_str());
    settings.AddRect("frame", state.frame);
    settings.AddBool("full screen", state.fullScreen);
    settings.AddBool("open", state.open);
    return settings.Flatten();
}

std::string FitFrame(BRect* frame, BRect screen)
{
    const auto showsSome = [&screen](BRect place) {
        return place.right >= screen.left && place.left <= screen.right && place.bottom >= screen.top
            && place.top <= screen.bottom;
    };
    const bool larger = frame->Width() > screen.Width() || frame->Height() > screen.Height();
    if (!larger && showsSome(*frame))
        return "";
    // In whole pixels, as the screen is: near it, sums of those are exact,
    // so that a cut size stays within the screen's.
    const float width = std::floor(std::min(frame->Width(), screen.Width()));
    const float height = std::floor(std::min(frame->Height(), screen.Height()));
    float left = std::floor(frame->left);
    float top = std::floor(frame->top);
    std::string changed = larger ? "it was larger than the screen" : "";
    if (!showsSome(BRect(left, top, left + width, top + height))) {
        changed += larger ? " and showed no part of it" : "it showed no part of the screen";
        left = std::clamp(left, screen.left, screen.right - width);
        top = std::clamp(top, screen.top, screen.bottom - height);
    }
    *frame = BRect(left, top, left + width, top + height);
    return changed;
}
