#pragma once

// The ALSA sequencer MIDI service: one sequencer client "Zimbrel" with one
// output port for the published producer, named after it (readable and
// subscribable), always port 0. Consumers are other clients' ports that can be written to
// by subscription, named "client name:port name"; the System client and
// our own are left out. Connecting subscribes our port to the consumer, and
// each message goes out directly (no queue) to every subscriber at once.
//
// A hidden port follows System:Announce on a thread of its own (poll with a
// timeout, stopped and joined on destruction), so the id of a port that goes
// away is forgotten at once and never reaches a port that reuses its
// address.
//
// A published consumer is a port other clients can write to by
// subscription, always port 2, named after it; the same thread takes what
// arrives there (channel messages only) and hands it on.
//
// Lacks: endpoint icons (the sequencer has nowhere to keep them; the kit
// still keeps them in the properties); listing other clients' output ports;
// more than one published producer or consumer at a time.

#include "platform/midi/MidiService.h"

#include <memory>
#include <string>

// Opens the service with a client named `clientName`, or returns nullptr
// with the reason in *error.
std::unique_ptr<MidiService> OpenAlsaMidiService(const std::string& clientName, std::string* error);
