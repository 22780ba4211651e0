// The zimbrel program from the outside: a private Xvfb and a private JACK
// server (jackd with the dummy driver, or PipeWire in the run under pw-jack)
// with jack_midi_dump as the synthesizer, menus and the panel
// driven with X input (xdotool clicks and keys), the pointer moved with
// relative XTest motion (which, unlike absolute warps, makes raw events).

#include "tests/common/ChildProcess.h"
#include "tests/common/ChooseJackTestServer.h"
#include "tests/common/FullRangePreset.h"
#include "tests/common/NsmServer.h"
#include "tests/common/PrivateSettings.h"
#include "tests/common/XvfbServer.h"
#include "tests/integration/relay_pointer_driver.h"

#include "midi/Footswitch.h"
#include "platform/midi/jack/JackMidiService.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>

// Last: Xlib's macros would clash with the test framework's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

using testing::HasSubstr;
using namespace std::chrono_literals;

namespace {

// The program's window, found by title, and where things are in it.
struct WindowGeometry {
    unsigned long id = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class ProgramTest : public testing::Test {
protected:
    explicit ProgramTest(const std::string& screen = "1024x768x24") : xvfb(screen) {}

    void SetUp() override
    {
        ASSERT_TRUE(xvfb.IsRunning()) << xvfb.Error();
        const std::string missing = MissingTools({"xdotool", "jack_midi_dump", "jack_lsp", "stdbuf"});
        ASSERT_TRUE(missing.empty()) << missing;
    }

    // Runs xdotool with `arguments` against the private display; its output.
    std::string Xdotool(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> argv{"xdotool"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const ToolResult xdotool = RunTool(argv, {{"DISPLAY", xvfb.Name()}});
        EXPECT_EQ(xdotool.status, 0) << "xdotool failed: " << xdotool.errors;
        return xdotool.output;
    }

    void StartProgram(const std::map<std::string, std::string>& environment,
                      const std::vector<std::string>& arguments = {})
    {
        LaunchProgram(environment, arguments);
        FindWindow();
    }

    void LaunchProgram(const std::map<std::string, std::string>& environment,
                       const std::vector<std::string>& arguments = {})
    {
        std::map<std::string, std::string> all = environment;
        all["DISPLAY"] = xvfb.Name();
        all["XDG_CONFIG_HOME"] = settings.Root();
        std::vector<std::string> argv{ZIMBREL_PROGRAM};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        ASSERT_TRUE(program.Start(argv, all)) << program.Error();
        program.CloseInput();
    }

    // Waits for the main window and reads where it is.
    void FindWindow()
    {
        const std::string found = Xdotool({"search", "--sync", "--onlyvisible", "--name", "^Zimbrel 2.01$"});
        std::istringstream ids(found);
        ASSERT_TRUE(ids >> window.id) << "the window never showed: " << program.Errors();
        std::istringstream shell(Xdotool({"getwindowgeometry", "--shell", std::to_string(window.id)}));
        for (std::string line; std::getline(shell, line);) {
            const auto equals = line.find('=');
            const std::string key = line.substr(0, equals);
            const int value = std::atoi(line.c_str() + equals + 1);
            if (key == "X") window.x = value;
            if (key == "Y") window.y = value;
            if (key == "WIDTH") window.width = value;
            if (key == "HEIGHT") window.height = value;
        }
        ASSERT_GT(window.width, 0);
    }

    // Screen position of a point of the mapping view. The view starts 20
    // units below the window's top, plus however much taller the real menu
    // bar is than that (the window grows by the same amount).
    std::pair<int, int> ViewPoint(int x, int y) const
    {
        const int menuBarSurplus = window.height - 310;
        return {window.x + x, window.y + 20 + menuBarSurplus + y};
    }

    // The X server hands the click and the keys typed after it to the
    // program in order, so nothing needs to wait between them.
    void ClickAt(std::pair<int, int> where)
    {
        Xdotool({"mousemove", std::to_string(where.first), std::to_string(where.second), "click", "1"});
    }

    // Opens the menu that is `rightOfFile` menus right of "File" and types
    // `keys` into it.
    void UseMenuBar(int rightOfFile, const std::vector<std::string>& keys)
    {
        ClickAt({window.x + 15, window.y + 8});
        std::vector<std::string> arguments{"key", "--delay", "60"};
        for (int i = 0; i < rightOfFile; ++i)
            arguments.push_back("Right");
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        Xdotool(arguments);
    }

    // Opens the pop-up of the panel field whose pop-up button lies at view
    // point (x, y), types `keys` into it and waits until the program has
    // taken the pick, which it tells by printing `taken` once more.
    void UsePopUp(int x, int y, const std::vector<std::string>& keys, const std::string& taken = "configed\n")
    {
        const size_t before = Occurrences(program.Output(), taken);
        ClickAt(ViewPoint(x, y));
        std::vector<std::string> arguments{"key", "--delay", "40"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        Xdotool(arguments);
        EXPECT_TRUE(WaitUntil([&] { return Occurrences(program.Output(), taken) > before; }, 5s))
            << "the pick in the pop-up at view point " << x << "," << y << " never printed " << taken;
    }

    // Moves the pointer to the left or right edge of the screen.
    void MovePointerToEdge(bool right)
    {
        Xdotool({"mousemove_relative", "--", right ? "3000" : "-3000", "0"});
    }

    // Whether the mapping view's column `x`, from `top` to `bottom`, shows
    // only the panel's grey: nothing drawn there.
    bool PanelGreyAt(int x, int top, int bottom)
    {
        ::Display* display = XOpenDisplay(xvfb.Name().c_str());
        if (display == nullptr)
            return false;
        const int viewTop = 20 + window.height - 310;
        XImage* image
            = XGetImage(display, window.id, x, viewTop + top, 1, unsigned(bottom - top), AllPlanes, ZPixmap);
        bool grey = image != nullptr;
        for (int y = 0; grey && y < bottom - top; ++y)
            grey = XGetPixel(image, 0, y) == 0x969696;
        if (image != nullptr)
            XDestroyImage(image);
        XCloseDisplay(display);
        return grey;
    }

    // Asks the window to close, as a window manager's close button does.
    void CloseWindow() { relay_test::PointerDriver(xvfb.Name()).Close(window.id); }

    // Starts a private JACK server named `name`, kept until the test ends,
    // with jack_midi_dump as `dump` listening on its "midi-monitor:input".
    void StartJackWithDump(const std::string& name, ChildProcess& dump)
    {
        jackServer = ChooseJackTestServer();
        const std::string jackError = jackServer->Start(name);
        ASSERT_TRUE(jackError.empty()) << jackServer->Kind() << ": " << jackError;
        ASSERT_TRUE(dump.Start({"setpriv", "--pdeathsig", "TERM", "stdbuf", "-oL", "jack_midi_dump"}));
        ASSERT_TRUE(WaitUntil([] { return RunTool({"jack_lsp", "midi-monitor:input"}).status == 0; }, 10s));
    }

    PrivateSettings settings;
    XvfbServer xvfb;
    ChildProcess program;
    WindowGeometry window;
    std::unique_ptr<JackTestServer> jackServer;
};

// Waits until `dump` printed a line holding `text` after `from` lines.
bool DumpShows(ChildProcess& dump, const std::string& text, size_t from, size_t* at = nullptr,
    std::chrono::milliseconds patience = 5s)
{
    return WaitUntil(
        [&] {
            std::istringstream lines(dump.Output());
            size_t index = 0;
            for (std::string line; std::getline(lines, line); ++index) {
                if (index >= from && line.find(text) != std::string::npos) {
                    if (at != nullptr)
                        *at = index + 1;
                    return true;
                }
            }
            return false;
        },
        patience);
}

// The messages `dump` printed after `from` lines, as their bytes in hex
// ("b1 07 7f", "d1 0c").
std::vector<std::string> DumpMessages(ChildProcess& dump, size_t from)
{
    static const std::regex kBytes("(?:^|\\s)([89a-f][0-9a-f](?: [0-9a-f]{2}){1,2})(?=\\s|$)");
    std::vector<std::string> messages;
    std::istringstream lines(dump.Output());
    size_t index = 0;
    for (std::string line; std::getline(lines, line); ++index) {
        std::smatch match;
        if (index >= from && std::regex_search(line, match, kBytes))
            messages.push_back(match[1]);
    }
    return messages;
}

} // namespace

// The names of the program's threads, as `top -H` shows them.
std::vector<std::string> ThreadNames(pid_t program)
{
    std::vector<std::string> names;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(program) + "/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        names.push_back(name);
    }
    return names;
}

TEST_F(ProgramTest, PointerDrivesTheChosenControllerOnTheChosenChannel)
{
    ChildProcess dump;
    ASSERT_NO_FATAL_FAILURE(StartJackWithDump("zimbrel-program", dump));

    StartProgram({{"ZIMBREL_MIDI", "jack"}});
    EXPECT_TRUE(program.WaitForError("MIDI service: JACK", 5s)) << program.Errors();
    // The relay is a window too, but it never appears: the main window is
    // the only named window on screen.
    std::istringstream visible(Xdotool({"search", "--onlyvisible", "--maxdepth", "1", "--name", "."}));
    std::vector<std::string> shown;
    for (std::string id; visible >> id;)
        shown.push_back(Xdotool({"getwindowname", id}));
    EXPECT_EQ(shown, std::vector<std::string>{"Zimbrel 2.01\n"});
    // Not zoomable: a window manager may neither grow nor maximise it.
    ::Display* display = XOpenDisplay(xvfb.Name().c_str());
    ASSERT_NE(display, nullptr);
    XSizeHints hints{};
    long supplied = 0;
    XGetWMNormalHints(display, window.id, &hints, &supplied);
    XCloseDisplay(display);
    EXPECT_TRUE((hints.flags & PMinSize) && (hints.flags & PMaxSize));
    EXPECT_EQ(std::pair(hints.max_width, hints.max_height), std::pair(window.width, window.height));
    EXPECT_EQ(std::pair(hints.min_width, hints.min_height), std::pair(window.width, window.height));

    // A menu opened from the keyboard starts with its first item active.
    UseMenuBar(1, {"Down", "Down", "Return"}); // Channel > 2
    UseMenuBar(2, {"Return"});                 // Port > midi-monitor:input
    // The program's lines reach a pipe as they are printed, not at exit.
    EXPECT_TRUE(program.WaitForOutput("cfged\n", 5s)) << "the Port pick's line did not arrive";
    const std::string connections = RunTool({"jack_lsp", "-c"}).output;
    EXPECT_THAT(connections, HasSubstr("midi-monitor:input")) << connections;
    EXPECT_THAT(connections.substr(connections.find("Zimbrel")), HasSubstr("   midi-monitor:input"))
        << "the producer is not connected:\n"
        << connections;

    // Horizontal > "7  Channel Volume": the eighth item (a pop-up opened by a
    // click starts with no item active).
    UsePopUp(160, 115, {"Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down", "Return"});
    // The chosen controller's button keeps inside its frame, clear of the
    // Lower Range field beside it, and the two range headers do not touch.
    EXPECT_TRUE(WaitUntil([&] { return PanelGreyAt(188, 104, 126); }, 5s)) << "the controller runs into Lower Range";
    EXPECT_TRUE(PanelGreyAt(189, 104, 126));
    // "Lower Range" fills its column to the last pixel (270); "Higher Range"
    // starts a few pixels into its own.
    EXPECT_TRUE(PanelGreyAt(272, 45, 65) && PanelGreyAt(273, 45, 65)) << "the range headers touch";

    size_t seen = 0;
    MovePointerToEdge(false);
    EXPECT_TRUE(DumpShows(dump, "b1 07 00", seen, &seen)) << dump.Output();
    MovePointerToEdge(true);
    EXPECT_TRUE(DumpShows(dump, "b1 07 7f", seen, &seen)) << dump.Output();
    // Each of the program's own threads tells what it does, and the X
    // server's events are read on the relay's thread, not handed to it.
    const std::vector<std::string> threads = ThreadNames(program.Pid());
    EXPECT_THAT(threads, testing::IsSupersetOf({"relay", "window", "jack-watch"}));
    EXPECT_THAT(threads, testing::Not(testing::Contains("pointer-input")));

    // A reversed range runs downward: lower range 127, higher range 0. (The
    // clicks move the pointer too, and the last of them sends 127.)
    UsePopUp(230, 115, {"End", "Return"});
    UsePopUp(310, 115, {"Home", "Return"});
    MovePointerToEdge(true);
    EXPECT_TRUE(DumpShows(dump, "b1 07 00", seen, &seen)) << dump.Output();
    MovePointerToEdge(false);
    EXPECT_TRUE(DumpShows(dump, "b1 07 7f", seen, &seen)) << dump.Output();

    // MIDI keeps flowing while a pop-up menu is open.
    ClickAt(ViewPoint(160, 145));
    MovePointerToEdge(true);
    EXPECT_TRUE(DumpShows(dump, "b1 07 00", seen, &seen)) << "no MIDI while a pop-up was open\n" << dump.Output();
    MovePointerToEdge(false);
    EXPECT_TRUE(DumpShows(dump, "b1 07 7f", seen, &seen)) << "no MIDI while a pop-up was open\n" << dump.Output();
    Xdotool({"key", "Escape"});

    // A link made by another tool shows as marked: picking it unlinks.
    ASSERT_EQ(RunTool({"jack_disconnect", "Zimbrel:Zimbrel", "midi-monitor:input"}).status, 0);
    ASSERT_EQ(RunTool({"jack_connect", "Zimbrel:Zimbrel", "midi-monitor:input"}).status, 0);
    UseMenuBar(2, {"Return"}); // Port > midi-monitor:input
    EXPECT_TRUE(WaitUntil(
        [] { return RunTool({"jack_lsp", "-c", "Zimbrel:Zimbrel"}).output.find("midi-monitor") == std::string::npos; },
        3s))
        << "the outside link was not shown as marked";

    CloseWindow();
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
    EXPECT_THAT(program.Output(), HasSubstr("ug!!! -cursor relay window \n"));
    EXPECT_THAT(program.Output(), HasSubstr("cfged\n"));
}

TEST_F(ProgramTest, PauseFromAnywhereStopsTheStreamAndTheModesPlayOnlyWhileHeld)
{
    ChildProcess dump;
    ASSERT_NO_FATAL_FAILURE(StartJackWithDump("zimbrel-pause", dump));
    relay_test::PointerDriver pointer(xvfb.Name());
    ASSERT_TRUE(pointer.IsReady()) << "no XTest on " << xvfb.Name();
    StartProgram({{"ZIMBREL_MIDI", "jack"}});
    UseMenuBar(1, {"Down", "Return"}); // Channel > 1
    UseMenuBar(2, {"Return"});         // Port > midi-monitor:input
    EXPECT_TRUE(program.WaitForOutput("cfged\n", 5s));
    UsePopUp(160, 115, {"Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down", "Return"});
    // Below the window: x alone moves Horizontal, 0 to 127 over the screen.
    constexpr int kBelow = 700;
    size_t seen = 0;
    pointer.MoveTo(1023, kBelow);
    ASSERT_TRUE(DumpShows(dump, "b0 07 7f", seen, &seen)) << dump.Output();
    ::Display* focus = XOpenDisplay(xvfb.Name().c_str());
    ASSERT_NE(focus, nullptr);
    XSetInputFocus(focus, PointerRoot, RevertToPointerRoot, CurrentTime);
    XCloseDisplay(focus);

    // Pause, pressed while the focus is on the root window (where Qt's own
    // shortcut cannot see it), comes from the whole desktop. From then on only a position left of x = 9 would send
    // 0: paused, the motion there sends nothing; it may be taken late, but
    // then in a mode where no button is down, which sends nothing either.
    Xdotool({"key", "Pause"});
    ASSERT_TRUE(program.WaitForError("zimbrel: sending paused\n", 5s)) << program.Errors();
    pointer.MoveTo(0, kBelow);
    UseMenuBar(4, {"Down", "Down", "Return"}); // Sending > Play While a Button or the Pen Is Down
    ASSERT_TRUE(program.WaitForError("zimbrel: plays while a button or the pen is down\n", 5s));
    Xdotool({"key", "Pause"});
    ASSERT_TRUE(program.WaitForError("zimbrel: sending on\n", 5s)) << program.Errors();
    pointer.MoveTo(0, kBelow);
    pointer.MoveTo(300, kBelow);
    pointer.Press(1);
    // The relay learns the buttons from the server after each batch: the
    // press is let be seen before the motion, as a held button would be.
    EXPECT_TRUE(DumpShows(dump, "b0 07 25", seen)) << dump.Output();
    pointer.MoveTo(601, kBelow);
    EXPECT_TRUE(DumpShows(dump, "b0 07 4a", seen)) << dump.Output();
    pointer.Release(1);
    EXPECT_THAT(DumpMessages(dump, seen), testing::Not(testing::Contains("b0 07 00")))
        << "sent while paused or with no button down";

    // The switch under the panel turns Sending over too.
    ClickAt(ViewPoint(30, 269));
    EXPECT_TRUE(WaitUntil([&] { return Occurrences(program.Errors(), "zimbrel: sending paused\n") == 2; }, 5s));
    ClickAt(ViewPoint(30, 269));
    EXPECT_TRUE(WaitUntil([&] { return Occurrences(program.Errors(), "zimbrel: sending on\n") == 2; }, 5s));

    // Only while Pause is held.
    UseMenuBar(4, {"Down", "Down", "Down", "Return"}); // Sending > Play While Pause Is Held
    ASSERT_TRUE(program.WaitForError("zimbrel: plays while Pause is held\n", 5s)) << program.Errors();
    Xdotool({"keydown", "Pause"});
    int step = 0;
    EXPECT_TRUE(WaitUntil(
        [&] {
            pointer.MoveTo(1023, kBelow + ++step % 2);
            return DumpShows(dump, "b0 07 7f", seen, &seen, 100ms);
        },
        5s))
        << "holding Pause did not play: " << dump.Output();
    Xdotool({"keyup", "Pause"});

    CloseWindow();
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
}

// A pedal of another program, linked to "Zimbrel in" through the JACK
// server: its Control Change 64 is the footswitch kept in the settings, and
// its Program Change picks a preset.
TEST_F(ProgramTest, APedalOnAJackPortTurnsSendingOverAndAProgramChangeLoadsAPreset)
{
    ChildProcess dump;
    ASSERT_NO_FATAL_FAILURE(StartJackWithDump("zimbrel-pedal", dump));
    relay_test::PointerDriver pointer(xvfb.Name());
    ASSERT_TRUE(pointer.IsReady()) << "no XTest on " << xvfb.Name();
    KeepFootswitch({ Footswitch::Source::ControlChange, 0, 64, Footswitch::Action::Toggle });
    ASSERT_EQ(WriteFullRangePreset(settings.PresetFolder(), "First"), 0);
    StartProgram({{"ZIMBREL_MIDI", "jack"}});
    EXPECT_TRUE(program.WaitForError("zimbrel: the footswitch is Control Change 64 on any channel, and it turns Sending over\n", 5s))
        << program.Errors();
    ASSERT_EQ(RunTool({"jack_connect", "Zimbrel:Zimbrel", "midi-monitor:input"}).status, 0);

    std::string error;
    const std::unique_ptr<MidiService> pedal = OpenJackMidiService("pedal", false, &error);
    ASSERT_NE(pedal, nullptr) << error;
    constexpr int32 kPedal = 1;
    ASSERT_EQ(pedal->PublishProducer(kPedal, "out"), B_OK);
    int32 zimbrelIn = 0;
    ASSERT_TRUE(WaitUntil([&] {
        for (const MidiPortInfo& port : pedal->Consumers())
            if (port.name == "Zimbrel:Zimbrel in")
                zimbrelIn = port.id;
        return zimbrelIn != 0;
    }, 5s)) << "no \"Zimbrel in\" port";
    ASSERT_EQ(pedal->Connect(kPedal, zimbrelIn), B_OK);
    const auto send = [&](std::vector<uint8> bytes) { pedal->Send(kPedal, bytes.data(), bytes.size()); };

    // Program 1 (0 on the wire) is the first preset: Horizontal on 7.
    send({ 0xC0, 0 });
    constexpr int kBelow = 700;
    size_t seen = 0;
    int step = 0;
    EXPECT_TRUE(WaitUntil([&] {
        pointer.MoveTo(++step % 2 ? 1023 : 0, kBelow);
        return DumpShows(dump, "b0 07 7f", seen, &seen, 100ms);
    }, 5s)) << "the program change loaded no preset: " << dump.Output() << program.Errors();

    // Pressed, the pedal pauses; its release does nothing; pressed again, it
    // sends once more. Other controllers and notes do nothing: had any of
    // them turned Sending over, the second press would pause again.
    send({ 0xB0, 64, 127 });
    ASSERT_TRUE(program.WaitForError("zimbrel: sending paused\n", 5s)) << program.Errors();
    send({ 0xB0, 64, 0 });
    send({ 0xB0, 65, 127 });
    send({ 0x90, 64, 100 });
    send({ 0xB0, 64, 127 });
    ASSERT_TRUE(program.WaitForError("zimbrel: sending on\n", 5s)) << program.Errors();
    pointer.MoveTo(601, kBelow);
    EXPECT_TRUE(DumpShows(dump, "b0 07 4a", seen)) << dump.Output();
    EXPECT_EQ(Occurrences(program.Errors(), "zimbrel: sending paused\n"), 1) << program.Errors();

    CloseWindow();
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
}

TEST_F(ProgramTest, APresetSavedWithReturnBringsTheMappingBackAfterARestart)
{
    ChildProcess dump;
    ASSERT_NO_FATAL_FAILURE(StartJackWithDump("zimbrel-presets", dump));

    StartProgram({{"ZIMBREL_MIDI", "jack"}});
    UseMenuBar(1, {"Down", "Down", "Down", "Down", "Down", "Return"}); // Channel > 5
    // Horizontal > "10 Pan", the eleventh item.
    std::vector<std::string> downs(11, "Down");
    downs.push_back("Return");
    UsePopUp(160, 115, downs);
    // Into the name field, right of its label; Return saves.
    ClickAt(ViewPoint(330, 20));
    Xdotool({"type", "--delay", "30", "Stage"});
    Xdotool({"key", "Return"});
    const std::string path = settings.PresetFolder() + "/Stage";
    EXPECT_TRUE(program.WaitForOutput(path + "\n", 5s)) << program.Output() << program.Errors();
    CloseWindow();
    ASSERT_EQ(program.Wait(10s), 0) << program.Errors();
    ASSERT_TRUE(std::filesystem::is_regular_file(path));

    // A new start lists the preset; connections are not part of it.
    StartProgram({{"ZIMBREL_MIDI", "jack"}});
    EXPECT_TRUE(program.WaitForOutput("Stage\n", 5s)) << program.Output();
    UseMenuBar(2, {"Return"}); // Port > midi-monitor:input
    ASSERT_TRUE(program.WaitForOutput("cfged\n", 5s)) << program.Errors();
    size_t seen = 0;
    MovePointerToEdge(false);
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(DumpShows(dump, "b4 0a", 0)) << "the mapping was there before the load:\n" << dump.Output();

    UsePopUp(80, 20, {"Down", "Return"}, "'blod'"); // Presets > Stage
    EXPECT_TRUE(program.WaitForOutput("'blod'", 5s)) << program.Output();
    if (const char* folder = std::getenv("ZIMBREL_SCREENSHOT_DIR"))
        RunTool({"import", "-window", std::to_string(window.id), std::string(folder) + "/presets.png"},
                {{"DISPLAY", xvfb.Name()}});
    MovePointerToEdge(false);
    EXPECT_TRUE(DumpShows(dump, "b4 0a 00", seen, &seen)) << dump.Output();
    MovePointerToEdge(true);
    EXPECT_TRUE(DumpShows(dump, "b4 0a 7f", seen, &seen)) << dump.Output();

    CloseWindow();
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
    EXPECT_EQ(program.Errors().find("Preset"), std::string::npos) << program.Errors();

    // Named on the command line, the preset is there from the start.
    StartProgram({{"ZIMBREL_MIDI", "jack"}}, {"--preset", "Stage"});
    UseMenuBar(2, {"Return"}); // Port > midi-monitor:input
    ASSERT_TRUE(program.WaitForOutput("cfged\n", 5s)) << program.Errors();
    MovePointerToEdge(false);
    EXPECT_TRUE(DumpShows(dump, "b4 0a 00", seen, &seen)) << dump.Output();
    CloseWindow();
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();

    StartProgram({{"ZIMBREL_MIDI", "jack"}}, {"--preset", "Nowhere"});
    EXPECT_TRUE(program.WaitForError("No preset \"Nowhere\" in " + settings.PresetFolder() + "/: starting with the defaults.\n", 5s))
        << program.Errors();
    CloseWindow();
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
}

// One pass of the pointer as a row settings test makes it: to x = 100 (a
// value whose two 7-bit halves differ), to the right edge, to the right edge
// again (an unchanged value), to the left edge.
constexpr int kMiddleX = 100;

TEST_F(ProgramTest, EachOutputKindSendsItsExactBytesAndTheDefaultsSendWhatTheyAlwaysDid)
{
    ChildProcess dump;
    ASSERT_NO_FATAL_FAILURE(StartJackWithDump("zimbrel-row-output", dump));
    StartProgram({{"ZIMBREL_MIDI", "jack"}});
    UseMenuBar(1, {"Down", "Down", "Return"}); // Channel > 2
    UseMenuBar(2, {"Return"});                 // Port > midi-monitor:input
    ASSERT_TRUE(program.WaitForOutput("cfged\n", 5s)) << program.Errors();
    UsePopUp(160, 115, {"Down", "Down", "Return"}); // Horizontal > "1 Modulation"

    // The 14-bit value of x = 100 on a 1024-pixel screen, as the relay and
    // the engine compute it.
    const float middle = float(kMiddleX / 1023.0L);
    const int fine = int(std::trunc(double(middle) * 16383));
    const int coarse = int(std::trunc(double(middle) * 127));
    const auto hex = [](std::initializer_list<int> bytes) {
        std::string text;
        for (const int byte : bytes) {
            char part[4];
            std::snprintf(part, sizeof part, "%s%02x", text.empty() ? "" : " ", byte);
            text += part;
        }
        return text;
    };
    size_t seen = 0;
    // Makes the pass and gives what it sent, once `last` arrived.
    const auto pass = [&](const std::string& last) {
        const size_t from = seen;
        Xdotool({"mousemove", std::to_string(kMiddleX), "400"});
        Xdotool({"mousemove_relative", "--", "0", "1"}); // absolute moves make no raw events
        // The relay asks where the pointer is once per batch of raw events,
        // so the edge must wait until this position was sent.
        EXPECT_TRUE(DumpShows(dump, "", from)) << "nothing from the middle:\n" << dump.Output();
        MovePointerToEdge(true);
        MovePointerToEdge(true);
        MovePointerToEdge(false);
        EXPECT_TRUE(DumpShows(dump, last, from, &seen)) << "never saw " << last << ":\n" << dump.Output();
        return DumpMessages(dump, from);
    };

    // Nothing chosen: the 7-bit Control Changes of before, byte for byte.
    MovePointerToEdge(true);
    ASSERT_TRUE(DumpShows(dump, "b1 01 7f", seen, &seen)) << dump.Output();
    EXPECT_EQ(pass("b1 01 00"), (std::vector<std::string>{hex({0xb1, 1, coarse}), "b1 01 7f", "b1 01 00"}));

    // The row's settings window opens with the focus on Output.
    ClickAt(ViewPoint(367, 115));
    const std::string found = Xdotool({"search", "--sync", "--onlyvisible", "--name", "Horizontal settings$"});
    ASSERT_FALSE(found.empty()) << program.Errors();
    const std::string settings = found.substr(0, found.find('\n'));
    EXPECT_EQ(Xdotool({"getwindowname", settings}), "Zimbrel \u2014 Horizontal settings\n");
    // Keys in the settings window change the row's kind or number. The
    // change reaches the engine on its own time, so the pointer goes back
    // and forth until `sign`, a message only the new settings send, shows;
    // then it rests at the left edge, whose last message is `left`.
    const auto change = [&](const std::vector<std::string>& keys, const std::string& sign, const std::string& left) {
        Xdotool({"windowfocus", "--sync", settings});
        std::vector<std::string> arguments{"key", "--delay", "40"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        Xdotool(arguments);
        bool shown = false;
        for (int attempt = 0; attempt < 40 && !shown; ++attempt) {
            MovePointerToEdge(attempt % 2 == 0);
            shown = DumpShows(dump, sign, seen, &seen, 250ms);
        }
        EXPECT_TRUE(shown) << "no " << sign << " after " << keys.front() << ":\n" << dump.Output();
        MovePointerToEdge(false);
        EXPECT_TRUE(DumpShows(dump, left, seen, &seen)) << dump.Output();
    };

    // 14-bit Control Change: n with the MSB, then n + 32 with the LSB, and
    // nothing for an unchanged value.
    change({"Down"}, "b1 21 ", "b1 21 00");
    EXPECT_EQ(pass("b1 21 00"), (std::vector<std::string>{hex({0xb1, 1, fine >> 7}), hex({0xb1, 0x21, fine & 127}),
                                    "b1 01 7f", "b1 21 7f", "b1 01 00", "b1 21 00"}));

    // NRPN: the number is selected once, then only the data follows.
    const std::vector<std::string> data{hex({0xb1, 6, fine >> 7}), hex({0xb1, 0x26, fine & 127}), "b1 06 7f",
        "b1 26 7f", "b1 06 00", "b1 26 00"};
    change({"Down"}, "b1 63 00", "b1 26 00");
    EXPECT_EQ(pass("b1 26 00"), data);
    // Another number (300: MSB 2, LSB 44) is selected before the next value.
    change({"Tab", "3", "0", "0", "Return", "shift+Tab"}, "b1 62 2c", "b1 26 00");
    EXPECT_EQ(pass("b1 26 00"), data);
    const std::vector<std::string> all = DumpMessages(dump, 0);
    const auto selection = std::find(all.begin(), all.end(), "b1 63 02");
    ASSERT_NE(selection, all.end()) << dump.Output();
    EXPECT_EQ(std::count(all.begin(), all.end(), "b1 63 02"), 1);
    EXPECT_EQ(*std::next(selection), "b1 62 2c");
    EXPECT_EQ(std::count(all.begin(), all.end(), "b1 63 00"), 1);

    // Pitch Bend: the LSB first, then the MSB.
    change({"Down"}, " e1 ", "e1 00 00");
    EXPECT_EQ(pass("e1 00 00"), (std::vector<std::string>{hex({0xe1, fine & 127, fine >> 7}), "e1 7f 7f", "e1 00 00"}));

    // Channel Pressure: the 7-bit value.
    change({"Down"}, " d1 ", "d1 00");
    EXPECT_EQ(pass("d1 00"), (std::vector<std::string>{hex({0xd1, coarse}), "d1 7f", "d1 00"}));

    if (const char* folder = std::getenv("ZIMBREL_SCREENSHOT_DIR"))
        RunTool({"import", "-window", settings, std::string(folder) + "/row-settings.png"}, {{"DISPLAY", xvfb.Name()}});
    // Escape closes the settings window.
    Xdotool({"windowfocus", "--sync", settings});
    Xdotool({"key", "Escape"});
    EXPECT_TRUE(WaitUntil(
        [&] { return RunTool({"xdotool", "search", "--onlyvisible", "--name", "Horizontal settings$"}, {{"DISPLAY", xvfb.Name()}}).output.empty(); },
        5s));
    CloseWindow();
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
}

// Where a shown window or pop-up is, in the screen's pixels.
struct ScreenBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The pop-up menus on screen: viewable windows that the window manager
// would not handle, which is how Qt shows its menus.
std::vector<ScreenBox> PopUps(const std::string& displayName)
{
    std::vector<ScreenBox> found;
    ::Display* display = XOpenDisplay(displayName.c_str());
    if (display == nullptr)
        return found;
    // A window may be destroyed between the listing and the question about
    // it; Xlib's default handler would end the test for that BadWindow.
    const XErrorHandler previous = XSetErrorHandler([](::Display*, XErrorEvent*) { return 0; });
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[i], &attributes) != 0 && attributes.map_state == IsViewable
                && attributes.override_redirect)
                found.push_back({attributes.x, attributes.y, attributes.width, attributes.height});
        }
        XFree(children);
    }
    XCloseDisplay(display);
    XSetErrorHandler(previous);
    return found;
}

