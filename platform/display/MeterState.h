#pragma once

// MeterState: what one meter shows, shared between the view that sets it
// (on its window's thread) and the display that draws it (on the main
// thread). Setting it is a relaxed atomic store: no lock, no allocation,
// no message. The display samples it at most once a frame and goes to
// sleep when nothing changes; the setter wakes it again with one
// InvalidateView, at most once per sleep.
//
// MeterWatch is the display's side: it remembers what was drawn last and
// decides, frame by frame, whether to repaint, keep watching or sleep.
//
// Thread rules: one thread sets (the view's window thread); one thread
// watches (the display's). Every shared field is a std::atomic.

#include "platform/support/SupportDefs.h"

#include <atomic>
#include <chrono>

class MeterState {
public:
    // Levels run from 0 (empty) to kFullLevel (full).
    static constexpr uint16 kFullLevel = 127;
    // An empty, dimmed meter: the source is off.
    static constexpr uint16 kDimmed = 0x8000;

    // Setter side. Each returns true when the display was asleep and must
    // be woken (the caller invalidates the view).
    bool SetLevel(uint16 level)
    {
        fLevel.store(level, std::memory_order_relaxed);
        return Claim();
    }
    // One more burst of activity, for a lamp.
    bool Pulse()
    {
        // One setter: a load and a store, no read-modify-write needed.
        fPulses.store(fPulses.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        return Claim();
    }

    // Display side.
    uint16 Level() const { return fLevel.load(std::memory_order_relaxed); }
    uint32 Pulses() const { return fPulses.load(std::memory_order_relaxed); }
    bool Watched() const { return fWatched.load(std::memory_order_relaxed); }
    void SetWatched(bool watched) { fWatched.store(watched, std::memory_order_relaxed); }

private:
    bool Claim()
    {
        if (fWatched.load(std::memory_order_relaxed))
            return false;
        fWatched.store(true, std::memory_order_relaxed);
        return true;
    }

    std::atomic<uint16> fLevel { kDimmed };
    std::atomic<uint32> fPulses { 0 };
    // Whether the display samples the state frame by frame.
    std::atomic<bool> fWatched { false };
};

class MeterWatch {
public:
    // The display samples at most this often: 30 frames a second, smooth
    // enough for a level meter, and half the cost of 60 to the display.
    static constexpr std::chrono::milliseconds kFrame { 33 };
    // A lamp stays lit this many frames after the last pulse.
    static constexpr int kLampFrames = 5;
    // Frames without change before the display stops watching, and frames
    // it keeps sampling after that in case a level was set just as it let
    // go (the setter then saw it still watching and did not wake it).
    static constexpr int kIdleFrames = 8;
    static constexpr int kLingerFrames = 4;

    // What the display should show.
    struct Look {
        uint16 level = MeterState::kDimmed;
        bool lit = false;
        bool operator==(const Look&) const = default;
    };

    enum class Step {
        Repaint, // the look changed: draw Shown()
        Keep, // nothing to draw, sample again next frame
        Stop, // nothing changes: stop sampling until woken
    };

    explicit MeterWatch(const MeterState& state);

    // Called once a frame while the meter is on screen.
    Step Frame(MeterState& state);
    // What was drawn last (after Frame said Repaint: what to draw now).
    Look Shown() const { return fShown; }
    // Sampling starts again after a Stop.
    void Wake() { fIdleFrames = 0; }

private:
    Look fShown;
    uint32 fPulses;
    int fLitFrames = 0;
    int fIdleFrames = 0;
};
