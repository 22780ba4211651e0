#pragma once

// A local MIDI consumer that records every Control Change sprayed at it,
// and the test fixture pieces that put the in-process MIDI service behind
// the kit.

#include "platform/midi/MidiKit.h"
#include "platform/midi/MidiLocalConsumer.h"
#include "platform/midi/inprocess/InProcessMidiService.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

struct ControlChange {
    uchar channel;
    uchar controller;
    uchar value;
    bool operator==(const ControlChange&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const ControlChange& change)
{
    return out << "(ch " << int(change.channel) << ", cc " << int(change.controller) << ", "
               << int(change.value) << ")";
}

class MidiMonitor : public BMidiLocalConsumer {
public:
    MidiMonitor() : BMidiLocalConsumer("monitor") { Register(); }

    void ControlChange(uchar channel, uchar controller, uchar value, bigtime_t /*time*/) override
    {
        received.push_back({channel, controller, value});
    }

    std::vector<struct ControlChange> received;
};

// Installs the in-process service for one test and removes it afterwards.
class InProcessMidiTest : public testing::Test {
protected:
    void SetUp() override { MidiKit::Get().InstallService(std::make_unique<InProcessMidiService>()); }
    void TearDown() override { MidiKit::Get().Reset(); }
};