// The program on a screen large enough for its windows at twice the size.
class HighDpiProgramTest : public ProgramTest {
protected:
    HighDpiProgramTest() : ProgramTest("2048x1536x24") {}

    // Where the Channel menu, the Horizontal controller pop-up and the
    // Horizontal settings window open at `scale`, in logical units, relative
    // to the main window's top left.
    std::vector<ScreenBox> Placements(int scale)
    {
        StartProgram({{"ZIMBREL_MIDI", "jack"}, {"QT_SCALE_FACTOR", std::to_string(scale)}});
        std::vector<ScreenBox> placements;
        const int surplus = window.height / scale - 310; // the real menu bar's extra height
        const auto logical = [&](const ScreenBox& box) {
            return ScreenBox{(box.x - window.x) / scale, (box.y - window.y) / scale, box.width / scale,
                box.height / scale};
        };
        const auto openedBy = [&](int x, int y) {
            Xdotool({"mousemove", std::to_string(window.x + x * scale), std::to_string(window.y + y * scale),
                "click", "1"});
            std::vector<ScreenBox> shown;
            EXPECT_TRUE(WaitUntil([&] { return (shown = PopUps(xvfb.Name())).size() == 1; }, 5s))
                << "no pop-up at scale " << scale;
            Xdotool({"key", "Escape"});
            EXPECT_TRUE(WaitUntil([&] { return PopUps(xvfb.Name()).empty(); }, 5s));
            return shown.empty() ? ScreenBox{} : logical(shown.front());
        };
        placements.push_back(openedBy(75, 8)); // the Channel menu's title
        placements.push_back(openedBy(160, 20 + surplus + 115)); // Horizontal's controller
        Xdotool({"mousemove", std::to_string(window.x + 367 * scale),
            std::to_string(window.y + (20 + surplus + 115) * scale), "click", "1"});
        const std::string found = Xdotool({"search", "--sync", "--onlyvisible", "--name", "Horizontal settings$"});
        ScreenBox settings;
        std::istringstream shell(Xdotool({"getwindowgeometry", "--shell", found.substr(0, found.find('\n'))}));
        for (std::string line; std::getline(shell, line);) {
            const int value = std::atoi(line.c_str() + line.find('=') + 1);
            if (line.starts_with("X=")) settings.x = value;
            if (line.starts_with("Y=")) settings.y = value;
            if (line.starts_with("WIDTH=")) settings.width = value;
            if (line.starts_with("HEIGHT=")) settings.height = value;
        }
        placements.push_back(logical(settings));
        if (const char* folder = std::getenv("ZIMBREL_SCREENSHOT_DIR"))
            RunTool({"import", "-window", "root", std::string(folder) + "/scale" + std::to_string(scale) + ".png"},
                {{"DISPLAY", xvfb.Name()}});
        CloseWindow();
        EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
        return placements;
    }
};

