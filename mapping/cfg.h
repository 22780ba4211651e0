#pragma once

#include "platform/support/SupportDefs.h"

// How one quantity of the cursor data becomes a Control Change.
struct cfg {
    int16 controller;  // MIDI controller 0..127; 128 means off
    uint16 hirange;    // value sent for input 1.0
    uint16 lorange;    // value sent for input 0.0
    bool enabled;      // whether cursor data produces Control Changes
};

// The controller number that stands for "off".
inline constexpr int16 kControllerOff = 128;
