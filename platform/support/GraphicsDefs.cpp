#include "platform/support/GraphicsDefs.h"

#include <array>

namespace {

// Indices 0..215 form a 6x6x6 colour cube (red slowest), 216..239 a grey ramp
// from black towards white, 240..254 a few saturated colours, and 255 stands
// for "transparent" and reads as opaque white where no alpha is possible.
std::array<rgb_color, 256> MakePalette()
{
    std::array<rgb_color, 256> palette{};
    int index = 0;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                palette[index++] = {uint8(r * 51), uint8(g * 51), uint8(b * 51), 255};
    for (int grey = 0; grey < 24; ++grey) {
        const auto level = uint8(grey * 255 / 24);
        palette[index++] = {level, level, level, 255};
    }
    const rgb_color extras[] = {
        {128, 0, 0, 255},   {0, 128, 0, 255},   {0, 0, 128, 255},   {128, 128, 0, 255},
        {128, 0, 128, 255}, {0, 128, 128, 255}, {192, 192, 192, 255}, {255, 128, 0, 255},
        {255, 0, 128, 255}, {128, 255, 0, 255}, {0, 255, 128, 255}, {128, 0, 255, 255},
        {0, 128, 255, 255}, {20, 20, 200, 255}, {150, 150, 150, 255},
    };
    for (const rgb_color& colour : extras)
        palette[index++] = colour;
    palette[255] = {255, 255, 255, 0};
    return palette;
}

} // namespace

const rgb_color& system_palette_color(uint8 index)
{
    static const std::array<rgb_color, 256> palette = MakePalette();
    return palette[index];
}
