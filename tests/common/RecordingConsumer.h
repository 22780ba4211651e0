#pragma once

// A local MIDI consumer that records every Control Change sprayed at it,
// from whichever thread sprays, and lets a test wait for them.

#include "platform/midi/MidiLocalConsumer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <vector>

struct ControlChangeEvent {
    int channel;
    int controller;
    int value;
    bool operator==(const ControlChangeEvent&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const ControlChangeEvent& change)
{
    return out << "(ch " << change.channel << ", cc " << change.controller << ", " << change.value << ")";
}

class RecordingConsumer : public BMidiLocalConsumer {
public:
    explicit RecordingConsumer(const char* name = "monitor") : BMidiLocalConsumer(name) { Register(); }

    void ControlChange(uchar channel, uchar controller, uchar value, bigtime_t) override
    {
        {
            std::lock_guard lock(fLock);
            fReceived.push_back({channel, controller, value});
        }
        fChanged.notify_all();
    }

    std::vector<ControlChangeEvent> Received()
    {
        std::lock_guard lock(fLock);
        return fReceived;
    }

    // Waits (at most five seconds) until `count` Control Changes arrived, and
    // gives what arrived.
    std::vector<ControlChangeEvent> WaitFor(size_t count)
    {
        std::unique_lock lock(fLock);
        fChanged.wait_for(lock, std::chrono::seconds(5), [&] { return fReceived.size() >= count; });
        return fReceived;
    }

    // Waits (at most ten seconds) until what arrived satisfies `ready`, and
    // gives what arrived.
    template <typename Ready> std::vector<ControlChangeEvent> WaitUntil(Ready ready)
    {
        std::unique_lock lock(fLock);
        fChanged.wait_for(lock, std::chrono::seconds(10), [&] { return ready(fReceived); });
        return fReceived;
    }

private:
    std::mutex fLock;
    std::condition_variable fChanged;
    std::vector<ControlChangeEvent> fReceived;
};
