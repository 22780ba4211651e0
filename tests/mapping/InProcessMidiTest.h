#pragma once

// Puts the in-process MIDI service behind the kit for one test.

#include "../common/PrivateSettings.h"
#include "../common/RecordingConsumer.h"
#include "platform/midi/MidiKit.h"
#include "platform/midi/inprocess/InProcessMidiService.h"

#include <gtest/gtest.h>

#include <memory>

class InProcessMidiTest : public testing::Test {
protected:
    void SetUp() override { MidiKit::Get().InstallService(std::make_unique<InProcessMidiService>()); }
    void TearDown() override { MidiKit::Get().Reset(); }

    // The mapping view lists and writes presets here, never in the user's.
    PrivateSettings settings;
};
