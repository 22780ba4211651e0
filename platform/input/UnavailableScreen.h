#pragma once

// The screen where no X server can be reached: nothing to measure or read.
//
// Thread rules: any thread; it holds no state.

#include "platform/input/ScreenSource.h"

class UnavailableScreen final : public ScreenSource {
public:
    bool IsAvailable() const override { return false; }
    BRect Frame() override { return BRect(); }
    status_t ReadPixels(int32, int32, int32, int32, uint8*, int32) override { return B_NO_INIT; }
    uint64 RoundTrips() const override { return 0; }
};
