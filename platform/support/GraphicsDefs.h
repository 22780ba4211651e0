#pragma once

#include "platform/support/SupportDefs.h"

struct rgb_color {
    uint8 red = 0;
    uint8 green = 0;
    uint8 blue = 0;
    uint8 alpha = 255;

    constexpr bool operator==(const rgb_color&) const = default;
};

enum color_space : uint32 {
    B_NO_COLOR_SPACE = 0,
    B_RGB32 = 8,   // 32 bits a pixel: blue, green, red, alpha bytes in memory order
    B_CMAP8 = 4,   // 8 bits a pixel, an index into the system palette
};

// The 256-colour system palette that B_CMAP8 pixels index.
const rgb_color& system_palette_color(uint8 index);
