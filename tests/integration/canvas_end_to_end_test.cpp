// The canvas of the real program: a private X server and a private JACK
// server (jackd with the dummy driver) with jack_midi_dump as the
// synthesizer. The program starts with `--canvas` on a generated picture of
// four coloured quarters; the pointer moves with XTest, which the screen
// relay hears as well, so every value the relay would send differs from the
// canvas's. The pen's case runs on Xorg, whose inputtest driver gives a
// stylus and an eraser with pressure.

#include "capture/CanvasState.h"
#include "capture/VCanvas.h"
#include "tests/common/CanvasPlay.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/ChooseJackTestServer.h"
#include "tests/common/InputTestDevice.h"
#include "tests/common/PrivateSettings.h"
#include "tests/common/XorgServer.h"
#include "tests/common/XvfbServer.h"
#include "tests/integration/relay_pointer_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include <X11/keysym.h>

using testing::HasSubstr;
using testing::Not;
using namespace std::chrono_literals;
using namespace canvas_play;

namespace {

// The program on an X server of the test's own (XvfbServer or XorgServer).
template <typename XServer> class CanvasSession : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(x.IsRunning()) << x.Error();
        const std::string missing = MissingTools({"xdotool", "jack_connect"});
        ASSERT_TRUE(missing.empty()) << missing;
        const std::string jackError
            = jack->Start(std::string("zimbrel-") + testing::UnitTest::GetInstance()->current_test_suite()->name());
        ASSERT_TRUE(jackError.empty()) << jack->Kind() << ": " << jackError;
        const std::string dumpError = dump.Start();
        ASSERT_TRUE(dumpError.empty()) << dumpError;
        ASSERT_TRUE(pointer.IsReady()) << "no XTest on " << x.Name();
    }

    void StartProgram(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> argv{ZIMBREL_PROGRAM};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        ASSERT_TRUE(program.Start(argv, {{"DISPLAY", x.Name()}, {"WAYLAND_DISPLAY", ""},
                                         {"XDG_CONFIG_HOME", settings.Root()}, {"ZIMBREL_MIDI", "jack"}}))
            << program.Error();
        program.CloseInput();
    }

    void Quit()
    {
        kill(program.Pid(), SIGTERM);
        ASSERT_EQ(program.Wait(10s), 0) << program.Errors();
    }

    // Links the program to the dump and loads the preset "Canvas" from the
    // Presets pop-up at the top left of the main window's panel.
    void LoadPreset(const std::array<int, 5>& main)
    {
        ASSERT_TRUE(WaitUntil(
            [] { return RunTool({"jack_connect", "Zimbrel:Zimbrel", "midi-monitor:input"}).status == 0; }, 5s));
        pointer.MoveTo(main[1] + 80, main[2] + main[4] - 310 + 40);
        pointer.Press(1);
        pointer.Release(1);
        Xdotool({"key", "--delay", "40", "Down", "Return"});
        ASSERT_TRUE(program.WaitForOutput("'blod'", 5s)) << program.Output() << program.Errors();
    }

    // The most memory the program has held, in MB.
    int PeakMegabytes()
    {
        std::ifstream status("/proc/" + std::to_string(program.Pid()) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmHWM:", 0) == 0)
                return std::atoi(line.c_str() + 6) / 1024;
        return -1;
    }

    // Whether a window whose name matches `pattern` is on screen.
    bool Visible(const std::string& pattern)
    {
        return RunTool({"xdotool", "search", "--onlyvisible", "--name", pattern}, {{"DISPLAY", x.Name()}}).status == 0;
    }

    std::string Xdotool(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> argv{"xdotool"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const ToolResult xdotool = RunTool(argv, {{"DISPLAY", x.Name()}});
        EXPECT_EQ(xdotool.status, 0) << "xdotool " << arguments[0] << " failed: " << xdotool.errors;
        return xdotool.output;
    }

    // The window whose whole name is `title` once it shows, and its place.
    std::array<int, 5> WaitForWindow(const std::string& title)
    {
        int id = 0;
        std::istringstream ids(Xdotool({"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"}));
        ids >> id;
        return Geometry(id);
    }

    // The window `id` and its place: id, x, y, width and height.
    std::array<int, 5> Geometry(int id)
    {
        std::array<int, 5> found{id};
        std::istringstream shell(Xdotool({"getwindowgeometry", "--shell", std::to_string(id)}));
        for (std::string line; std::getline(shell, line);) {
            const int value = std::atoi(line.c_str() + line.find('=') + 1);
            for (const auto& [key, slot] : {std::pair{"X=", 1}, {"Y=", 2}, {"WIDTH=", 3}, {"HEIGHT=", 4}})
                if (line.rfind(key, 0) == 0)
                    found[size_t(slot)] = value;
        }
        return found;
    }

    XServer x;
    PrivateSettings settings;
    std::unique_ptr<JackTestServer> jack = ChooseJackTestServer();
    MidiDump dump;
    ChildProcess program;
    relay_test::PointerDriver pointer{x.Name()};
};

using CanvasTest = CanvasSession<XvfbServer>;
using DamagedCanvasTest = CanvasSession<XvfbServer>;
// With the X server's pen, a stylus and an eraser of their own.
class PenTest : public CanvasSession<XorgServer> {
protected:
    // Starts the program with the quarters picture on the canvas and loads
    // `pen`, with Vertical and the colours off, as its preset.
    void StartWithPen(PresetMapping pen)
    {
        const std::string picture = settings.Root() + "/quarters.ppm";
        WritePicture(picture);
        pen.y = pen.red = pen.green = pen.blue = kOff;
        ASSERT_TRUE(WriteMappingPreset(settings.PresetFolder(), pen));
        ASSERT_TRUE(stylus.IsReady()) << stylus.Error();
        ASSERT_TRUE(eraser.IsReady()) << eraser.Error();
        StartProgram({"--canvas", picture});
        main = WaitForWindow("Zimbrel 2.01");
        canvas = WaitForWindow("Zimbrel Canvas \u2014 quarters.ppm");
        LoadPreset(main);
    }

    InputTestDevice stylus{x.StylusSocket(), x.Width(), x.Height()};
    InputTestDevice eraser{x.EraserSocket(), x.Width(), x.Height()};
    std::array<int, 5> main{};
    std::array<int, 5> canvas{};
};

} // namespace

