#pragma once

// BMidiRoster: finds endpoints. Lists registered local endpoints and the
// consumers other programs offer through the MIDI service; producers of
// other programs are not listed.
//
// Every endpoint returned carries one reference that the caller gives back
// with Release().
//
// Thread rules: every operation may be called from any thread but a real-time
// one. The first call chooses the MIDI service (see MidiKit).

#include "platform/midi/MidiConsumer.h"
#include "platform/midi/MidiEndpoint.h"
#include "platform/midi/MidiProducer.h"

class BMidiRoster {
public:
    // The roster, or nullptr when no MIDI service is available.
    static BMidiRoster* MidiRoster();

    // The registered endpoint with the smallest id greater than *id, which is
    // set to that id; nullptr after the last. Start from 0. Starting a walk
    // from 0 takes one snapshot of the other programs' consumers, and the
    // rest of the walk reads it, so a walk costs one listing whatever the
    // number of consumers and never sees the list change halfway.
    static BMidiEndpoint* NextEndpoint(int32* id);
    static BMidiProducer* NextProducer(int32* id);
    static BMidiConsumer* NextConsumer(int32* id);

    // The endpoint with that id, or nullptr when the id names nothing (any
    // more). With `localOnly`, endpoints of other programs are not looked at.
    static BMidiEndpoint* FindEndpoint(int32 id, bool localOnly = false);
    static BMidiConsumer* FindConsumer(int32 id, bool localOnly = false);
    static BMidiProducer* FindProducer(int32 id, bool localOnly = false);

private:
    BMidiRoster() = default;
};
