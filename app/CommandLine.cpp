#include "app/CommandLine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage = "Usage: zimbrel [--help | --version | --canvas FILE] [--preset NAME]\n";

constexpr const char* kHelp
    = "Turns the pointer (mouse or graphics tablet) into MIDI Control Change messages:\n"
      "the pointer's position, the pen's pressure and the colour of the pixel under the\n"
      "pointer, each scaled into a range and sent on a chosen channel and controller.\n"
      "\n"
      "Options:\n"
      "  -h, --help     print this help and exit\n"
      "  -V, --version  print the version and exit\n"
      "  --canvas FILE  open the picture FILE on the canvas, to play it with the pointer\n"
      "  --preset NAME  start with the saved preset NAME loaded\n"
      "\n"
      "Environment:\n"
      "  ZIMBREL_MIDI     the MIDI system: auto (the default: a running JACK server,\n"
      "                   else the ALSA sequencer), jack or alsa\n"
      "  DISPLAY          the X server whose pointer and screen Zimbrel follows\n"
      "  XDG_CONFIG_HOME  where the Zimbrel2 presets folder lives (default ~/.config)\n"
      "  NSM_URL          set by a session manager (RaySession, New Session Manager):\n"
      "                   Zimbrel joins it and keeps its state in the session\n"
      "\n"
      "See zimbrel(1) for more.\n";

bool Is(const char* argument, const char* shortName, const char* longName)
{
    return std::strcmp(argument, shortName) == 0 || std::strcmp(argument, longName) == 0;
}

} // namespace

std::optional<int> HandleCommandLine(int argc, const char* const argv[], StartOptions* options)
{
    if (argc == 2 && Is(argv[1], "-h", "--help")) {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc == 2 && Is(argv[1], "-V", "--version")) {
        std::printf("zimbrel %s\n", ZIMBREL_VERSION);
        return 0;
    }
    const struct {
        const char* name;
        const char* needs;
        std::string StartOptions::*value;
    } valued[] = {
        { "--canvas", "a picture file", &StartOptions::canvasPicture },
        { "--preset", "a preset name", &StartOptions::preset },
    };
    for (int index = 1; index < argc; ++index) {
        const char* argument = argv[index];
        const auto option = std::find_if(std::begin(valued), std::end(valued),
            [argument](const auto& candidate) { return std::strcmp(argument, candidate.name) == 0; });
        if (option == std::end(valued)) {
            if (Is(argument, "-h", "--help") || Is(argument, "-V", "--version"))
                std::fprintf(stderr, "zimbrel: %s stands alone\n", argument);
            else
                std::fprintf(stderr, "zimbrel: %s '%s'\n",
                    argument[0] == '-' ? "unknown option" : "unexpected argument", argument);
            std::fputs(kUsage, stderr);
            return 2;
        }
        std::string& value = options->*option->value;
        if (index + 1 == argc || argv[index + 1][0] == '\0')
            std::fprintf(stderr, "zimbrel: %s needs %s\n", option->name, option->needs);
        else if (!value.empty())
            std::fprintf(stderr, "zimbrel: %s given twice\n", option->name);
        else {
            value = argv[++index];
            continue;
        }
        std::fputs(kUsage, stderr);
        return 2;
    }
    return std::nullopt;
}
