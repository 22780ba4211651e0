// The canvas of the real program: a private Xvfb and a private JACK server
// (jackd with the dummy driver) with jack_midi_dump as the synthesizer. The
// program starts with `--canvas` on a generated picture of four coloured
// quarters; the pointer moves with XTest, which the screen relay hears as
// well, so every value the relay would send differs from the canvas's.

#include "tests/common/CanvasPlay.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/ChooseJackTestServer.h"
#include "tests/common/PrivateSettings.h"
#include "tests/common/XvfbServer.h"
#include "tests/integration/relay_pointer_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <fstream>
#include <sstream>

using testing::ElementsAre;
using testing::HasSubstr;
using namespace std::chrono_literals;
using namespace canvas_play;

namespace {

class CanvasTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(xvfb.IsRunning()) << xvfb.Error();
        const std::string missing = MissingTools({"xdotool", "jack_connect"});
        ASSERT_TRUE(missing.empty()) << "missing tool(s): " << missing << " (Debian packages xdotool, jackd2)";
        const std::string jackError = jack->Start("zimbrel-canvas");
        ASSERT_TRUE(jackError.empty()) << jack->Kind() << ": " << jackError;
        const std::string dumpError = dump.Start();
        ASSERT_TRUE(dumpError.empty()) << dumpError;
        ASSERT_TRUE(pointer.IsReady()) << "no XTest on " << xvfb.Name();
    }

    std::string Xdotool(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> argv{"xdotool"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const ToolResult xdotool = RunTool(argv, {{"DISPLAY", xvfb.Name()}});
        EXPECT_EQ(xdotool.status, 0) << "xdotool " << arguments[0] << " failed: " << xdotool.errors;
        return xdotool.output;
    }

    // The window whose whole name is `title` once it shows, and its place.
    std::array<int, 5> WaitForWindow(const std::string& title)
    {
        std::array<int, 5> found{};
        std::istringstream ids(Xdotool({"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"}));
        ids >> found[0];
        std::istringstream shell(Xdotool({"getwindowgeometry", "--shell", std::to_string(found[0])}));
        for (std::string line; std::getline(shell, line);) {
            const int value = std::atoi(line.c_str() + line.find('=') + 1);
            for (const auto& [key, slot] : {std::pair{"X=", 1}, {"Y=", 2}, {"WIDTH=", 3}, {"HEIGHT=", 4}})
                if (line.rfind(key, 0) == 0)
                    found[size_t(slot)] = value;
        }
        return found;
    }

    XvfbServer xvfb;
    PrivateSettings settings;
    std::unique_ptr<JackTestServer> jack = ChooseJackTestServer();
    MidiDump dump;
    ChildProcess program;
    relay_test::PointerDriver pointer{xvfb.Name()};
};

} // namespace

