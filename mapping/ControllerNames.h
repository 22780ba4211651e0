#pragma once

// Menu texts for the controller numbers 0..127 of the MIDI 1.0 Control
// Change list, and for 128, which switches a quantity off.
extern const char* const kControllerNames[129];