TEST_F(HighDpiProgramTest, MenusPopUpsAndSettingsWindowsOpenAtTwiceTheScaleWhereTheyOpenAtOnce)
{
    const std::unique_ptr<JackTestServer> jack = ChooseJackTestServer();
    const std::string jackError = jack->Start("zimbrel-high-dpi");
    ASSERT_TRUE(jackError.empty()) << jack->Kind() << ": " << jackError;
    const std::vector<ScreenBox> once = Placements(1);
    const std::vector<ScreenBox> twice = Placements(2);
    ASSERT_EQ(once.size(), 3u);
    ASSERT_EQ(twice.size(), 3u);
    const char* what[] = {"Channel menu", "controller pop-up", "settings window"};
    for (size_t i = 0; i < once.size(); ++i) {
        // A pixel either way for rounding at the other scale.
        EXPECT_NEAR(twice[i].x, once[i].x, 1) << what[i];
        EXPECT_NEAR(twice[i].y, once[i].y, 1) << what[i];
    }
    // The menu opens under the menu bar, at its title, not beside it.
    EXPECT_GE(once[0].y, 18);
    EXPECT_LT(once[0].x, 75);
}

// The meters as the screen shows them: a connection of the test's own reads
// the window's pixels and counts the window's damage, which is what every
// repaint that reaches the screen leaves.
class MeterScreen {
public:
    // Where the bars are drawn, in the mapping view's coordinates: a bar is
    // 12 x 24 beside each row, with a one-pixel edge round its trough.
    static constexpr int kBarLeft = 384;
    static constexpr int kBarRight = 395;
    static constexpr int kTroughHeight = 22;
    static constexpr unsigned long kFill = 0x40c860;
    static constexpr unsigned long kDimmedTrough = 0xa8a8a8;

