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

#include <string>
#include <vector>

class BMidiLocalProducer;

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

    // What a session manager needs (this platform's own additions): the
    // name of the program's client other programs see, which the first use
    // of the roster opens with and a later call changes (dropping the
    // client's links); the full names of the consumers of other programs
    // the producer is linked to or waits to be linked to; links to exactly
    // the named consumers, each made as soon as it exists.
    static void SetClientName(const char* name);
    static std::vector<std::string> KeptLinks(const BMidiLocalProducer* producer);
    static void KeepLinks(const BMidiLocalProducer* producer, const std::vector<std::string>& consumers);
    // Why what is sent reaches no one, for the window ("no MIDI system",
    // "JACK server lost, reconnecting"); empty while output works.
    static std::string Trouble();

private:
    BMidiRoster() = default;
};