TEST_F(CanvasTest, PicturePlaysItsPositionsAndColoursAloneAndNothingOverTheBands)
{
    const std::string picture = settings.Root() + "/quarters.ppm";
    WritePicture(picture);
    ASSERT_TRUE(WriteMappingPreset(settings.PresetFolder()));
    ASSERT_TRUE(program.Start({ZIMBREL_PROGRAM, "--canvas", picture},
        {{"DISPLAY", xvfb.Name()}, {"WAYLAND_DISPLAY", ""}, {"XDG_CONFIG_HOME", settings.Root()},
            {"ZIMBREL_MIDI", "jack"}}))
        << program.Error();
    program.CloseInput();
    const auto main = WaitForWindow("Zimbrel 2.01");
    const auto canvas = WaitForWindow("Zimbrel Canvas \u2014 quarters.ppm");
    EXPECT_EQ(canvas[3], kPictureWidth) << "a picture that fits opens at its own size";
    EXPECT_EQ(canvas[4], kPictureHeight);
    ASSERT_TRUE(WaitUntil([] { return RunTool({"jack_connect", "Zimbrel:Zimbrel", "midi-monitor:input"}).status == 0; }, 5s));

    // Presets > Canvas, the pop-up at the panel's top left.
    pointer.MoveTo(main[1] + 80, main[2] + main[4] - 310 + 40);
    pointer.Press(1);
    pointer.Release(1);
    Xdotool({"key", "--delay", "40", "Down", "Return"});
    ASSERT_TRUE(program.WaitForOutput("'blod'", 5s)) << program.Output() << program.Errors();

    // Beside both windows the relay plays the screen.
    size_t seen = 0;
    pointer.MoveTo(900, 700);
    const std::vector<std::string> blackScreenAt900x700
        = {Change(7, 111), Change(8, 115), Change(20, 0), Change(21, 0), Change(22, 0)};
    EXPECT_TRUE(dump.EndsWith(seen, blackScreenAt900x700)) << dump.Output();

    // Over the picture, the canvas alone: the relay would send 33 and 31 at
    // the second place, and 41 and 41 at the third.
    const int left = canvas[1];
    const int top = canvas[2];
    pointer.MoveTo(left + 10, top + 10);
    EXPECT_TRUE(dump.EndsWith(seen, CanvasChanges(10, 10, kPictureWidth, kPictureHeight, 0xff0000)))
        << dump.Output();
    pointer.MoveTo(left + 150, top + 70);
    EXPECT_TRUE(dump.EndsWith(seen, CanvasChanges(150, 70, kPictureWidth, kPictureHeight, 0x4080c0)))
        << dump.Output();
    const size_t beforeEdge = seen;
    pointer.MoveTo(left + kPictureWidth - 1, top + kPictureHeight - 1);
    EXPECT_TRUE(dump.EndsWith(seen, {Change(7, 127), Change(8, 127), Change(20, 31), Change(21, 63), Change(22, 95)}))
        << dump.Output();
    EXPECT_EQ(seen - beforeEdge, 5u) << "one motion was sent more than once:\n" << dump.Output();

    // Twice as wide, the window shows the picture centred between two bands
    // of half its width each. Over a band nothing is sent, not even by the
    // relay; the motion after it reaches the picture's top left corner.
    Xdotool({"windowsize", "--sync", std::to_string(canvas[0]), std::to_string(2 * kPictureWidth),
        std::to_string(kPictureHeight)});
    pointer.MoveTo(left + 50, top + 50);
    const size_t beforeBand = seen;
    pointer.MoveTo(left + kPictureWidth / 2, top);
    EXPECT_TRUE(dump.EndsWith(seen, CanvasChanges(0, 0, kPictureWidth, kPictureHeight, 0xff0000))) << dump.Output();
    EXPECT_EQ(seen - beforeBand, 5u) << "something was sent over the band:\n" << dump.Output();

    // Out of the canvas, the relay plays again.
    pointer.MoveTo(900, 700);
    EXPECT_TRUE(dump.EndsWith(seen, blackScreenAt900x700)) << dump.Output();

    // A quit keeps the picture, the size and the place for the next start.
    kill(program.Pid(), SIGTERM);
    ASSERT_EQ(program.Wait(10s), 0) << program.Errors();
    ASSERT_TRUE(program.Start({ZIMBREL_PROGRAM},
        {{"DISPLAY", xvfb.Name()}, {"WAYLAND_DISPLAY", ""}, {"XDG_CONFIG_HOME", settings.Root()},
            {"ZIMBREL_MIDI", "jack"}}))
        << program.Error();
    program.CloseInput();
    const auto again = WaitForWindow("Zimbrel Canvas — quarters.ppm");
    EXPECT_THAT(std::vector<int>(again.begin() + 1, again.end()),
        ElementsAre(left, top, 2 * kPictureWidth, kPictureHeight));

    // A file that is no picture: the canvas shows with the reason, which
    // standard error gives too.
    kill(program.Pid(), SIGTERM);
    ASSERT_EQ(program.Wait(10s), 0) << program.Errors();
    const std::string damaged = settings.Root() + "/damaged.png";
    std::ofstream(damaged) << "not a picture";
    ASSERT_TRUE(program.Start({ZIMBREL_PROGRAM, "--canvas", damaged},
        {{"DISPLAY", xvfb.Name()}, {"WAYLAND_DISPLAY", ""}, {"XDG_CONFIG_HOME", settings.Root()},
            {"ZIMBREL_MIDI", "jack"}}))
        << program.Error();
    program.CloseInput();
    EXPECT_TRUE(program.WaitForError("cannot open the picture " + damaged + ": ", 5s)) << program.Errors();
    EXPECT_NE(WaitForWindow("Zimbrel Canvas")[0], 0);

    kill(program.Pid(), SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
}
