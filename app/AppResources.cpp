// The program's icons, compiled into every executable that reads the
// application's own file information.

#include "platform/storage/AppResources.h"

#include <array>
#include <cstddef>

namespace {

// Pictures drawn with one character a pixel; each character stands for an
// index of the system palette (a 6 x 6 x 6 colour cube, then greys).
constexpr const char* kLargeArt[32] = {
    "...oooooooooooooooooooooooooo...",
    "..oooooooooooooooooooooooooooo..",
    ".oooooooooooooooooooooooooooooo.",
    "oooo#ooooooooooooooooooooooooooo",
    "ooo#W#oooooooooooooooooooooooooo",
    "ooo#W#oooooooooooooooooooooooooo",
    "ooo#WW#ooooooorrrooooooooooooooo",
    "ooo#WW#ooooooorrrooooooooooooooo",
    "ooo#WWW#oooooorrrooooooooooooooo",
    "ooo#WWWW#ooooorrrooooooooooooooo",
    "ooo#WWWW#ooooorrrooooooooooooooo",
    "ooo#WWWWW#oooorrrooooooooooooooo",
    "ooo#WWWWW#oooorrroogggoooooooooo",
    "ooo#WWWWWW#ooorrroogggoooooooooo",
    "ooo#WWWWWWW#oorrroogggoooooooooo",
    "ooo#WWWWWWW#oorrroogggoooooooooo",
    "ooo#WWWWWWWW#orrroogggoooooooooo",
    "oooo####WWW#oorrroogggoooooooooo",
    "oooooooo#WWW#orrroogggoobbbooooo",
    "oooooooo#WWW#orrroogggoobbbooooo",
    "ooooooooo#WWW#rrroogggoobbbooooo",
    "ooooooooo#WWW#rrroogggoobbbooooo",
    "oooooooooo###orrroogggoobbbooooo",
    "oooooooooooooorrroogggoobbbooooo",
    "oooooooooooooorrroogggoobbbooooo",
    "oooooooooooooorrroogggoobbbooooo",
    "oooooooooooooorrroogggoobbbooooo",
    "oooooooooooooorrroogggoobbbooooo",
    "oooooooooooooooooooooooooooooooo",
    ".oooooooooooooooooooooooooooooo.",
    "..oooooooooooooooooooooooooooo..",
    "...oooooooooooooooooooooooooo...",
};
constexpr const char* kMiniArt[16] = {
    ".oooooooooooooo.",
    "oo#ooooooooooooo",
    "o#W#oooooooooooo",
    "o#W#oooroooooooo",
    "o#WW#ooroooooooo",
    "o#WW#ooroooooooo",
    "o#WWW#oroggooooo",
    "o#WWWW#roggooooo",
    "o#WWWW#roggooooo",
    "oo###WW#oggobooo",
    "oooo#WW#oggobooo",
    "ooooo##roggobooo",
    "oooooooroggobooo",
    "oooooooroggobooo",
    "oooooooooooooooo",
    ".oooooooooooooo.",
};

constexpr uint8 PaletteIndex(char pixel)
{
    switch (pixel) {
    case '#': return 0;   // black outline
    case 'W': return 215; // white pointer
    case 'o': return 221; // dark grey tile
    case 'r': return 180; // red bar
    case 'g': return 30;  // green bar
    case 'b': return 17;  // blue bar
    default: return 255;  // transparent
    }
}

template <std::size_t N> constexpr std::array<uint8, N * N> FromArt(const char* const (&rows)[N])
{
    std::array<uint8, N * N> pixels{};
    for (std::size_t y = 0; y < N; ++y)
        for (std::size_t x = 0; x < N; ++x)
            pixels[y * N + x] = PaletteIndex(rows[y][x]);
    return pixels;
}

const std::array<uint8, 32 * 32> kLargeIcon = FromArt(kLargeArt);
const std::array<uint8, 16 * 16> kMiniIcon = FromArt(kMiniArt);

} // namespace

const AppResources kAppResources{kLargeIcon.data(), kMiniIcon.data()};
