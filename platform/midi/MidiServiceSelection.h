#pragma once

// Chooses the process's MIDI service from the value of ZIMBREL_MIDI (null or
// empty means "auto"):
//
//   auto       a JACK server that is already running (one is never started),
//              else the ALSA sequencer when /dev/snd/seq opens, else none
//   jack       JACK, waited for while no server runs yet (never started);
//              none only when the JACK library fails
//   alsa       the ALSA sequencer or none
//   inprocess  the in-process service: local endpoints only, for tests
//   none       no service, so no roster
//
// The client other programs see is named `clientName`.
//
// Never opens both JACK and ALSA: the producer would show up twice. Sets
// *announcement to the one line (without newline) that names the service
// chosen, or says why there is none.
//
// Thread rules: any thread; opens a JACK client or ALSA sequencer handle.

#include "platform/midi/MidiService.h"

#include <memory>
#include <string>

std::unique_ptr<MidiService> ChooseMidiService(
    const char* setting, const std::string& clientName, std::string* announcement);
