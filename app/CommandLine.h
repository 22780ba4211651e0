#pragma once

// The few options the program understands before it opens any window or
// MIDI service, so that they answer on a machine without an X server or a
// MIDI system: --help and --version print to standard output and end the
// program with status 0; --canvas FILE starts it with FILE on the canvas;
// anything else prints a usage line on standard
// error and ends it with status 2. Without arguments the program starts as
// usual.

#include <optional>
#include <string>

// The status the program should end with at once, or nothing when it should
// start; then `canvasPicture` holds the --canvas FILE, or is left empty.
std::optional<int> HandleCommandLine(int argc, const char* const argv[], std::string* canvasPicture);