    MeterScreen(const std::string& display, unsigned long window, int viewTop)
        : fDisplay(XOpenDisplay(display.c_str()))
        , fWindow(window)
        , fViewTop(viewTop)
    {
        int error = 0;
        if (fDisplay != nullptr && XDamageQueryExtension(fDisplay, &fDamageEvent, &error))
            fDamage = XDamageCreate(fDisplay, fWindow, XDamageReportRawRectangles);
        if (fDisplay != nullptr)
            XSync(fDisplay, False);
    }
    ~MeterScreen()
    {
        if (fDisplay == nullptr)
            return;
        if (fDamage != 0)
            XDamageDestroy(fDisplay, fDamage);
        XCloseDisplay(fDisplay);
    }
    MeterScreen(const MeterScreen&) = delete;
    MeterScreen& operator=(const MeterScreen&) = delete;

    bool IsReady() const { return fDisplay != nullptr && fDamage != 0; }

    static int TroughTop(int row) { return 70 + 30 * row + 4; }

    // How many pixels of a row's bar are filled, counted up its middle, or
    // -1 when the bar's middle is dimmed.
    int FilledPixels(int row)
    {
        const int x = (kBarLeft + kBarRight) / 2;
        XImage* image = XGetImage(fDisplay, fWindow, x, fViewTop + TroughTop(row), 1, kTroughHeight, AllPlanes,
                                  ZPixmap);
        if (image == nullptr)
            return -2;
        int filled = 0;
        for (int y = 0; y < kTroughHeight; ++y)
            filled += XGetPixel(image, 0, y) == kFill;
        const bool dimmed = XGetPixel(image, 0, kTroughHeight / 2) == kDimmedTrough;
        XDestroyImage(image);
        return dimmed ? -1 : filled;
    }

