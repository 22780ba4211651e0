// The real program as native Wayland windows on a headless sway of the
// test's own, without Xwayland, and a private JACK server with
// jack_midi_dump as the synthesizer. sway has no input devices: the pointer
// is a virtual one that wayland_pointer_driver keeps for the whole test.
// Without Xwayland nothing outside the program's windows can be followed,
// so the canvas is the only source of cursor data, and the program must say
// so once and run on.

#include "tests/common/CanvasPlay.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/ChooseJackTestServer.h"
#include "tests/common/PrivateSettings.h"
#include "tests/common/SwayServer.h"
#include "tests/common/WaylandPointer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

using namespace std::chrono_literals;
using namespace canvas_play;

namespace {

constexpr const char* kMainTitle = "Zimbrel 2.01";
constexpr const char* kCanvasTitle = "Zimbrel Canvas \u2014 quarters.ppm";

// Where the test puts the windows.
constexpr int kMainLeft = 20;
constexpr int kMainTop = 20;
constexpr int kCanvasLeft = 700;
constexpr int kCanvasTop = 100;

class WaylandCanvasTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sway.IsRunning()) << sway.Error();
        const std::string missing = MissingTools({ "jack_connect", "grim" });
        ASSERT_TRUE(missing.empty()) << missing;
        const std::string jackError = jack->Start("zimbrel-canvas-wayland");
        ASSERT_TRUE(jackError.empty()) << jack->Kind() << ": " << jackError;
        const std::string dumpError = dump.Start();
        ASSERT_TRUE(dumpError.empty()) << dumpError;
        ASSERT_TRUE(pointer.Start(SwayServer::kWidth, SwayServer::kHeight, { { "WAYLAND_DISPLAY", sway.Socket() } }))
            << pointer.Error();
    }

    // What sway's tree says of the window titled `title`: from its title to
    // the next one, which holds its "shell"; empty while there is none.
    std::string WindowNode(const std::string& title)
    {
        const std::string tree = sway.Message({ "-t", "get_tree" }).output;
        const size_t at = tree.find("\"name\": \"" + title + "\"");
        if (at == std::string::npos)
            return "";
        const size_t next = tree.find("\"name\": ", at + 1);
        return tree.substr(at, next == std::string::npos ? std::string::npos : next - at);
    }

    // Waits for the window to show as a native Wayland (xdg-shell) window.
    bool ShowsAsWaylandWindow(const std::string& title)
    {
        return WaitUntil(
            [&] { return WindowNode(title).find("\"shell\": \"xdg_shell\"") != std::string::npos; }, 60s);
    }

    // The screen's pixel at (x, y) as 0xRRGGBB, or -1 when it cannot be read.
    long PixelAt(int x, int y)
    {
        const ToolResult grim = RunTool(
            { "grim", "-g", std::to_string(x) + "," + std::to_string(y) + " 1x1", "-t", "ppm", "-" },
            { { "WAYLAND_DISPLAY", sway.Socket() } });
        if (grim.status != 0 || grim.output.size() < 3)
            return -1;
        const auto* rgb = reinterpret_cast<const unsigned char*>(grim.output.data() + grim.output.size() - 3);
        return long(rgb[0]) << 16 | long(rgb[1]) << 8 | rgb[2];
    }

    void Place(const std::string& titleStart, int x, int y)
    {
        const ToolResult moved = sway.Message(
            { "[title=\"^" + titleStart + "\"]", "move", "position", std::to_string(x), std::to_string(y) });
        EXPECT_NE(moved.output.find("\"success\": true"), std::string::npos) << moved.output << moved.errors;
    }

    SwayServer sway;
    PrivateSettings settings;
    std::unique_ptr<JackTestServer> jack = ChooseJackTestServer();
    MidiDump dump;
    WaylandPointer pointer;
    ChildProcess program;
};

} // namespace

