#pragma once

#include "platform/support/SupportDefs.h"

// Command codes that the platform itself sends.
enum : uint32 {
    B_ABOUT_REQUESTED = '_ABR',
    B_QUIT_REQUESTED = '_QRQ',
    B_MOUSE_DOWN = '_MDN',
    B_MOUSE_MOVED = '_MMV',
    B_MOUSE_UP = '_MUP',
    B_SIMPLE_DATA = '_SDT',
    B_KEY_DOWN = '_KYD',
    B_KEY_UP = '_KYU',
    B_SCREEN_CHANGED = '_SCH',
    B_PULSE = '_PUL',
    B_NO_REPLY = '_NRP',
};

// bool: set in the B_QUIT_REQUESTED that the application sends every looper
// as it quits; a window's close box sends one without it.
inline constexpr const char* B_APPLICATION_QUITTING = "be:application_quitting";
