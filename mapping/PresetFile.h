#pragma once

// Preset files: one file per preset in the settings folder, named as the
// user typed the name, holding the flattened 'bsav' message that saved it.
// Besides what the name field put into that message, the program adds the
// mapping (the channel and the six records) as fields of its own, listed
// with the flattened layout in platform/app/Message.h. Connections are not
// kept: consumer ids do not survive a restart.
//
// Nothing here needs a window, so a preset file can be checked on its own.

#include "capture/PlayerChoice.h"
#include "mapping/RowOutput.h"
#include "mapping/cfg.h"
#include "platform/app/Message.h"

#include <cstddef>
#include <optional>
#include <string>

// What a preset restores.
struct PresetMapping {
    int16 channel; // 0..15 for MIDI channel 1..16, 128 for off
    cfg x;
    cfg y;
    cfg pressure;
    cfg red;
    cfg green;
    cfg blue;
    // By panel row: Vertical, Horizontal, Pressure, Red, Green, Blue. A
    // preset saved before rows had these settings gets the defaults.
    RowOutput outputs[6] = {};
    int16 soloRow = -1; // the row that alone sends, or -1
    // Who plays; a preset saved before presets kept it has none, and
    // loading it leaves the choice as it stands.
    std::optional<PlayerChoice> players;

    bool operator==(const PresetMapping&) const;
};

// The settings folder, "Zimbrel2" in the user's settings, without a
// trailing slash.
std::string PresetFolder();

// Why `name` cannot name a preset file in `folder` (given with its trailing
// slash), or "" when it can: empty, "." and "..", a "/", a control
// character, or a full path longer than 255 bytes.
std::string RefusedPresetName(const std::string& folder, const char* name);

// `name` as a terminal may show it: control characters (and the C1 ones
// in UTF-8) as \xNN, and a backslash as two, so that a file's name cannot
// act on the terminal it is printed to.
std::string PrintableName(const std::string& name);

// Adds the mapping fields to a 'bsav' message.
void AddMapping(BMessage* message, const PresetMapping& mapping);

// Reads the mapping fields of a message. Fills `mapping` only when every
// field of the channel and the records is present with its type and within
// its range, and every row setting that is present is valid; otherwise
// B_BAD_DATA and `why` says what is wrong. Row settings that are absent
// keep their defaults, and fields this version does not know are ignored.
status_t FindMapping(const BMessage& message, PresetMapping* mapping, std::string* why);

// Reads a preset from the bytes of a file or from the file at `path`.
// B_OK with `mapping` filled, or an error with `mapping` untouched and
// `why` saying, in a few words, why the file is no preset.
status_t ReadPreset(const void* data, size_t size, PresetMapping* mapping, std::string* why);
status_t ReadPreset(const char* path, PresetMapping* mapping, std::string* why);

// Writes the message as the preset file at `path`, replacing any earlier
// file whole. 0, or the errno value of what failed.
int WritePreset(const char* path, const BMessage& message);
