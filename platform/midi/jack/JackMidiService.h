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
// A report from the library that the server went away is believed only
// once the server stops running the client's process cycles: PipeWire's
// library (0.3) reports any error the server sends it as a shutdown, such as
// one about another client's port that just vanished. Output and links then
// go on untouched; since that library refuses every request after such a
// report, the first refused request retires the client and a new one is
// opened as after a loss.
//
// When the server goes away (shut down, killed, or PipeWire restarted), one
// line goes to standard error; while no server runs no consumer is listed,
// connecting fails with a line, and what is sent is dropped, never kept for
// later. A thread of the service's own asks about once a second whether a
// server answers again (it never starts one: JackNoStartServer); when one
// does, it registers the client, the port, its name and metadata again, says
// so in one line, and links the port again to each consumer it was linked
// to at the loss, by full port name, as each one reappears. Links made or
// broken by other tools count the same as the program's own.
//
// Started while no server runs (when asked to wait), it waits the same way
// and registers its client once a server answers; this one line says so.
//
// A published consumer is a MIDI input port, named after it. The process
// callback copies the channel messages that arrive into a second ring and
// posts a semaphore; a receiving thread of the service's own hands them on.
// Other messages (system, SysEx) are not taken. The port is registered
// again with the client on the next server; its links are not remembered.
//
// Lacks: listing other clients' output ports (producers); more than one
// published producer or consumer at a time.

#include "platform/midi/MidiService.h"

#include <memory>
#include <string>

// Opens the service with a client named `clientName`, or returns nullptr
// with the reason in *error. With `waitForServer`, no server running is no
// reason: the service waits for one, listing no consumer meanwhile.
std::unique_ptr<MidiService> OpenJackMidiService(
    const std::string& clientName, bool waitForServer, std::string* error);
