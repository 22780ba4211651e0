#pragma once

// The JACK MIDI service: one JACK client "Zimbrel" (JACK adds "-01" when the
// name is taken), one MIDI output port for the published producer, named
// after it. Consumers are the MIDI input ports of other clients, PipeWire's
// bridge ports included, named "client:port".
//
// Sending: the caller's thread writes fixed-size records into a locked-in-RAM
// ring buffer; the process callback drains it into the port each cycle, each
// message at the frame it was sent (never earlier than that cycle's start,
// never before the message before it). The process callback never locks,
// allocates or blocks; when the ring is full the message is dropped and
// counted.
//
// Publishing properties sets the client's JACK metadata: pretty-name, and
// icon-large / icon-small as base64 PNG from the "be:large_icon" (32 x 32)
// and "be:mini_icon" (16 x 16) B_CMAP8 entries.
//
// When the server shuts down, one line goes to standard error; from then on
// no consumer is listed, connecting fails with a line, and sending drops.
// A server is never started (JackNoStartServer).
//
// Lacks: listing other clients' output ports (producers); more than one
// published producer at a time.

#include "platform/midi/MidiService.h"

#include <memory>
#include <string>

// Opens the service, or returns nullptr with the reason in *error.
std::unique_ptr<MidiService> OpenJackMidiService(std::string* error);
