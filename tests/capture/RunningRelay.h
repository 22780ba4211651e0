#pragma once

// A cursor relay at work for a test or benchmark: a running RecordingLooper
// (or another looper a benchmark needs) as its target, and the relay (a
// VCursorRelay, or a test's subclass of it) hidden and shown again, as the
// program does, so it listens to the pointer.
// Quit() asks both to quit and waits for them; the destructor does the same,
// so a failing test leaves no looper running.

#include "capture/VCursorRelay.h"
#include "platform/app/AppDefs.h"
#include "tests/capture/RecordingLooper.h"

template <typename Relay = VCursorRelay, typename Target = RecordingLooper> class RunningRelay {
public:
    RunningRelay()
        : target(new Target())
    {
        target->Run();
        targetMessenger = BMessenger(target);
        relay = new Relay(target);
        relayMessenger = BMessenger(relay);
        relay->Hide();
        relay->Show();
    }
    ~RunningRelay() { Quit(); }
    RunningRelay(const RunningRelay&) = delete;
    RunningRelay& operator=(const RunningRelay&) = delete;

    // False when a looper was still running after RecordingLooper::kPatience.
    bool Quit()
    {
        relayMessenger.SendMessage(B_QUIT_REQUESTED);
        targetMessenger.SendMessage(B_QUIT_REQUESTED);
        return BLooper::WaitForOtherLoopers(nullptr, RecordingLooper::kPatience);
    }

    // Both loopers delete themselves when they quit.
    Target* const target;
    Relay* relay;
    BMessenger targetMessenger;
    BMessenger relayMessenger;
};