    // Damage reported since the last call: all of it, and the part that
    // touched the bar of `row`.
    std::pair<int, int> TakeDamage(int row)
    {
        XSync(fDisplay, False);
        int all = 0;
        int onBar = 0;
        while (XPending(fDisplay) > 0) {
            XEvent event;
            XNextEvent(fDisplay, &event);
            if (event.type != fDamageEvent + XDamageNotify)
                continue;
            const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
            ++all;
            const int top = fViewTop + TroughTop(row);
            onBar += damage.area.x <= kBarRight && damage.area.x + damage.area.width > kBarLeft
                && damage.area.y < top + kTroughHeight && damage.area.y + damage.area.height > top;
        }
        return {all, onBar};
    }

private:
    ::Display* fDisplay;
    unsigned long fWindow;
    int fViewTop;
    int fDamageEvent = 0;
    Damage fDamage = 0;
};

// How often the program's main thread, which runs the display, has been
// switched out so far: once for every time it slept and woke.
long MainThreadSwitches(pid_t program)
{
    std::ifstream status("/proc/" + std::to_string(program) + "/task/" + std::to_string(program) + "/status");
    long switches = 0;
    for (std::string line; std::getline(status, line);)
        if (line.find("ctxt_switches:") != std::string::npos)
            switches += std::atol(line.c_str() + line.find(':') + 1);
    return switches;
}

