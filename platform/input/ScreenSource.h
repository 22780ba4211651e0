#pragma once

// Where BScreen gets the screen's size and pixels: the X server's root
// window, or a picture in memory for tests (HeadlessInput).
//
// Thread rules: any thread may call every operation; an implementation
// serialises what needs it.

#include "platform/support/Rect.h"
#include "platform/support/SupportDefs.h"

class ScreenSource {
public:
    // The source in force (see InputServices.h).
    static ScreenSource& Instance();

    virtual ~ScreenSource() = default;

    // False when there is no screen to read (no X server).
    virtual bool IsAvailable() const = 0;
    // The whole screen in pixels, inclusive: (0, 0, 1023, 767) for 1024 x 768.
    // An invalid rectangle when the screen is unavailable.
    virtual BRect Frame() = 0;
    // Copies the `width` x `height` pixels whose top-left is (`left`, `top`)
    // into `bits` as B_RGB32 (blue, green, red, alpha bytes), rows
    // `bytesPerRow` apart, without the pointer's image. The area must lie on
    // the screen. On failure `bits` is left as it was and an error returned.
    virtual status_t ReadPixels(
        int32 left, int32 top, int32 width, int32 height, uint8* bits, int32 bytesPerRow)
        = 0;
    // How many requests so far waited for the server's answer, for
    // benchmarks and diagnostics.
    virtual uint64 RoundTrips() const = 0;
};