TEST_F(WaylandCanvasTest, NativeWindowsWithoutXwaylandPlayThePictureAndOfferIt)
{
    const std::string picture = settings.Root() + "/quarters.ppm";
    WritePicture(picture);
    ASSERT_TRUE(WriteMappingPreset(settings.PresetFolder()));
    ASSERT_TRUE(program.Start({ ZIMBREL_PROGRAM, "--canvas", picture, "--preset", "Canvas" },
        { { "WAYLAND_DISPLAY", sway.Socket() }, { "DISPLAY", "" }, { "QT_QPA_PLATFORM", "" },
            { "XDG_CONFIG_HOME", settings.Root() }, { "ZIMBREL_MIDI", "jack" } }))
        << program.Error();
    program.CloseInput();
    ASSERT_TRUE(ShowsAsWaylandWindow(kMainTitle)) << WindowNode(kMainTitle) << program.Errors();
    ASSERT_TRUE(ShowsAsWaylandWindow(kCanvasTitle)) << WindowNode(kCanvasTitle) << program.Errors();
    Place(kMainTitle, kMainLeft, kMainTop);
    Place("Zimbrel Canvas", kCanvasLeft, kCanvasTop);
    ASSERT_TRUE(WaitUntil(
        [] {
            return RunTool({ "jack_connect", "Zimbrel:Zimbrel", "midi-monitor:input" }).status == 0;
        },
        5s));

    ASSERT_TRUE(program.WaitForOutput("'blod'", 10s)) << program.Output() << program.Errors();

    // The picture shows, at its own size, where it was put.
    EXPECT_TRUE(WaitUntil([&] { return PixelAt(kCanvasLeft + 10, kCanvasTop + 10) == 0xff0000; }, 30s))
        << "the canvas did not show the picture";
    EXPECT_EQ(PixelAt(kCanvasLeft + 150, kCanvasTop + 70), 0x4080c0);
    EXPECT_EQ(PixelAt(kCanvasLeft + kPictureWidth - 1, kCanvasTop + kPictureHeight - 1), 0x4080c0);
    EXPECT_NE(PixelAt(kCanvasLeft + kPictureWidth, kCanvasTop + kPictureHeight - 1), 0x4080c0);
    EXPECT_NE(PixelAt(kCanvasLeft + kPictureWidth - 1, kCanvasTop + kPictureHeight), 0x4080c0);
    // Both windows, for a person to look at, when ZIMBREL_TEST_SCREENSHOTS names a folder.
    if (const char* folder = std::getenv("ZIMBREL_TEST_SCREENSHOTS"))
        RunTool({ "grim", "-t", "ppm", std::string(folder) + "/sway.ppm" }, { { "WAYLAND_DISPLAY", sway.Socket() } });

    // It plays where the pointer is.
    size_t seen = 0;
    ASSERT_TRUE(pointer.MoveTo(kCanvasLeft + 10, kCanvasTop + 10));
    EXPECT_TRUE(dump.EndsWith(seen, CanvasChanges(10, 10, kPictureWidth, kPictureHeight, 0xff0000)))
        << dump.Output();
    ASSERT_TRUE(pointer.MoveTo(kCanvasLeft + 150, kCanvasTop + 70));
    EXPECT_TRUE(dump.EndsWith(seen, CanvasChanges(150, 70, kPictureWidth, kPictureHeight, 0x4080c0)))
        << dump.Output();
    ASSERT_TRUE(pointer.MoveTo(kCanvasLeft + kPictureWidth - 1, kCanvasTop + kPictureHeight - 1));
    EXPECT_TRUE(dump.EndsWith(
        seen, { Change(7, 127), Change(8, 127), Change(20, 31), Change(21, 63), Change(22, 95) }))
        << dump.Output();

    // Outside the windows nothing is followed: what comes after going out
    // and back in is the canvas's alone. The motion that enters the picture
    // is played when the display reports it, and a consumer that misses a
    // cycle under load can lose part of it (seen once: its colours); the
    // next motion is played whole.
    const size_t beforeOutside = seen;
    ASSERT_TRUE(pointer.MoveTo(1100, 600));
    ASSERT_TRUE(pointer.MoveTo(kCanvasLeft + 60, kCanvasTop + 20));
    ASSERT_TRUE(pointer.MoveTo(kCanvasLeft + 70, kCanvasTop + 20));
    const std::vector<std::string> direct = CanvasChanges(70, 20, kPictureWidth, kPictureHeight, 0xff0000);
    const std::vector<std::string> entered = CanvasChanges(60, 20, kPictureWidth, kPictureHeight, 0xff0000);
    EXPECT_TRUE(WaitUntil(
        [&] {
            const std::vector<std::string> lines = dump.Lines(beforeOutside);
            if (lines.size() < direct.size() || !std::equal(direct.rbegin(), direct.rend(), lines.rbegin()))
                return false;
            // Before it, only part of the entering motion, in its order.
            auto next = entered.begin();
            for (auto line = lines.begin(); line != lines.end() - long(direct.size()); ++line) {
                next = std::find(next, entered.end(), *line);
                if (next == entered.end())
                    return false;
                ++next;
            }
            return true;
        },
        5s))
        << dump.Output();

    // The line under the panel says why and opens a picture: the file
    // dialog, a Wayland window of its own.
    ASSERT_TRUE(pointer.ClickAt(kMainLeft + 100, kMainTop + 332));
    EXPECT_TRUE(ShowsAsWaylandWindow("Open Picture")) << program.Errors();

    EXPECT_EQ(
        Occurrences(program.Errors(), "zimbrel: Wayland session without Xwayland (DISPLAY is not set)"), 1u)
        << program.Errors();
    EXPECT_EQ(program.Errors().find("cannot show a window"), std::string::npos) << program.Errors();
    kill(program.Pid(), SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
}
