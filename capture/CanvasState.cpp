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
    std::string changed;
    const float width = std::min(frame->Width(), screen.Width());
    const float height = std::min(frame->Height(), screen.Height());
    if (width < frame->Width() || height < frame->Height())
        changed = "it was larger than the screen";
    // Built afresh rather than moved: far from the screen, a float edge
    // plus a width is not exact.
    BRect fitted(frame->left, frame->top, frame->left + width, frame->top + height);
    const bool showsSome = fitted.right >= screen.left && fitted.left <= screen.right
        && fitted.bottom >= screen.top && fitted.top <= screen.bottom;
    if (!showsSome) {
        changed += changed.empty() ? "it showed no part of the screen" : " and showed no part of it";
        const float left = std::clamp(frame->left, screen.left, screen.right - width);
        const float top = std::clamp(frame->top, screen.top, screen.bottom - height);
        fitted = BRect(left, top, left + width, top + height);
    }
    *frame = fitted;
    return changed;
}