// 200 moves in a second, each changing the Horizontal value; the seconds taken.
double MoveForASecond(relay_test::PointerDriver& pointer)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) {
        std::this_thread::sleep_until(start + i * 5ms);
        pointer.MoveTo(i % 2 == 0 ? 500 : 900, 600);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The level a position sends with the full range 0..127, as the relay
// scales it (by the screen's extent), and its height on a bar.
int ExpectedFill(int position, int extent)
{
    const int level = int(std::trunc(double(float(position / (long double)extent)) * 127));
    return int(std::lround(double(level) * MeterScreen::kTroughHeight / 127));
}

TEST_F(ProgramTest, MetersShowEachActiveRowAndStopRepaintingWhenThePointerRests)
{
    constexpr int kVertical = 0;
    constexpr int kHorizontal = 1;
    const std::unique_ptr<JackTestServer> jack = ChooseJackTestServer();
    const std::string jackError = jack->Start("zimbrel-meters");
    ASSERT_TRUE(jackError.empty()) << jack->Kind() << ": " << jackError;
    relay_test::PointerDriver pointer(xvfb.Name());
    ASSERT_TRUE(pointer.IsReady()) << "no XTest on " << xvfb.Name();
    StartProgram({{"ZIMBREL_MIDI", "jack"}});
    auto screen = std::make_unique<MeterScreen>(xvfb.Name(), window.id, ViewPoint(0, 0).second - window.y);
    ASSERT_TRUE(screen->IsReady()) << "no DAMAGE extension on " << xvfb.Name();
    // The first paint may come a moment after the window shows.
    EXPECT_TRUE(WaitUntil(
        [&] {
            for (int row = 0; row < 6; ++row)
                if (screen->FilledPixels(row) != -1)
                    return false;
            return true;
        },
        3s))
        << "the rows should start dimmed";

    UseMenuBar(1, {"Down", "Return"}); // Channel > 1
    UsePopUp(160, 115, {"Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down", "Return"});
    UsePopUp(160, 85, {"Down", "Down", "Return"}); // Vertical > 1 Modulation Wheel

    // Right of and below the window, so that nothing in it is hovered.
    const std::pair<int, int> positions[] = {{768, 192}, {600, 576}};
    for (const auto& [x, y] : positions) {
        pointer.MoveTo(x, y);
        const int horizontal = ExpectedFill(x, 1023);
        const int vertical = ExpectedFill(y, 767);
        int shownHorizontal = 0;
        int shownVertical = 0;
        EXPECT_TRUE(WaitUntil(
            [&] {
                shownHorizontal = screen->FilledPixels(kHorizontal);
                shownVertical = screen->FilledPixels(kVertical);
                return std::abs(shownHorizontal - horizontal) <= 1 && std::abs(shownVertical - vertical) <= 1;
            },
            3s))
            << "pointer at " << x << "," << y << ": Horizontal bar " << shownHorizontal << " of "
            << MeterScreen::kTroughHeight << " px (expected " << horizontal << "), Vertical bar " << shownVertical
            << " (expected " << vertical << ")";
        for (int row = 2; row < 6; ++row)
            EXPECT_EQ(screen->FilledPixels(row), -1) << "row " << row << " is off and should stay dimmed";
    }

    screen->TakeDamage(kHorizontal);
    const long switchesBefore = MainThreadSwitches(program.Pid());
    const double seconds = MoveForASecond(pointer);
    const long switchesShown = MainThreadSwitches(program.Pid()) - switchesBefore;
    std::this_thread::sleep_for(50ms);
    const auto [moving, movingOnBar] = screen->TakeDamage(kHorizontal);
    EXPECT_GE(movingOnBar, 10) << "the bar hardly repainted while the pointer moved";
    EXPECT_LE(movingOnBar, int(30 * (seconds + 0.1)) + 2) << "more than 30 repaints a second";

    // At rest: the lamp goes dark, and then nothing more is drawn.
    std::this_thread::sleep_for(600ms);
    screen->TakeDamage(kHorizontal);
    std::this_thread::sleep_for(1s);
    const auto [resting, restingOnBar] = screen->TakeDamage(kHorizontal);
    EXPECT_EQ(resting, 0) << "the window kept repainting with the pointer at rest (" << moving
                          << " repaints while moving)";
    EXPECT_EQ(restingOnBar, 0);

    // Hidden, the meters sample and draw nothing however the pointer moves;
    // shown again, they have caught up.
    Xdotool({"windowunmap", "--sync", std::to_string(window.id)});
    std::this_thread::sleep_for(200ms);
    const long hiddenBefore = MainThreadSwitches(program.Pid());
    MoveForASecond(pointer);
    const long switchesHidden = MainThreadSwitches(program.Pid()) - hiddenBefore;
    EXPECT_LT(switchesHidden, switchesShown / 4)
        << "the display thread woke " << switchesHidden << " times in a second of motion with the window hidden, "
        << switchesShown << " times with it shown";
    pointer.MoveTo(768, 192);
    Xdotool({"windowmap", "--sync", std::to_string(window.id)});
    int shown = 0;
    EXPECT_TRUE(WaitUntil(
        [&] {
            shown = screen->FilledPixels(kHorizontal);
            return std::abs(shown - ExpectedFill(768, 1023)) <= 1;
        },
        3s))
        << "shown again, the Horizontal bar has " << shown << " px";

    // The damage record goes before the window does.
    screen.reset();
    CloseWindow();
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
}

TEST_F(ProgramTest, MissingMidiServiceEndsTheProgramWhenAMenuOpens)
{
    StartProgram({{"ZIMBREL_MIDI", "none"}});
    ClickAt({window.x + 15, window.y + 8});
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
    EXPECT_THAT(program.Output(), HasSubstr("Couldn't get MIDI roster\n"));
    EXPECT_THAT(program.Output(), HasSubstr("ug!!! -cursor relay window \n"));
}

TEST(ProgramWithoutX, SaysSoAndExitsWithStatusOne)
{
    for (const char* display : {"", ":97"}) {
        ChildProcess program;
        ASSERT_TRUE(program.Start({ZIMBREL_PROGRAM}, {{"DISPLAY", display}, {"WAYLAND_DISPLAY", ""},
                                                      {"ZIMBREL_MIDI", "none"}}))
            << program.Error();
        program.CloseInput();
        EXPECT_EQ(program.Wait(10s), 1) << "DISPLAY=" << display << ": " << program.Errors();
        EXPECT_FALSE(program.Errors().empty());
        EXPECT_EQ(program.Output(), "") << "nothing of the program's own may be printed";
    }
}

namespace {

// The program with a JACK server and its window up, for the ways it can end.
class EndingProgram : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        const std::string jackError = jack->Start("zimbrel-ending");
        ASSERT_TRUE(jackError.empty()) << jack->Kind() << ": " << jackError;
    }

    void StartWithJack(std::map<std::string, std::string> environment = {})
    {
        environment["ZIMBREL_MIDI"] = "jack";
        StartProgram(environment);
        ASSERT_TRUE(WaitUntil([] { return PortListed(); }, 5s)) << program.Errors();
    }

    static bool PortListed() { return RunTool({"jack_lsp"}).output.find("Zimbrel:Zimbrel") != std::string::npos; }

    const std::unique_ptr<JackTestServer> jack = ChooseJackTestServer();
};

} // namespace

