#include "app/CommandLine.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage = "Usage: zimbrel [--help | --version | --canvas FILE]\n";

constexpr const char* kHelp
    = "Turns the pointer (mouse or graphics tablet) into MIDI Control Change messages:\n"
      "the pointer's position, the pen's pressure and the colour of the pixel under the\n"
      "pointer, each scaled into a range and sent on a chosen channel and controller.\n"
      "\n"
      "Options:\n"
      "  -h, --help     print this help and exit\n"
      "  -V, --version  print the version and exit\n"
      "  --canvas FILE  open the picture FILE on the canvas, to play it with the pointer\n"
      "\n"
      "Environment:\n"
      "  ZIMBREL_MIDI     the MIDI system: auto (the default: a running JACK server,\n"
      "                   else the ALSA sequencer), jack or alsa\n"
      "  DISPLAY          the X server whose pointer and screen Zimbrel follows\n"
      "  XDG_CONFIG_HOME  where the Zimbrel2 presets folder lives (default ~/.config)\n"
      "\n"
      "See zimbrel(1) for more.\n";

bool Is(const char* argument, const char* shortName, const char* longName)
{
    return std::strcmp(argument, shortName) == 0 || std::strcmp(argument, longName) == 0;
}

} // namespace

std::optional<int> HandleCommandLine(int argc, const char* const argv[], std::string* canvasPicture)
{
    if (argc <= 1)
        return std::nullopt;
    const char* argument = argv[1];
    if (argc == 3 && std::strcmp(argument, "--canvas") == 0) {
        *canvasPicture = argv[2];
        return std::nullopt;
    }
    if (argc == 2 && Is(argument, "-h", "--help")) {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc == 2 && Is(argument, "-V", "--version")) {
        std::printf("zimbrel %s\n", ZIMBREL_VERSION);
        return 0;
    }
    const bool canvas = std::strcmp(argument, "--canvas") == 0;
    if (canvas && argc == 2) {
        std::fputs("zimbrel: --canvas needs a picture file\n", stderr);
    } else {
        const bool known = canvas || Is(argument, "-h", "--help") || Is(argument, "-V", "--version");
        const char* unexpected = known ? argv[canvas ? 3 : 2] : argument;
        std::fprintf(stderr, "zimbrel: %s '%s'\n",
            unexpected[0] == '-' ? "unknown option" : "unexpected argument", unexpected);
    }
    std::fputs(kUsage, stderr);
    return 2;
}
