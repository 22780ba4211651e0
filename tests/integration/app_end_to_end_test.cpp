// The zimbrel program from the outside: a private Xvfb and a private JACK
// server (jackd with the dummy driver, or PipeWire in the run under pw-jack)
// with jack_midi_dump as the synthesizer, menus and the panel
// driven with X input (xdotool clicks and keys), the pointer moved with
// relative XTest motion (which, unlike absolute warps, makes raw events).

#include "tests/common/ChildProcess.h"
#include "tests/common/ChooseJackTestServer.h"
#include "tests/common/XvfbServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

// Last: Xlib's macros would clash with the test framework's names.
#include <X11/Xlib.h>

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
    void SetUp() override
    {
        ASSERT_TRUE(xvfb.IsRunning()) << xvfb.Error();
        const std::string missing = MissingTools({"xdotool", "jack_midi_dump", "jack_lsp", "stdbuf"});
        ASSERT_TRUE(missing.empty()) << "missing tool(s): " << missing
                                     << " (Debian packages xdotool, jackd2, coreutils)";
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

    void StartProgram(const std::map<std::string, std::string>& environment)
    {
        std::map<std::string, std::string> all = environment;
        all["DISPLAY"] = xvfb.Name();
        ASSERT_TRUE(program.Start({ZIMBREL_PROGRAM}, all)) << program.Error();
        program.CloseInput();
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

    void ClickAt(std::pair<int, int> where)
    {
        Xdotool({"mousemove", std::to_string(where.first), std::to_string(where.second), "click", "1"});
        std::this_thread::sleep_for(300ms);
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
        std::this_thread::sleep_for(300ms);
    }

    // Opens the pop-up of the panel field whose pop-up button lies at view
    // point (x, y) and types `keys` into it.
    void UsePopUp(int x, int y, const std::vector<std::string>& keys)
    {
        ClickAt(ViewPoint(x, y));
        std::vector<std::string> arguments{"key", "--delay", "40"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        Xdotool(arguments);
        std::this_thread::sleep_for(300ms);
    }

    // Moves the pointer to the left or right edge of the screen.
    void MovePointerToEdge(bool right)
    {
        Xdotool({"mousemove_relative", "--", right ? "3000" : "-3000", "0"});
    }

    // Asks the window to close, as a window manager's close button does.
    void CloseWindow()
    {
        ::Display* display = XOpenDisplay(xvfb.Name().c_str());
        ASSERT_NE(display, nullptr);
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window.id;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window.id, False, NoEventMask, &event);
        XCloseDisplay(display);
    }

    XvfbServer xvfb;
    ChildProcess program;
    WindowGeometry window;
};

// Waits until `dump` printed a line holding `text` after `from` lines.
bool DumpShows(ChildProcess& dump, const std::string& text, size_t from, size_t* at = nullptr)
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
        5s);
}

} // namespace

TEST_F(ProgramTest, PointerDrivesTheChosenControllerOnTheChosenChannel)
{
    const std::unique_ptr<JackTestServer> jack = ChooseJackTestServer();
    const std::string jackError = jack->Start("zimbrel-program");
    ASSERT_TRUE(jackError.empty()) << jack->Kind() << ": " << jackError;
    ChildProcess dump;
    ASSERT_TRUE(dump.Start({"setpriv", "--pdeathsig", "TERM", "stdbuf", "-oL", "jack_midi_dump"}));
    ASSERT_TRUE(WaitUntil([] { return RunTool({"jack_lsp", "midi-monitor:input"}).status == 0; }, 10s));

    StartProgram({{"ZIMBREL_MIDI", "jack"}});
    EXPECT_TRUE(program.WaitForError("MIDI service: JACK", 5s)) << program.Errors();
    // The relay is a window too, but it never appears: the main window is
    // the only named window on screen.
    std::istringstream visible(Xdotool({"search", "--onlyvisible", "--maxdepth", "1", "--name", "."}));
    std::vector<std::string> shown;
    for (std::string id; visible >> id;)
        shown.push_back(Xdotool({"getwindowname", id}));
    EXPECT_EQ(shown, std::vector<std::string>{"Zimbrel 2.01\n"});

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

    size_t seen = 0;
    MovePointerToEdge(false);
    EXPECT_TRUE(DumpShows(dump, "b1 07 00", seen, &seen)) << dump.Output();
    MovePointerToEdge(true);
    EXPECT_TRUE(DumpShows(dump, "b1 07 7f", seen, &seen)) << dump.Output();

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

    void StartWithJack()
    {
        StartProgram({{"ZIMBREL_MIDI", "jack"}});
        ASSERT_TRUE(WaitUntil([] { return PortListed(); }, 5s)) << program.Errors();
    }

    static bool PortListed() { return RunTool({"jack_lsp"}).output.find("Zimbrel:Zimbrel") != std::string::npos; }

    const std::unique_ptr<JackTestServer> jack = ChooseJackTestServer();
};

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

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
    StartWithJack();
    const auto lost = std::chrono::steady_clock::now();
    xvfb.Stop();
    const int status = program.Wait(5s);
    const auto took = std::chrono::steady_clock::now() - lost;
    EXPECT_EQ(status, 1) << "a crash or a hang instead of an orderly end:\n" << program.Errors();
    EXPECT_LT(took, 1s);
    EXPECT_EQ(Occurrences(program.Errors(), "lost the connection to the X server"), 1u) << program.Errors();
    EXPECT_FALSE(PortListed()) << "the MIDI port outlived the program";
}