TEST_F(EndingProgram, EachQuitSignalEndsTheProgramAsTheCloseBoxDoes)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sigabbrev_np(signal));
        StartWithJack();
        ASSERT_GT(program.Pid(), 0);
        kill(program.Pid(), signal);
        EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
        EXPECT_THAT(program.Output(), HasSubstr("ug!!! -cursor relay window \n"));
        EXPECT_FALSE(PortListed()) << "the MIDI port outlived the program";
    }
}

TEST_F(EndingProgram, LosingTheXServerEndsTheProgramWithinASecondWithOneLine)
{
    // Without its X server the program ends at once, by design without
    // joining threads that may be blocked on the dead connection; a thread
    // checker in the build would call that a leak.
    const char* checks = std::getenv("TSAN_OPTIONS");
    StartWithJack({{"TSAN_OPTIONS", std::string(checks ? checks : "") + ":report_thread_leaks=0"}});
    xvfb.Stop();
    const auto lost = std::chrono::steady_clock::now();
    const int status = program.Wait(5s);
    const auto took = std::chrono::steady_clock::now() - lost;
    EXPECT_EQ(status, 1) << "a crash or a hang instead of an orderly end:\n" << program.Errors();
    EXPECT_LT(took, 1s);
    EXPECT_EQ(Occurrences(program.Errors(), "lost the connection to the X server"), 1u) << program.Errors();
    EXPECT_FALSE(PortListed()) << "the MIDI port outlived the program";
}

namespace {

// The program as a session manager starts it: NSM_URL names a stand-in
// manager, and the program waits for its open before it shows anything or
// opens a MIDI client.
class SessionProgram : public EndingProgram {
protected:
    void LaunchUnder(const NsmServer& manager)
    {
        ASSERT_TRUE(manager.IsRunning());
        LaunchProgram({{"ZIMBREL_MIDI", "jack"}, {"NSM_URL", manager.Url()}});
    }

    // Sends `request` and waits for the program's answer to it: "/reply"
    // or "/error" with its arguments, or nothing.
    static std::optional<NsmServer::Received> Answer(NsmServer& manager, const std::function<void()>& request,
                                                     const std::string& path)
    {
        const size_t before = manager.Count();
        request();
        std::optional<NsmServer::Received> answer;
        WaitUntil(
            [&] {
                const std::vector<NsmServer::Received> messages = manager.Messages();
                for (size_t index = before; index < messages.size(); ++index)
                    if ((messages[index].path == "/reply" || messages[index].path == "/error")
                        && !messages[index].arguments.empty() && messages[index].arguments[0] == path) {
                        answer = messages[index];
                        return true;
                    }
                return false;
            },
            10s);
        return answer;
    }

    static std::string Links() { return RunTool({"jack_lsp", "-c"}).output; }

    bool WindowShown()
    {
        return RunTool({"xdotool", "search", "--onlyvisible", "--name", "^Zimbrel 2.01$"}, {{"DISPLAY", xvfb.Name()}})
                   .status
            == 0;
    }

    const std::string folder = settings.Root() + "/session/Zimbrel.nTEST";
};

} // namespace

