// Reading the canvas's kept state from untrusted bytes: nothing may crash,
// a refusal leaves the state as it was and says why, and a frame that is
// taken fits the screen once fitted: no larger than it, showing some of
// it, in finite numbers, and fitted again it stays as it is.

#include "capture/CanvasState.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fault(const char* what)
{
    std::fprintf(stderr, "canvas state: %s\n", what);
    std::abort();
}

constexpr BRect kScreen(0, 0, 1023, 767);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CanvasState before { "untouched", BRect(1, 2, 3, 4), true, true };
    CanvasState state = before;
    std::string why;
    if (ReadCanvasState(data, size, &state, &why) != B_OK) {
        if (state.path != before.path || !(state.frame == before.frame) || !state.fullScreen || !state.open)
            Fault("a refused file changed the state");
        if (why.empty())
            Fault("a refused file gave no reason");
        return 0;
    }
    if (!state.frame.IsValid())
        return 0;
    FitFrame(&state.frame, kScreen);
    const BRect frame = state.frame;
    for (const float edge : { frame.left, frame.top, frame.right, frame.bottom })
        if (!std::isfinite(edge))
            Fault("a fitted frame is not in numbers");
    if (frame.Width() > kScreen.Width() || frame.Height() > kScreen.Height())
        Fault("a fitted frame is larger than the screen");
    if (frame.right < kScreen.left || frame.left > kScreen.right || frame.bottom < kScreen.top
        || frame.top > kScreen.bottom)
        Fault("a fitted frame shows no part of the screen");
    BRect again = frame;
    if (!FitFrame(&again, kScreen).empty() || !(again == frame))
        Fault("a fitted frame is fitted again");
    const std::vector<char> bytes = FlattenCanvasState(state);
    CanvasState reread;
    if (ReadCanvasState(bytes.data(), bytes.size(), &reread, &why) != B_OK || !(reread.frame == frame)
        || reread.path != state.path || reread.open != state.open || reread.fullScreen != state.fullScreen)
        Fault("a fitted state does not save and read again unchanged");
    return 0;
}
