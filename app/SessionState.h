#pragma once

// What a session manager's session keeps of the program, in one file named
// "state" in the folder the manager gives it, written whole or not at all:
// a preset (the 'bsav' message with the mapping and every row setting, so
// that a copy of it in the presets folder loads as one) with these fields
// besides:
//
//   "link"               string, one per consumer linked to, by full name
//   "windows shown"      bool
//   "canvas"             raw, the canvas's state, flattened as the canvas
//                        keeps it in the user's settings

#include "capture/CanvasState.h"
#include "mapping/PresetFile.h"
#include "platform/app/Message.h"

#include <string>
#include <vector>

struct SessionState {
    PresetMapping mapping;
    std::vector<std::string> links; // sorted, each once
    CanvasState canvas; // a fresh one when there was none
    bool windowsShown = true;

    bool operator==(const SessionState&) const;
};

// The path of the state file in `folder`.
std::string SessionStateFile(const std::string& folder);

// Reads the state kept in `folder`: B_OK, B_ENTRY_NOT_FOUND when there is
// none (a new session), or another error with `why` saying what is wrong,
// `state` then untouched.
status_t ReadSessionState(const std::string& folder, SessionState* state, std::string* why);

// Writes `state` into `folder`, made when missing, replacing the earlier
// state whole; a failure leaves that one as it was. B_OK, or an error with
// `why` saying what failed.
status_t WriteSessionState(const std::string& folder, const SessionState& state, std::string* why);