TEST_F(SessionProgram, TheStateLivesInTheSessionAndComesBackWithTheLinksAndTheName)
{
    ChildProcess dump;
    ASSERT_TRUE(dump.Start({"setpriv", "--pdeathsig", "TERM", "stdbuf", "-oL", "jack_midi_dump"}));
    ASSERT_TRUE(WaitUntil([] { return RunTool({"jack_lsp", "midi-monitor:input"}).status == 0; }, 10s));
    std::filesystem::create_directories(settings.Root() + "/session");

    NsmServer manager;
    LaunchUnder(manager);
    const int announce = manager.WaitFor("/nsm/server/announce");
    ASSERT_GE(announce, 0) << program.Errors();
    EXPECT_EQ(manager.Messages()[size_t(announce)].arguments,
              (std::vector<std::string>{"Zimbrel", ":switch:dirty:optional-gui:", ZIMBREL_PROGRAM, "1", "1",
                                        std::to_string(program.Pid())}));
    EXPECT_EQ(manager.Messages()[size_t(announce)].types, "sssiii");
    EXPECT_THAT(Links(), testing::Not(HasSubstr("Zimbrel"))) << "a JACK client before the session opened";

    const auto opened = Answer(manager, [&] { manager.Open(folder, "Test", "Zimbrel.nTEST"); }, "/nsm/client/open");
    ASSERT_TRUE(opened && opened->path == "/reply") << program.Errors();
    FindWindow();
    EXPECT_GE(manager.WaitFor("/nsm/client/gui_is_shown"), 0);
    ASSERT_TRUE(WaitUntil([&] { return Links().find("Zimbrel.nTEST:Zimbrel") != std::string::npos; }, 5s)) << Links();

    // Channel 2, Horizontal on controller 7, a link: the session is dirty.
    UseMenuBar(1, {"Down", "Down", "Return"});
    UseMenuBar(2, {"Return"});
    UsePopUp(160, 115, {"Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down", "Return"});
    EXPECT_GE(manager.WaitFor("/nsm/client/is_dirty"), 0);
    const size_t beforeSave = manager.Count();
    const auto saved = Answer(manager, [&] { manager.Send("/nsm/client/save"); }, "/nsm/client/save");
    ASSERT_TRUE(saved && saved->path == "/reply") << program.Errors();
    EXPECT_GE(manager.WaitFor("/nsm/client/is_clean", beforeSave), 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/state"));

    // The close box and the manager hide the windows; MIDI goes on.
    CloseWindow();
    EXPECT_GE(manager.WaitFor("/nsm/client/gui_is_hidden"), 0);
    EXPECT_TRUE(WaitUntil([&] { return !WindowShown(); }, 5s));
    size_t seen = 0;
    MovePointerToEdge(false);
    EXPECT_TRUE(DumpShows(dump, "b1 07 00", seen, &seen)) << dump.Output();
    const size_t beforeShow = manager.Count();
    manager.Send("/nsm/client/show_optional_gui");
    EXPECT_GE(manager.WaitFor("/nsm/client/gui_is_shown", beforeShow), 0);
    EXPECT_TRUE(WaitUntil([&] { return WindowShown(); }, 5s));

    kill(program.Pid(), SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
    EXPECT_FALSE(std::filesystem::exists(settings.Root() + "/Zimbrel2 Canvas")) << "session state in the user's settings";

    // A second start under the same session: mapping and link come back.
    NsmServer again;
    LaunchUnder(again);
    ASSERT_GE(again.WaitFor("/nsm/server/announce"), 0) << program.Errors();
    const auto reopened = Answer(again, [&] { again.Open(folder, "Test", "Zimbrel.nTEST"); }, "/nsm/client/open");
    ASSERT_TRUE(reopened && reopened->path == "/reply") << program.Errors();
    FindWindow();
    EXPECT_TRUE(WaitUntil([&] { return Links().find("   midi-monitor:input") != std::string::npos; }, 5s)) << Links();
    seen = Occurrences(dump.Output(), "\n");
    MovePointerToEdge(true);
    EXPECT_TRUE(DumpShows(dump, "b1 07 7f", seen, &seen)) << dump.Output();

    // A switch renames the client and drops the old session's links.
    const auto switched
        = Answer(again, [&] { again.Open(settings.Root() + "/session/Zimbrel.nNEXT", "Next", "Zimbrel.nNEXT"); },
                 "/nsm/client/open");
    ASSERT_TRUE(switched && switched->path == "/reply") << program.Errors();
    EXPECT_TRUE(WaitUntil([&] { return Links().find("Zimbrel.nNEXT:Zimbrel") != std::string::npos; }, 5s)) << Links();
    EXPECT_THAT(Links(), testing::Not(HasSubstr("Zimbrel.nTEST")));
    EXPECT_THAT(Links(), testing::Not(HasSubstr("   midi-monitor:input")));
    kill(program.Pid(), SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
}

TEST_F(SessionProgram, AManagerThatIsSilentOrAStateThatIsDamagedLeavesZimbrelRunningAsUsual)
{
    NsmServer silent(false);
    LaunchUnder(silent);
    EXPECT_TRUE(program.WaitForError("did not answer", 10s)) << program.Errors();
    FindWindow();
    EXPECT_TRUE(WaitUntil([] { return PortListed(); }, 5s)) << program.Errors();
    kill(program.Pid(), SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();

    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/state") << "not a state";
    NsmServer manager;
    LaunchUnder(manager);
    ASSERT_GE(manager.WaitFor("/nsm/server/announce"), 0) << program.Errors();
    const auto opened = Answer(manager, [&] { manager.Open(folder, "Test", "Zimbrel.nTEST"); }, "/nsm/client/open");
    ASSERT_TRUE(opened) << program.Errors();
    EXPECT_EQ(opened->path, "/error");
    EXPECT_EQ(opened->arguments, (std::vector<std::string>{"/nsm/client/open", "-9", opened->arguments.back()}));
    EXPECT_THAT(opened->arguments.back(), HasSubstr(folder + "/state"));
    FindWindow();

    // A save that cannot be written says why.
    std::filesystem::remove(folder + "/state");
    std::filesystem::create_directory(folder + "/state");
    const auto saved = Answer(manager, [&] { manager.Send("/nsm/client/save"); }, "/nsm/client/save");
    ASSERT_TRUE(saved) << program.Errors();
    EXPECT_EQ(saved->path, "/error");
    EXPECT_EQ(saved->arguments.size() > 1 ? saved->arguments[1] : "", "-99");
    kill(program.Pid(), SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
}

TEST_F(SessionProgram, UnderRaySessionTheStateFolderTheNameAndTheLinksComeBack)
{
    if (DebianRelease() == "12")
        GTEST_SKIP() << "RaySession is packaged from Debian 13 on";
    const std::string missing = MissingTools({"ray_control", "ray-daemon", "jack_connect"});
    ASSERT_TRUE(missing.empty()) << missing;
    ChildProcess dump;
    ASSERT_TRUE(dump.Start({"setpriv", "--pdeathsig", "TERM", "jack_midi_dump"}));
    ASSERT_TRUE(WaitUntil([] { return RunTool({"jack_lsp", "midi-monitor:input"}).status == 0; }, 10s));

    // The daemon, and the program it starts, live in the test's own folder
    // and X server; ray_control finds the daemon by its port.
    std::map<std::string, std::string> ray{{"HOME", settings.Root()}, {"USER", "zimbrel-test"},
        {"DISPLAY", xvfb.Name()}, {"XDG_CONFIG_HOME", settings.Root()}, {"ZIMBREL_MIDI", "jack"}};
    // Clients are named as on PATH, never by a path of their own.
    ray["PATH"] = std::filesystem::path(ZIMBREL_PROGRAM).parent_path().string() + ":" + std::getenv("PATH");
    const ToolResult started = RunTool({"ray_control", "start_new_hidden"}, ray, 30s);
    ASSERT_EQ(started.status, 0) << started.errors;
    // It prints the port last.
    std::istringstream lines(started.output);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            ray["RAY_CONTROL_PORT"] = line;
    auto control = [&](const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{"ray_control"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const ToolResult result = RunTool(argv, ray, 30s);
        EXPECT_EQ(result.status, 0) << "ray_control " << arguments[0] << ": " << result.output << result.errors;
        return result.output;
    };
    const std::string root = settings.Root() + "/sessions";
    std::filesystem::create_directories(root);
    control({"change_root", root});
    control({"new_session", "zbray"});
    control({"add_executable", "zimbrel"});
    ASSERT_TRUE(WaitUntil([] { return PortListed(); }, 15s)) << Links();
    // Linked from the Port menu, as a person would.
    FindWindow();
    UseMenuBar(2, {"Return"});
    ASSERT_TRUE(WaitUntil([&] { return Links().find("   midi-monitor:input") != std::string::npos; }, 10s)) << Links();
    // Saved again until the state holds the link, which the program knows
    // once its link is in force.
    std::vector<std::filesystem::path> states;
    const bool linkSaved = WaitUntil(
        [&] {
            control({"save"});
            states.clear();
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root + "/zbray"))
                if (entry.path().filename() == "state")
                    states.push_back(entry.path());
            std::ifstream state(states.empty() ? std::filesystem::path() : states.front(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(state)), std::istreambuf_iterator<char>());
            return bytes.find("midi-monitor:input") != std::string::npos;
        },
        10s);
    EXPECT_EQ(states.size(), 1u) << "no state, or more than one, in the session's folder";
    EXPECT_TRUE(linkSaved) << "the saved state never held the link";
    control({"close"});
    EXPECT_TRUE(WaitUntil([] { return !PortListed(); }, 10s)) << Links();

    control({"open_session", "zbray"});
    EXPECT_TRUE(WaitUntil([&] { return Links().find("   midi-monitor:input") != std::string::npos; }, 15s)) << Links();
    control({"quit"});
    EXPECT_TRUE(WaitUntil([] { return !PortListed(); }, 10s)) << Links();
}