TEST_F(CanvasTest, PicturePlaysItsPositionsAndColoursAloneAndNothingOverTheBands)
{
    const std::string picture = settings.Root() + "/quarters.ppm";
    WritePicture(picture);
    ASSERT_TRUE(WriteMappingPreset(settings.PresetFolder()));
    StartProgram({"--canvas", picture});
    const auto main = WaitForWindow("Zimbrel 2.01");
    const auto canvas = WaitForWindow("Zimbrel Canvas \u2014 quarters.ppm");
    EXPECT_EQ(canvas[3], kPictureWidth) << "a picture that fits opens at its own size";
    EXPECT_EQ(canvas[4], kPictureHeight);
    EXPECT_TRUE(canvas[1] >= main[1] + main[3] || canvas[2] >= main[2] + main[4])
        << "without a window manager the canvas opened over the main window";
    LoadPreset(main);

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

    // F11 over the main window (its Full Screen item) fills the screen with
    // the canvas, even without a window manager: the picture, 5.12 times
    // its size, plays between bands above and below. Escape gives the
    // canvas its frame back.
    pointer.MoveTo(main[1] + 200, main[2] + main[4] - 20);
    pointer.TypeKey(XK_F11);
    const auto filling = [&](int id, const std::array<int, 4>& frame) {
        return WaitUntil([&] { return std::equal(frame.begin(), frame.end(), Geometry(id).begin() + 1); }, 5s);
    };
    EXPECT_TRUE(filling(canvas[0], {0, 0, 1024, 768})) << "not full screen";
    pointer.MoveTo(512, 128 + 256);
    EXPECT_TRUE(dump.EndsWith(seen, CanvasChanges(512, 256, 1024, 512, 0x4080c0))) << dump.Output();
    pointer.TypeKey(XK_Escape);
    EXPECT_TRUE(filling(canvas[0], {left, top, 2 * kPictureWidth, kPictureHeight})) << "still full screen";

    // A quit keeps the picture, the size and the place for the next start,
    // and full screen too, from which Escape gives back that frame.
    pointer.MoveTo(main[1] + 200, main[2] + main[4] - 20);
    pointer.TypeKey(XK_F11);
    EXPECT_TRUE(filling(canvas[0], {0, 0, 1024, 768})) << "not full screen";
    Quit();
    StartProgram({});
    const auto again = WaitForWindow("Zimbrel Canvas — quarters.ppm");
    EXPECT_TRUE(filling(again[0], {0, 0, 1024, 768})) << "full screen was not kept";
    pointer.TypeKey(XK_Escape);
    EXPECT_TRUE(filling(again[0], {left, top, 2 * kPictureWidth, kPictureHeight}))
        << "the frame from before full screen was not kept";

    // A canvas closed with its close box stays closed at the next start.
    pointer.Close(unsigned(again[0]));
    ASSERT_TRUE(WaitUntil([&] { return !Visible("^Zimbrel Canvas"); }, 5s));
    Quit();
    StartProgram({});
    WaitForWindow("Zimbrel 2.01");
    EXPECT_FALSE(WaitUntil([&] { return Visible("^Zimbrel Canvas"); }, 2s)) << "the closed canvas came back";

    // A file that is no picture: the canvas shows with the reason written
    // in it, which standard error gives too.
    Quit();
    const std::string damaged = settings.Root() + "/damaged.png";
    std::ofstream(damaged) << "not a picture";
    StartProgram({"--canvas", damaged});
    EXPECT_TRUE(program.WaitForError("cannot open the picture " + damaged + ": ", 5s)) << program.Errors();
    const auto failed = WaitForWindow("Zimbrel Canvas");
    EXPECT_TRUE(WaitUntil([&] { return pointer.LightPixels(failed[1], failed[2], unsigned(failed[3]), 40) > 50; }, 5s))
        << "no reason written in the window";

    Quit();
}

