#pragma once

// The X server's root window as the screen: its size from the window's
// geometry, its pixels with XGetImage (which never includes the pointer's
// image). One connection of its own serves every thread under a lock, so a
// pixel costs one round trip whichever thread asks, and no thread pays for
// opening a connection of its own.
//
// Thread rules: any thread may call every operation.

#include "platform/input/ScreenSource.h"

#include <atomic>
#include <memory>
#include <mutex>

class X11Connection;

class X11ScreenSource final : public ScreenSource {
public:
    // Connects to `displayName`; null when the server cannot be reached.
    static std::unique_ptr<X11ScreenSource> Open(const char* displayName);
    ~X11ScreenSource() override;

    bool IsAvailable() const override;
    BRect Frame() override;
    status_t ReadPixels(
        int32 left, int32 top, int32 width, int32 height, uint8* bits, int32 bytesPerRow) override;
    uint64 RoundTrips() const override { return fRoundTrips.load(); }

private:
    explicit X11ScreenSource(std::unique_ptr<X11Connection> connection);

    std::mutex fLock;
    std::unique_ptr<X11Connection> fConnection;
    std::atomic<uint64> fRoundTrips { 0 };
};
