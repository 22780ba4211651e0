#pragma once

// The few options the program understands before it opens any window or
// MIDI service, so that they answer on a machine without an X server or a
// MIDI system: --help and --version print to standard output and end the
// program with status 0; --canvas FILE starts it with FILE on the canvas and
// --preset NAME with the preset NAME loaded; anything else prints a usage
// line on standard error and ends it with status 2. Without arguments the
// program starts as usual.

#include "platform/app/Message.h"
#include "platform/session/SessionClient.h"

#include <memory>
#include <optional>
#include <string>

// What the program starts with; an empty field asks for nothing.
struct StartOptions {
    std::string canvasPicture;
    std::string preset;
    // The session manager the program joined, and its first open.
    std::shared_ptr<SessionClient> session;
    BMessage sessionOpen;
};

// The status the program should end with at once, or nothing when it should
// start with `options`.
std::optional<int> HandleCommandLine(int argc, const char* const argv[], StartOptions* options);