TEST_F(DamagedCanvasTest, KeptStateIsFittedToTheScreenSaidOnceAndNoFileHoldsTheQuit)
{
    // A frame of 1e9 x 1e9 kept with a FIFO as the picture: the canvas shows
    // as large as the screen, says both, and the close box quits at once.
    const std::string fifo = settings.Root() + "/fifo.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto keep = [](const CanvasState& state) {
        const std::vector<char> bytes = FlattenCanvasState(state);
        std::ofstream(VCanvas::SettingsPath(), std::ios::binary).write(bytes.data(), long(bytes.size()));
    };
    keep({fifo, BRect(0, 0, 1e9f, 1e9f), false, true});
    StartProgram({});
    EXPECT_TRUE(program.WaitForError("kept a frame of 1e+09 x 1e+09 at (0, 0), but it was larger than the screen: "
                                     "the canvas takes 1024 x 768 at (0, 0)", 5s)) << program.Errors();
    EXPECT_TRUE(program.WaitForError("cannot open the picture " + fifo + ": it is a FIFO, not a file", 5s))
        << program.Errors();
    auto main = WaitForWindow("Zimbrel 2.01");
    auto canvas = WaitForWindow("Zimbrel Canvas");
    EXPECT_LE(canvas[3], 1024);
    EXPECT_LE(canvas[4], 768);
    EXPECT_LT(PeakMegabytes(), 300);
    pointer.Close(unsigned(main[0]));
    EXPECT_EQ(program.Wait(10s), 0) << "the close box did not quit: " << program.Errors();

    // What was repaired was written back: the next start says nothing of it.
    // A folder or an unreadable file given as the picture says so.
    const std::string folder = settings.Root() + "/folder.png";
    std::filesystem::create_directory(folder);
    StartProgram({"--canvas", folder});
    EXPECT_TRUE(program.WaitForError("cannot open the picture " + folder + ": it is a folder, not a file", 5s))
        << program.Errors();
    WaitForWindow("Zimbrel Canvas");
    EXPECT_THAT(program.Errors(), Not(HasSubstr("kept a frame"))) << "the damaged frame was kept";
    Quit();

    // A place that shows no part of the screen is brought onto it; a name
    // that is no UTF-8 opens as well as any.
    const std::string latin1 = settings.Root() + "/caf\xe9.ppm";
    WritePicture(latin1);
    keep({"", BRect(100000, 100000, 100199, 100099), false, false});
    StartProgram({"--canvas", latin1});
    EXPECT_TRUE(program.WaitForError("but it showed no part of the screen: the canvas takes 200 x 100 at (824, 668)",
        5s)) << program.Errors();
    main = WaitForWindow("Zimbrel 2.01");
    canvas = WaitForWindow("Zimbrel Canvas \u2014 caf.*\\.ppm");
    EXPECT_EQ(canvas[1], 824);
    EXPECT_EQ(canvas[2], 668);
    EXPECT_THAT(program.Errors(), Not(HasSubstr("cannot open")));
    Quit();
}

