#pragma once

// The desktop as the screen-cast streams show it: one stream per monitor
// the user shared, each at its place on the desktop. The frame is the
// smallest rectangle around them; a pixel comes from the last picture of
// the stream it lies on.
//
// Thread rules: SetStreams and Clear from the thread that runs the portal
// session, while no stream reader uses the cores; every ScreenSource
// operation from any thread.

#include "platform/input/ScreenSource.h"
#include "platform/input/portal/CastStreamCore.h"

#include <memory>
#include <mutex>
#include <vector>

class CastScreen final : public ScreenSource {
public:
    void SetStreams(std::vector<std::unique_ptr<CastStreamCore>> streams);
    void Clear() { SetStreams({}); }
    // The cores, for the reader that feeds them. Valid until the next
    // SetStreams or Clear.
    std::vector<CastStreamCore*> Streams();

    // True once the portal path is in force, even before the first picture:
    // the screen is there, it is only not shown yet.
    bool IsAvailable() const override { return true; }
    BRect Frame() override;
    status_t ReadPixels(
        int32 left, int32 top, int32 width, int32 height, uint8* bits, int32 bytesPerRow) override;
    uint64 RoundTrips() const override { return 0; }

private:
    std::mutex fLock;
    std::vector<std::unique_ptr<CastStreamCore>> fStreams;
};
