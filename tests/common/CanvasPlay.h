#pragma once

// What the canvas tests share: a generated picture of four coloured
// quarters, a preset that maps position and colour, the Control Changes one
// position over the picture must give, and jack_midi_dump as the JACK
// consumer that hears them.

#include "mapping/PresetFile.h"
#include "tests/common/ChildProcess.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace canvas_play {

inline constexpr int kPictureWidth = 200;
inline constexpr int kPictureHeight = 100;

// The colour of each quarter of the picture, as 0xRRGGBB.
inline unsigned QuarterColour(int x, int y)
{
    const bool right = x >= kPictureWidth / 2;
    const bool bottom = y >= kPictureHeight / 2;
    return bottom ? (right ? 0x4080c0 : 0x0000ff) : (right ? 0x00ff00 : 0xff0000);
}

inline void WritePicture(const std::string& path)
{
    std::ofstream file(path, std::ios::binary);
    file << "P6 " << kPictureWidth << ' ' << kPictureHeight << " 255\n";
    for (int y = 0; y < kPictureHeight; ++y)
        for (int x = 0; x < kPictureWidth; ++x) {
            const unsigned rgb = QuarterColour(x, y);
            file.put(char(rgb >> 16)).put(char(rgb >> 8 & 0xff)).put(char(rgb & 0xff));
        }
}

inline constexpr cfg kOff { 128, 127, 0, false };

// Channel 1; Horizontal on controller 7, Vertical on 8, Red, Green and
// Blue on 20, 21 and 22, each over the full range; no Pressure.
inline PresetMapping CanvasMapping()
{
    PresetMapping mapping {};
    mapping.channel = 0;
    mapping.x = { 7, 127, 0, true };
    mapping.y = { 8, 127, 0, true };
    mapping.pressure = kOff;
    mapping.red = { 20, 127, 0, true };
    mapping.green = { 21, 127, 0, true };
    mapping.blue = { 22, 127, 0, true };
    return mapping;
}

// The preset "Canvas" in `folder`; false when it could not be written.
inline bool WriteMappingPreset(const std::string& folder, const PresetMapping& mapping = CanvasMapping())
{
    std::filesystem::create_directories(folder);
    BMessage preset('bsav');
    AddMapping(&preset, mapping);
    return WritePreset((folder + "/Canvas").c_str(), preset) == 0;
}

// "b0 CC VV" as jack_midi_dump prints a Control Change on channel 1.
inline std::string Change(int controller, int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "b0 %02x %02x", controller, value);
    return text;
}

// The value a row with the range `low`..`high` sends for `position` of
// `extent`, computed as the program does.
inline int Level(int position, int extent, int low = 0, int high = 127)
{
    return low + int(double(float(position / (long double)extent)) * (high - low));
}

// The five changes one canvas position sends: where it is and its colour.
inline std::vector<std::string> CanvasChanges(
    int column, int row, int shownWidth, int shownHeight, unsigned rgb)
{
    return { Change(7, Level(column, shownWidth - 1)), Change(8, Level(row, shownHeight - 1)),
        Change(20, Level(int(rgb >> 16 & 0xff), 255)), Change(21, Level(int(rgb >> 8 & 0xff), 255)),
        Change(22, Level(int(rgb & 0xff), 255)) };
}

// jack_midi_dump on the JACK server in use, its input "midi-monitor:input".
class MidiDump {
public:
    // Starts it and waits for its port; the reason when that failed.
    std::string Start()
    {
        const std::string missing = MissingTools({ "jack_midi_dump", "jack_lsp", "stdbuf", "setpriv" });
        if (!missing.empty())
            return missing;
        if (!fDump.Start({ "setpriv", "--pdeathsig", "TERM", "stdbuf", "-oL", "jack_midi_dump" }))
            return fDump.Error();
        if (!WaitUntil(
                [] {
                    return RunTool({ "jack_lsp", "midi-monitor:input" }).status == 0;
                },
                std::chrono::seconds(10)))
            return "jack_midi_dump's port did not show within 10 s: " + fDump.Errors();
        return "";
    }

    std::string Output() const { return fDump.Output(); }

    // The bytes of the dump's lines from line `from` on.
    std::vector<std::string> Lines(size_t from) const
    {
        std::vector<std::string> lines;
        std::istringstream all(fDump.Output());
        size_t index = 0;
        for (std::string line; std::getline(all, line); ++index)
            if (index >= from) // "   0: b0 07 6f control change ...": the time, then the bytes
                lines.push_back(line.substr(line.find(": ") + 2, 8));
        return lines;
    }

    // Waits until the lines from `from` end with `expected`; true when they
    // did, and then `from` is past them.
    bool EndsWith(size_t& from, const std::vector<std::string>& expected) const
    {
        const bool arrived = WaitUntil(
            [&] {
                const std::vector<std::string> lines = Lines(from);
                return lines.size() >= expected.size()
                    && std::equal(expected.begin(), expected.end(), lines.end() - long(expected.size()));
            },
            std::chrono::seconds(5));
        from += Lines(from).size();
        return arrived;
    }

private:
    ChildProcess fDump;
};

} // namespace canvas_play
