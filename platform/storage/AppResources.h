#pragma once

// The resources compiled into a program: every executable that reads its
// own application file information links exactly one definition of
// kAppResources (the build adds it to each such executable).

#include "platform/support/SupportDefs.h"

struct AppResources {
    // 32 x 32 and 16 x 16 icons, one byte a pixel, indexes into the system
    // palette (B_CMAP8), rows from top to bottom.
    const uint8* largeIcon;
    const uint8* miniIcon;
};

extern const AppResources kAppResources;
