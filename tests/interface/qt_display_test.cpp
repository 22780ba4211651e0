// The Qt display under an Xvfb of the test's own, driven through real X
// input (xdotool) and read back through real screen grabs (ImageMagick's
// import): a window with a menu bar and a view maps where its frame says,
// its menus open by a click on a title and a pick reaches the window between
// MenusBeginning and MenusEnded, the window's thread keeps working while a
// menu is open, the view is not hidden under the real menu bar, and a
// 129-item pop-up stays on a short screen.
//
// A missing Xvfb, xdotool or import fails the test with the package to
// install. With ZIMBREL_SCREENSHOT_DIR set, screenshots are kept there.

#include "HeadlessFixture.h"

#include "platform/app/Application.h"
#include "platform/display/DesktopDisplay.h"
#include "platform/interface/MenuBar.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/MenuItem.h"
#include "platform/interface/PopUpMenu.h"
#include "platform/interface/TextControl.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/XvfbServer.h"

#include <atomic>
#include <cstdlib>
#include <map>
#include <sstream>
#include <thread>

namespace {

constexpr uint32 kPing = 'ping';
constexpr rgb_color kRed { 255, 0, 0, 255 };

// Runs an X tool to its end and gives its standard output; records a test
// failure (naming the package) when it cannot run or fails.
std::string Tool(const std::vector<std::string>& argv, const std::string& display, const char* package)
{
    const ToolResult tool = RunTool(argv, { { "DISPLAY", display } });
    EXPECT_EQ(tool.status, 0) << argv[0] << " failed (Debian package " << package << "): " << tool.errors;
    return tool.output;
}

std::map<std::string, int> WindowGeometry(const std::string& window, const std::string& display)
{
    std::map<std::string, int> geometry;
    std::istringstream lines(Tool({ "xdotool", "getwindowgeometry", "--shell", window }, display, "xdotool"));
    for (std::string line; std::getline(lines, line);)
        if (const size_t equals = line.find('='); equals != std::string::npos)
            geometry[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
    return geometry;
}

// The geometry of the test's window once it is mapped; empty when it never
// is. The wait is long because a sanitized Qt on a busy machine has been seen
// to take over 10 s to map its first window.
std::map<std::string, int> TestWindowGeometry(const std::string& display)
{
    const ToolResult search
        = RunTool({ "xdotool", "search", "--sync", "--onlyvisible", "--name", "^Qt Display Test$" },
            { { "DISPLAY", display } }, std::chrono::seconds(60));
    EXPECT_EQ(search.status, 0) << "xdotool search failed (Debian package xdotool): " << search.errors;
    const std::string& id = search.output;
    if (id.empty())
        return {};
    return WindowGeometry(id.substr(0, id.find('\n')), display);
}

// The colours of one column of screen pixels, top to bottom.
std::vector<rgb_color> ScreenColumn(int x, int top, int height, const std::string& display)
{
    const std::string crop
        = "1x" + std::to_string(height) + "+" + std::to_string(x) + "+" + std::to_string(top);
    std::istringstream lines(
        Tool({ "import", "-window", "root", "-crop", crop, "-depth", "8", "txt:-" }, display, "imagemagick"));
    std::vector<rgb_color> column;
    for (std::string line; std::getline(lines, line);) {
        const size_t hash = line.find('#');
        if (line.empty() || line[0] == '#' || hash == std::string::npos)
            continue;
        const unsigned long value = std::stoul(line.substr(hash + 1, 6), nullptr, 16);
        column.push_back(rgb_color { uint8(value >> 16), uint8(value >> 8), uint8(value), 255 });
    }
    return column;
}

void KeepScreenshot(const std::string& name, const std::string& display)
{
    if (const char* folder = std::getenv("ZIMBREL_SCREENSHOT_DIR"))
        Tool({ "import", "-window", "root", std::string(folder) + "/" + name + ".png" }, display,
            "imagemagick");
}

// The visible windows of the program, newest last.
std::vector<std::string> VisibleWindows(const std::string& display)
{
    // Its status is ignored: finding no window is no failure here.
    std::istringstream lines(RunTool({ "xdotool", "search", "--onlyvisible", "--class", "zimbrel" },
        { { "DISPLAY",
            display } }).output);
    std::vector<std::string> windows;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            windows.push_back(line);
    return windows;
}

class RecordingBox : public BView {
public:
    RecordingBox(EventLog& log, BRect frame)
        : BView(frame, "box", B_FOLLOW_LEFT, B_WILL_DRAW)
        , fLog(log)
    {
        SetViewColor(kRed);
    }
    void MouseDown(BPoint where) override
    {
        fLog.Add("down " + std::to_string(int(where.x)) + "," + std::to_string(int(where.y)));
    }

private:
    EventLog& fLog;
};

// The main window's shape: a menu bar with File, Channel and Port (filled
// as the menus open), and a red view filling the rest below the bar.
class MenuBarWindow : public RecordingWindow {
public:
    explicit MenuBarWindow(EventLog& log)
        : RecordingWindow(log, "Qt Display Test", BRect(100, 100, 500, 410))
    {
        auto* bar = new BMenuBar(Bounds(), "bar");
        auto* file = new BMenu("File");
        file->AddItem(new BMenuItem("About", new BMessage(B_ABOUT_REQUESTED)));
        bar->AddItem(file);
        auto* channel = new BMenu("Channel");
        for (const char* label : { "Off", "1", "2" })
            channel->AddItem(new BMenuItem(label, new BMessage('vCCH')));
        channel->SetRadioMode(true);
        channel->ItemAt(0)->SetMarked(true);
        bar->AddItem(channel);
        port = new BMenu("Port");
        bar->AddItem(port);
        AddChild(bar);
        AddChild(new RecordingBox(log, BRect(0, 20, 400, 310)));
    }

    void MessageReceived(BMessage* message) override
    {
        if (message->what == kPing) {
            if (++pings == 50)
                RecordingWindow::MessageReceived(message);
            return;
        }
        RecordingWindow::MessageReceived(message);
    }
    void MenusBeginning() override
    {
        RecordingWindow::MenusBeginning();
        auto* message = new BMessage('vCMP');
        message->AddInt32("portselect", 100);
        port->AddItem(new BMenuItem("Synth & Co", message));
    }
    void MenusEnded() override
    {
        RecordingWindow::MenusEnded();
        for (int32 i = port->CountItems() - 1; i >= 0; --i)
            delete port->RemoveItem(i);
    }

    BMenu* port;
    int pings = 0; // window thread only
};

// A window whose MenusBeginning overruns the display's bound: one Port item
// is ready in time, another comes after the menus have opened.
class SlowMenuWindow : public MenuBarWindow {
public:
    explicit SlowMenuWindow(EventLog& log)
        : MenuBarWindow(log)
        , fPicks(log)
    {
    }

    void MenusBeginning() override
    {
        MenuBarWindow::MenusBeginning();
        std::this_thread::sleep_for(DisplayService::kMenusBeginningTimeout + std::chrono::milliseconds(400));
        auto* message = new BMessage('vCMP');
        message->AddInt32("portselect", 200);
        port->AddItem(new BMenuItem("Late Synth", message));
    }
    void MessageReceived(BMessage* message) override
    {
        if (message->what == 'vCMP')
            fPicks.Add("picked " + std::to_string(message->FindInt32("portselect")));
        MenuBarWindow::MessageReceived(message);
    }

private:
    EventLog& fPicks;
};

size_t IndexOf(const std::vector<std::string>& entries, const std::string& entry)
{
    return size_t(std::find(entries.begin(), entries.end(), entry) - entries.begin());
}

class QtDisplayTest : public ::testing::Test {
protected:
    // Starts an Xvfb with `screen` and opens the Qt display on it.
    void Open(const std::string& screen)
    {
        xvfb = std::make_unique<XvfbServer>(screen);
        ASSERT_TRUE(xvfb->IsRunning()) << xvfb->Error();
        ::setenv("DISPLAY", xvfb->Name().c_str(), 1);
        // A Wayland desktop around the test would be preferred to the Xvfb.
        ::unsetenv("WAYLAND_DISPLAY");
        ASSERT_EQ(open_desktop_display(), B_OK);
    }
    void TearDown() override
    {
        EXPECT_TRUE(BLooper::WaitForOtherLoopers(nullptr, kPatience));
        DisplayService::Install(nullptr);
    }

    // Plays `user` on a thread of its own while the application runs on
    // this one, as the main thread; the application quits after it.
    void RunWith(const std::function<void()>& user)
    {
        BApplication application("application/x-vnd.zimbrel-display-test");
        std::thread player([&] {
            user();
            be_app->PostMessage(B_QUIT_REQUESTED);
        });
        application.Run();
        player.join();
    }

    std::unique_ptr<XvfbServer> xvfb;
    EventLog log;
};

TEST_F(QtDisplayTest, TheMenuBarOpensByXInputAPickArrivesAndTheViewStaysClearOfTheBar)
{
    Open("1024x768x24");
    auto* window = new MenuBarWindow(log);
    window->Show();
    const BMessenger messenger(window);
    const std::string display = xvfb->Name();

    RunWith([&] {
        auto geometry = TestWindowGeometry(display);
        ASSERT_FALSE(geometry.empty()) << "the window never mapped";
        EXPECT_EQ(geometry["X"], 100);
        EXPECT_EQ(geometry["Y"], 100);
        EXPECT_EQ(geometry["WIDTH"], 401);
        const int content = 311 - 20; // the frame's height less the API's bar strip
        const int barHeight = geometry["HEIGHT"] - content;
        EXPECT_GT(barHeight, 0);

        // The red view must start right under the real bar and keep all its
        // rows: none hidden under the bar, none cut at the bottom.
        const std::vector<rgb_color> column = ScreenColumn(105, 100, geometry["HEIGHT"], display);
        const auto firstRed = std::find(column.begin(), column.end(), kRed);
        EXPECT_EQ(firstRed - column.begin(), barHeight);
        EXPECT_EQ(std::count(column.begin(), column.end(), kRed), content);
        KeepScreenshot("window", display);

        Tool({ "xdotool", "mousemove", "--sync", "150", std::to_string(100 + barHeight + 30), "click", "1" },
            display, "xdotool");
        EXPECT_TRUE(log.WaitFor("down 50,30"))
            << "a press on the view did not reach MouseDown in view coordinates";

        // Click the first title of the bar.
        Tool({ "xdotool", "mousemove", "--sync", "112", std::to_string(100 + barHeight / 2), "click", "1" },
            display, "xdotool");
        ASSERT_TRUE(log.WaitFor("MenusBeginning"));
        // With a menu open, the window's thread goes on handling messages.
        for (int i = 0; i < 50; ++i)
            messenger.SendMessage(kPing);
        EXPECT_TRUE(log.WaitFor("message ping on window thread"));
        // Over to Port, whose one item MenusBeginning added, and pick it.
        Tool({ "xdotool", "key", "--delay", "150", "Right", "Right" }, display, "xdotool");
        KeepScreenshot("port-menu", display);
        Tool({ "xdotool", "key", "--delay", "150", "Down", "Return" }, display, "xdotool");
        EXPECT_TRUE(log.WaitFor("MenusEnded"));
    });

    const auto entries = log.Entries();
    const size_t pick = IndexOf(entries, "message vCMP on window thread");
    EXPECT_LT(IndexOf(entries, "MenusBeginning"), pick);
    EXPECT_LT(pick, IndexOf(entries, "MenusEnded")) << "the pick must arrive before MenusEnded";
    EXPECT_LT(IndexOf(entries, "MenusEnded"), entries.size());
    EXPECT_TRUE(log.WaitFor("deleted")) << "quitting the application must close its windows";
}

TEST_F(QtDisplayTest, MenusThatOverrunTheirBoundDoNotChangeUnderTheUser)
{
    Open("1024x768x24");
    auto* window = new SlowMenuWindow(log);
    window->Show();
    const std::string display = xvfb->Name();

    RunWith([&] {
        auto geometry = TestWindowGeometry(display);
        ASSERT_FALSE(geometry.empty()) << "the window never mapped";
        const int barHeight = geometry["HEIGHT"] - (311 - 20);
        Tool({ "xdotool", "mousemove", "--sync", "112", std::to_string(100 + barHeight / 2), "click", "1" },
            display, "xdotool");
        ASSERT_TRUE(log.WaitFor("MenusBeginning"));
        // Long enough for the late item to reach the display, well after
        // the menus opened with what was ready.
        std::this_thread::sleep_for(DisplayService::kMenusBeginningTimeout * 3);
        // Over to Port and pick its last item: the one the user sees there.
        Tool({ "xdotool", "key", "--delay", "150", "Right", "Right", "End", "Return" }, display, "xdotool");
        EXPECT_TRUE(log.WaitFor("MenusEnded"));
    });

    const auto entries = log.Entries();
    EXPECT_LT(IndexOf(entries, "picked 100"), entries.size()) << "the pick did not land on the item shown";
    EXPECT_EQ(IndexOf(entries, "picked 200"), entries.size())
        << "an item added after the menus opened was picked";
    EXPECT_TRUE(log.WaitFor("deleted"));
}

TEST_F(QtDisplayTest, APopUpOf129ItemsStaysOnAShortScreenAndItsLastItemCanBePicked)
{
    Open("1024x300x24");
    auto* window = new RecordingWindow(log, "Long Menu", BRect(50, 20, 450, 120));
    auto* menu = new BPopUpMenu("off");
    for (int value = 0; value <= 128; ++value) {
        auto* message = new BMessage('vCXA');
        message->AddInt16("message", int16(value));
        const std::string label
            = value == 128 ? "off" : std::to_string(value) + " Reserved For Channel Mode Messages";
        menu->AddItem(new BMenuItem(label.c_str(), message));
    }
    auto* field
        = new BMenuField(BRect(10, 10, 190, 40), "x select", "Horizontal", menu, B_FOLLOW_LEFT, B_WILL_DRAW);
    window->AddChild(field);
    // As short as the preset name field's frame: the text field must still
    // be tall enough to type into.
    auto* name = new BTextControl(BRect(10, 50, 300, 60), "PresetName", "Name:", "", new BMessage('bsav'));
    window->AddChild(name);
    // Navigable like the name field; the menu field above both is not.
    auto* second = new BTextControl(BRect(10, 80, 300, 90), "second", "Second:", "", new BMessage('secd'));
    window->AddChild(second);
    window->Show();
    const std::string display = xvfb->Name();

    RunWith([&] {
        Tool({ "xdotool", "search", "--sync", "--onlyvisible", "--name", "^Long Menu$" }, display, "xdotool");
        const size_t windowsBefore = VisibleWindows(display).size();
        // The pop-up button starts at the divider, half-way along the field.
        Tool({ "xdotool", "mousemove", "--sync", "165", "45", "click", "1" }, display, "xdotool");
        std::vector<std::string> windows;
        for (int attempt = 0; attempt < 100 && windows.size() <= windowsBefore; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            windows = VisibleWindows(display);
        }
        ASSERT_GT(windows.size(), windowsBefore) << "the pop-up did not open";
        auto popup = WindowGeometry(windows.back(), display);
        KeepScreenshot("long-menu", display);
        EXPECT_LE(popup["Y"] + popup["HEIGHT"], 300) << "the menu runs off the screen";
        EXPECT_GE(popup["Y"], 0);
        EXPECT_LT(popup["WIDTH"], 600) << "the menu spread into columns instead of scrolling";

        Tool({ "xdotool", "key", "--delay", "150", "End", "Return" }, display, "xdotool");
        ASSERT_TRUE(log.WaitFor("message vCXA on window thread"));
        window->RunTask([this, window, field] {
            log.Add("picked " + std::to_string(window->received.back().FindInt16("message")) + " shown as "
                + field->MenuItem()->Label());
        });
        EXPECT_TRUE(log.WaitFor("picked 128 shown as off"));

        // Type into the text field (right of its divider, at 145) and commit.
        Tool({ "xdotool", "mousemove", "--sync", "250", "76", "click", "1" }, display, "xdotool");
        Tool({ "xdotool", "type", "--delay", "20", "Bright Lead" }, display, "xdotool");
        Tool({ "xdotool", "key", "Return" }, display, "xdotool");
        ASSERT_TRUE(log.WaitFor("message bsav on window thread"));
        window->RunTask([this, name] { log.Add(std::string("text ") + name->Text()); });
        EXPECT_TRUE(log.WaitFor("text Bright Lead"));
        KeepScreenshot("text-control", display);

        // Tab goes round the navigable views only: from the second field
        // it comes back to the name field, past the menu field's button.
        Tool({ "xdotool", "key", "--delay", "100", "Tab" }, display, "xdotool");
        Tool({ "xdotool", "type", "--delay", "20", "B" }, display, "xdotool");
        Tool({ "xdotool", "key", "--delay", "100", "Tab" }, display, "xdotool");
        ASSERT_TRUE(log.WaitFor("message secd on window thread")) << "Tab did not reach the second field";
        Tool({ "xdotool", "type", "--delay", "20", "Pad" }, display, "xdotool");
        Tool({ "xdotool", "key", "Return" }, display, "xdotool");
        for (int attempt = 0;
             attempt < 100 && std::ranges::count(log.Entries(), "message bsav on window thread") < 2;
             ++attempt)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        window->RunTask([this, name] { log.Add(std::string("text after Tab ") + name->Text()); });
        EXPECT_TRUE(log.WaitFor("text after Tab Pad")) << "Tab stopped at a view that is not navigable";
    });

    ASSERT_EQ(log.WaitFor("deleted"), true);
}

} // namespace