TEST_F(PenTest, PressureOfStylusAndEraserPlaysOverTheCanvasAndOverTheScreen)
{
    // Horizontal on 7 over the full range, Pressure on 11 from 20 to 100.
    PresetMapping pen = CanvasMapping();
    pen.pressure = {11, 100, 20, true};
    ASSERT_NO_FATAL_FAILURE(StartWithPen(pen));
    const int left = canvas[1];
    const int top = canvas[2];
    const auto pressure = [](double level) { return Change(11, Level(int(level * 1000), 1000, 20, 100)); };

    // Over the picture the canvas plays the pen through Qt's tablet events.
    size_t seen = dump.Lines(0).size();
    ASSERT_TRUE(stylus.Proximity(true, left + 10, top + 10, 0.0));
    ASSERT_TRUE(stylus.MoveTo(left + 10, top + 10, 0.5));
    EXPECT_TRUE(dump.EndsWith(seen, {Change(7, Level(10, kPictureWidth - 1)), pressure(0.5)})) << dump.Output();
    const size_t beforeHarder = seen;
    ASSERT_TRUE(stylus.MoveTo(left + 150, top + 70, 0.8));
    EXPECT_TRUE(dump.EndsWith(seen, {Change(7, Level(150, kPictureWidth - 1)), pressure(0.8)})) << dump.Output();
    EXPECT_EQ(seen - beforeHarder, 2u) << "one motion was sent more than once:\n" << dump.Output();
    ASSERT_TRUE(stylus.Proximity(false, left + 150, top + 70, 0.0));
    ASSERT_TRUE(eraser.Proximity(true, left + 50, top + 50, 0.0));
    ASSERT_TRUE(eraser.MoveTo(left + 50, top + 50, 0.25));
    EXPECT_TRUE(dump.EndsWith(seen, {Change(7, Level(50, kPictureWidth - 1)), pressure(0.25)})) << dump.Output();
    // A mouse over the picture presses with nothing.
    pointer.MoveTo(left + 20, top + 20);
    EXPECT_TRUE(dump.EndsWith(seen, {Change(7, Level(20, kPictureWidth - 1)), pressure(0.0)})) << dump.Output();

    // Beside both windows the relay plays the pen through XInput 2.
    ASSERT_TRUE(eraser.MoveTo(900, 700, 1.0));
    EXPECT_TRUE(dump.EndsWith(seen, {Change(7, Level(900, x.Width() - 1)), pressure(1.0)})) << dump.Output();
    ASSERT_TRUE(eraser.Proximity(false, 900, 700, 0.0));
    ASSERT_TRUE(stylus.Proximity(true, 800, 600, 0.0));
    const size_t beforeStylus = seen;
    ASSERT_TRUE(stylus.MoveTo(800, 600, 0.3));
    EXPECT_TRUE(dump.EndsWith(seen, {Change(7, Level(800, x.Width() - 1)), pressure(0.3)})) << dump.Output();
    EXPECT_EQ(seen - beforeStylus, 2u) << "one motion was sent more than once:\n" << dump.Output();

    // Sending > Only Pens and Erasers Play: the mouse is silent, the pen
    // plays on (the X server hands the relay both in the order they came).
    pointer.MoveTo(main[1] + 15, main[2] + 8);
    pointer.Press(1);
    pointer.Release(1);
    Xdotool({"key", "--delay", "40", "Right", "Right", "Right", "Right", "Down", "Down", "Down", "Down", "Down", "Return"});
    ASSERT_TRUE(program.WaitForError("zimbrel: only pens and erasers play\n", 5s)) << program.Errors();
    seen = dump.Lines(0).size();
    const size_t beforeMouse = seen;
    pointer.MoveTo(850, 650);
    ASSERT_TRUE(stylus.MoveTo(800, 600, 0.6));
    EXPECT_TRUE(dump.EndsWith(seen, {Change(7, Level(800, x.Width() - 1)), pressure(0.6)})) << dump.Output();
    EXPECT_EQ(seen - beforeMouse, 2u) << "the mouse played:\n" << dump.Output();
    Quit();
}

// A preset that lets only the stylus play, by its device's name: the eraser
// and the mouse are silent over the screen and over the canvas alike.
TEST_F(PenTest, APresetKeepsTheOneDeviceThatPlays)
{
    PresetMapping pen = CanvasMapping();
    pen.players = PlayerChoice { Players::NamedDevice, XorgServer::kStylus };
    ASSERT_NO_FATAL_FAILURE(StartWithPen(pen));
    ASSERT_TRUE(program.WaitForError("zimbrel: only \"Zimbrel Test Pen stylus\" plays\n", 5s)) << program.Errors();

    // The others first, then the stylus: only the stylus's one change comes.
    size_t seen = dump.Lines(0).size();
    size_t before = seen;
    ASSERT_TRUE(eraser.Proximity(true, 900, 700, 0.0));
    ASSERT_TRUE(eraser.MoveTo(900, 700, 0.5));
    pointer.MoveTo(850, 650);
    ASSERT_TRUE(stylus.Proximity(true, 800, 600, 0.0));
    ASSERT_TRUE(stylus.MoveTo(800, 600, 0.3));
    EXPECT_TRUE(dump.EndsWith(seen, {Change(7, Level(800, x.Width() - 1))})) << dump.Output();
    EXPECT_EQ(seen - before, 1u) << "another device played over the screen:\n" << dump.Output();

    const int left = canvas[1];
    const int top = canvas[2];
    before = seen;
    ASSERT_TRUE(eraser.MoveTo(left + 50, top + 50, 0.5));
    pointer.MoveTo(left + 20, top + 20);
    ASSERT_TRUE(stylus.MoveTo(left + 150, top + 70, 0.8));
    EXPECT_TRUE(dump.EndsWith(seen, {Change(7, Level(150, kPictureWidth - 1))})) << dump.Output();
    EXPECT_EQ(seen - before, 1u) << "another device played over the canvas:\n" << dump.Output();
    Quit();
}
