#pragma once

// The footswitch: one Control Change or note, chosen by the user, that other
// programs send to "Zimbrel in" to turn Sending over or to hold it on. A
// Control Change is down from value 64 up, as a sustain pedal is; a note is
// down from its note on until its note off (or a note on at velocity 0).
//
// It is kept between runs in the user's settings as a flattened 'zFSW'
// message with the int32 fields "source", "channel", "number" and "action".
// Anything may have written that file, so each field is checked, and what
// is wrong is said rather than taken.

#include "platform/support/SupportDefs.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class BMessage;

// To the mapping view, from the MIDI consumer's thread: a channel message
// arrived at "Zimbrel in". int32 "kind" (a ReceivedKind), "channel" (0 to
// 15), "number" (controller, note or program) and "value" (controller
// value or velocity; 0 for a program).
constexpr uint32 kMidiReceived = 'zRCV';

enum class ReceivedKind : int32 { ControlChange, NoteOn, NoteOff, ProgramChange };

struct Footswitch {
    enum class Source : int32 { Off, ControlChange, Note };
    enum class Action : int32 { Toggle, Hold };

    Source source = Source::Off;
    // 1 to 16, or 0 for any channel.
    int32 channel = 0;
    // The controller or note number.
    int32 number = 64;
    Action action = Action::Toggle;

    // Whether a kMidiReceived message moves the switch: down (true) or up
    // (false); nothing when it is another message.
    std::optional<bool> Moves(const BMessage& received) const;

    bool operator==(const Footswitch&) const = default;
};

// Labels of the choices, in the order of the enums.
extern const char* const kFootswitchSourceLabels[3];
extern const char* const kFootswitchActionLabels[2];

// Adds the four fields to `message`, and reads them back: B_OK with
// `footswitch` filled, or B_BAD_VALUE with `footswitch` untouched and `why`
// naming the field that is missing or out of range.
void AddFootswitch(BMessage* message, const Footswitch& footswitch);
status_t FindFootswitch(const BMessage& message, Footswitch* footswitch, std::string* why);

// The footswitch the settings keep, or none when they keep nothing; a file
// that cannot be read or holds no footswitch is said on standard error.
Footswitch LoadFootswitch();
// Keeps `footswitch` in the settings, replacing the file whole; a failure
// is said on standard error.
void KeepFootswitch(const Footswitch& footswitch);
