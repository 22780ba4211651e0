#pragma once

// A pointer and a screen that live in memory, for running windows that ask
// for the pointer without an X server. The screen is a picture the caller
// paints; pointer events are the ones the caller emits; resizing the screen
// tells the screen-change listeners, as RandR would.
//
// Install() puts this set in force (see InputServices.h) until Uninstall()
// or destruction.
//
// Thread rules: any thread may call every operation; the picture is guarded
// by a lock.

#include "platform/input/InputServices.h"
#include "platform/input/PointerBroadcaster.h"
#include "platform/input/ScreenChangeBroadcaster.h"
#include "platform/support/GraphicsDefs.h"

#include <mutex>
#include <vector>

class HeadlessInput final : public ScreenSource {
public:
    HeadlessInput(int32 width, int32 height);
    ~HeadlessInput() override;

    HeadlessInput(const HeadlessInput&) = delete;
    HeadlessInput& operator=(const HeadlessInput&) = delete;

    void Install();
    void Uninstall();

    // Paints the whole screen, or one pixel (ignored outside the screen).
    // The alpha byte is stored as given.
    void Fill(rgb_color colour);
    void SetPixel(int32 x, int32 y, rgb_color colour);
    // Gives the screen a new size, painted black, and posts B_SCREEN_CHANGED
    // to every screen-change listener.
    void Resize(int32 width, int32 height);

    // Posts a pointer event to every pointer listener, as the X server's
    // reader does.
    void EmitPointerEvent(const BMessage& event) { fPointer.Broadcast(event); }
    size_t CountPointerListeners() const { return fPointer.CountListeners(); }
    // Plays a pointer service that needs the desktop's consent, as the
    // screen-cast portal does (see PointerService.h).
    void SetPointerStatus(PointerServiceState state, const char* text) { fPointer.SetStatus(state, text); }
    void SetConsentRequest(std::function<void()> askAgain) { fPointer.SetConsentRequest(std::move(askAgain)); }

    bool IsAvailable() const override { return true; }
    BRect Frame() override;
    status_t ReadPixels(
        int32 left, int32 top, int32 width, int32 height, uint8* bits, int32 bytesPerRow) override;
    uint64 RoundTrips() const override { return 0; }

private:
    PointerBroadcaster fPointer;
    ScreenChangeBroadcaster fScreenChanges;
    InputServices fServices { fPointer, fScreenChanges, *this };
    bool fInstalled = false;

    std::mutex fLock;
    int32 fWidth;
    int32 fHeight;
    // One B_RGB32 word per pixel, rows top to bottom.
    std::vector<uint32> fPixels;
};
