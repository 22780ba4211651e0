// The real zimbrel program, as a user meets it, under an Xvfb (1024 x 768 x
// 24) and a dummy JACK server (48 kHz, 256 frames) that the benchmark starts
// itself, with ZIMBREL_MIDI=jack:
//   - start-up: from spawning the program to its main window "Zimbrel 2.01"
//     being mapped, and to its panel of 18 menu fields being drawn
//     (target: under 0.5 s);
//   - resident memory after a second of rest, and CPU time over two seconds
//     with the pointer resting (target: nothing measurable);
//   - a click on the Horizontal controller field until its 129-item pop-up
//     is mapped (target: under 0.1 s);
//   - Control Changes arriving at a consumer while the pointer moves 1,000
//     times a second, with no pop-up open and with one open (target: the
//     same rate). The program is configured through its own menus with X
//     input, and the consumer is jack_midi_dump, picked in the Port menu;
//   - the program's CPU time per pointer motion at 1,000 motions a second
//     with the window visible and the Horizontal row sending, with its live
//     meters on and off (ZIMBREL_METERS=off), in alternating runs (target:
//     within 10 %);
//   - pointer-to-consumer latency: from an XTest motion to the process
//     cycle in which a JACK client of the benchmark's own receives the
//     Control Change it caused (jack_get_time on both ends);
//   - the Port menu with 1,000 consumers (one client's MIDI inputs): from a
//     click on the menu bar until the menus are open, already filled, and
//     until the Port menu with its 1,000 items is mapped (target: under
//     0.1 s, and the menus never overrun the display's bound);
//   - zimbrel against the floor, a minimal program doing the same work
//     (BM_AgainstFloor, see there);
//   - the program's CPU time per pointer motion over the canvas against
//     over the screen (the relay), in alternating runs of one program
//     (BM_CanvasAgainstRelay; target: the canvas costs no more);
//   - a soak of a million motions (BM_Soak, minutes long, see there).
//
// ZIMBREL_BENCH_JACK_PERIOD sets jackd's period in frames; under pw-jack,
// with ZIMBREL_TEST_JACK_SERVER=pipewire, a private PipeWire serves instead
// (its quantum set with PIPEWIRE_QUANTUM). jack_servers_bench runs the
// latency both ways.
//
// The benchmark reads the screen through an X connection of its own: the
// root window's map notifications tell when a window appears, and the
// window's pixels where the panel is, since Qt's menu bar decides how far
// down the view starts.

#include "bench/JackRack.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/ChooseJackTestServer.h"
#include "tests/common/PrivateSettings.h"
#include "tests/common/XvfbServer.h"
#include "tests/integration/relay_pointer_driver.h"

#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <numeric>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

// Xlib last: its macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kTitle = "Zimbrel 2.01";
constexpr const char* kConsumerName = "zimbrel-app-bench";
constexpr unsigned long kPanelGrey = 0x969696;

// The panel in the view's coordinates: six rows 30 high from y = 70, each
// with a controller field (x 10..190, its pop-up button right of the row's
// label) and two range fields (buttons from x 190 and 270).
constexpr int kRows = 6;
constexpr int kRowTop = 70;
constexpr int kRowHeight = 30;
constexpr int kHorizontalRow = 1;
constexpr int kVerticalRow = 0;
constexpr int kControllerButtonX = 175;
constexpr int kFieldButtonX[3] = { kControllerButtonX, 200, 280 };

constexpr int kStartUps = 5;
constexpr int kPopUpOpenings = 10;
constexpr int kMotionsPerSecond = 1000;
constexpr int kMotionSeconds = 2;
constexpr auto kMotionSpacing = std::chrono::microseconds(1000000 / kMotionsPerSecond);
constexpr double kStartUpTargetS = 0.5;
constexpr double kPopUpTargetS = 0.1;
// "The same rate", allowing for the scheduling noise of a shared machine.
constexpr double kSameRateTolerance = 0.05;

std::unique_ptr<XvfbServer> gXvfb;
std::unique_ptr<JackTestServer> gJack;
int gPeriodFrames = DummyJackServer::kPeriodFrames;
std::vector<std::string> gSummary;
bool gFailed = false;

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(fraction * double(values.size())))];
}

// The values rounded, separated by blanks: each run's figure.
std::string Runs(const std::vector<double>& values)
{
    std::string text;
    for (double value : values)
        text += (text.empty() ? "" : " ") + std::to_string(int(std::lround(value)));
    return text;
}

// Button faces and menus are drawn lighter than the grey panel.
bool IsLight(unsigned long pixel)
{
    return (pixel >> 16 & 0xff) > 200 && (pixel >> 8 & 0xff) > 200 && (pixel & 0xff) > 200;
}

void Fail(benchmark::State& state, const std::string& why)
{
    gFailed = true;
    gSummary.push_back("FAILED: " + why);
    state.SkipWithError(why.c_str());
}

// Where the main window's view is on the screen (it spans the window's
// width, below the menu bar), and how many of the panel's 18 menu fields
// are drawn.
struct PanelView {
    int x = 0;
    int y = 0;
    // The middle of the menu bar above the view, on the screen.
    int barY = 0;
    int fieldsDrawn = 0;

    // The middle of a row's controller pop-up button, on the screen.
    int ControllerX() const { return x + kControllerButtonX; }
    int RowY(int row) const { return y + kRowTop + row * kRowHeight + kRowHeight / 2; }
};

// The benchmark's own view of the X server: map and unmap notifications of
// top-level windows, and window pixels.
class ScreenWatcher {
public:
    explicit ScreenWatcher(const std::string& display)
        : fDisplay(XOpenDisplay(display.c_str()))
    {
        if (fDisplay == nullptr)
            return;
        // Reading a window that has just gone is an error to ignore, not a
        // reason for Xlib to end the benchmark.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        XSelectInput(fDisplay, DefaultRootWindow(fDisplay), SubstructureNotifyMask);
        XSync(fDisplay, False);
    }
    ~ScreenWatcher()
    {
        if (fDisplay != nullptr)
            XCloseDisplay(fDisplay);
    }
    ScreenWatcher(const ScreenWatcher&) = delete;
    ScreenWatcher& operator=(const ScreenWatcher&) = delete;

    bool IsOpen() const { return fDisplay != nullptr; }

    // Forgets what happened so far, so that a wait sees only what follows.
    void Discard()
    {
        XSync(fDisplay, False);
        while (XPending(fDisplay) > 0) {
            XEvent event;
            XNextEvent(fDisplay, &event);
        }
    }

    // The first event from now on that `match` accepts, if one comes in time.
    template <typename Match> std::optional<XEvent> WaitFor(Match match, std::chrono::milliseconds timeout)
    {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            while (XPending(fDisplay) > 0) {
                XEvent event;
                XNextEvent(fDisplay, &event);
                if (match(event))
                    return event;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd watched { ConnectionNumber(fDisplay), POLLIN, 0 };
            poll(&watched, 1, int(left.count()));
        }
    }

    // A top-level window on show whose whole name is `title`, or 0.
    Window FindShowing(const std::string& title)
    {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (!XQueryTree(fDisplay, DefaultRootWindow(fDisplay), &root, &parent, &children, &count))
            return 0;
        for (unsigned int i = 0; i < count && found == 0; ++i)
            if (IsShowing(children[i]) && NameOf(children[i]) == title)
                found = children[i];
        XFree(children);
        return found;
    }

    // Where a window's top left corner is on the screen.
    std::pair<int, int> Origin(Window window)
    {
        int x = 0;
        int y = 0;
        Window child = 0;
        XTranslateCoordinates(fDisplay, window, DefaultRootWindow(fDisplay), 0, 0, &x, &y, &child);
        return { x, y };
    }

    Window WaitForMainWindow(std::chrono::milliseconds timeout)
    {
        const std::optional<XEvent> mapped = WaitFor(
            [this](const XEvent& event) {
                return event.type == MapNotify && !event.xmap.override_redirect
                    && NameOf(event.xmap.window) == kTitle;
            },
            timeout);
        return mapped ? mapped->xmap.window : 0;
    }

    // A pop-up menu is an override-redirect top-level window.
    Window WaitForPopUp(std::chrono::milliseconds timeout)
    {
        const std::optional<XEvent> mapped = WaitFor(
            [](const XEvent& event) { return event.type == MapNotify && event.xmap.override_redirect; },
            timeout);
        return mapped ? mapped->xmap.window : 0;
    }

    bool WaitForUnmap(Window window, std::chrono::milliseconds timeout)
    {
        return WaitFor(
            [window](
                const XEvent& event) { return event.type == UnmapNotify && event.xunmap.window == window; },
            timeout)
            .has_value();
    }

    // The window's title in UTF-8, as Qt sets it (_NET_WM_NAME).
    std::string NameOf(Window window)
    {
        Atom type = 0;
        int format = 0;
        unsigned long length = 0;
        unsigned long left = 0;
        unsigned char* name = nullptr;
        std::string text;
        if (XGetWindowProperty(fDisplay, window, XInternAtom(fDisplay, "_NET_WM_NAME", False), 0, 1024, False,
                XInternAtom(fDisplay, "UTF8_STRING", False), &type, &format, &length, &left, &name)
                == Success
            && name != nullptr && format == 8)
            text.assign(reinterpret_cast<const char*>(name), length);
        if (name != nullptr)
            XFree(name);
        return text;
    }

    int HeightOf(Window window)
    {
        XWindowAttributes attributes {};
        return XGetWindowAttributes(fDisplay, window, &attributes) ? attributes.height : 0;
    }

    bool IsShowing(Window window)
    {
        XWindowAttributes attributes {};
        return XGetWindowAttributes(fDisplay, window, &attributes) && attributes.map_state == IsViewable;
    }

    // The view starts at the first row of panel grey down the window's
    // left edge, below the menu bar; a field counts as drawn when its
    // button face, lighter than the panel, shows.
    std::optional<PanelView> ReadPanel(Window window)
    {
        XWindowAttributes attributes {};
        Window child = 0;
        PanelView view;
        if (!XGetWindowAttributes(fDisplay, window, &attributes)
            || !XTranslateCoordinates(
                fDisplay, window, DefaultRootWindow(fDisplay), 0, 0, &view.x, &view.y, &child))
            return std::nullopt;
        XImage* image = XGetImage(fDisplay, window, 0, 0, unsigned(attributes.width),
            unsigned(attributes.height), AllPlanes, ZPixmap);
        if (image == nullptr)
            return std::nullopt;
        int top = 0;
        while (top < attributes.height && XGetPixel(image, 5, top) != kPanelGrey)
            ++top;
        const int lastRowMiddle = top + kRowTop + (kRows - 1) * kRowHeight + kRowHeight / 2;
        if (lastRowMiddle < attributes.height && kFieldButtonX[2] < attributes.width) {
            for (int row = 0; row < kRows; ++row) {
                for (int x : kFieldButtonX)
                    view.fieldsDrawn
                        += IsLight(XGetPixel(image, x, top + kRowTop + row * kRowHeight + kRowHeight / 2));
            }
        }
        XDestroyImage(image);
        if (top == attributes.height)
            return std::nullopt;
        view.barY = view.y + top / 2;
        view.y += top;
        return view;
    }

    // Until Qt paints a new menu, its window shows what was beneath it; a
    // painted menu is light down its right margin, where no text goes.
    bool LooksPainted(Window menu)
    {
        XWindowAttributes attributes {};
        if (!XGetWindowAttributes(fDisplay, menu, &attributes) || attributes.width < 10)
            return false;
        XImage* image = XGetImage(
            fDisplay, menu, attributes.width - 5, 0, 1, unsigned(attributes.height), AllPlanes, ZPixmap);
        if (image == nullptr)
            return false;
        int light = 0;
        for (int y = 0; y < attributes.height; ++y)
            light += IsLight(XGetPixel(image, 0, y));
        XDestroyImage(image);
        return light >= attributes.height * 9 / 10;
    }

private:
    Display* fDisplay;
};

// A zimbrel started for one benchmark, its window up and its panel drawn.
struct Launch {
    std::unique_ptr<ChildProcess> program = std::make_unique<ChildProcess>();
    Window window = 0;
    PanelView panel;
    double mappedS = 0;
    double panelS = 0;
    std::string error;
};

// The program lists and writes presets here, never in the user's settings.
const PrivateSettings& BenchSettings()
{
    static const PrivateSettings settings;
    return settings;
}

Launch StartZimbrel(ScreenWatcher& screen, const std::map<std::string, std::string>& extraEnvironment = {},
    const std::vector<std::string>& arguments = {})
{
    Launch launch;
    if (!screen.IsOpen()) {
        launch.error = "cannot open the X display " + gXvfb->Name();
        return launch;
    }
    screen.Discard();
    const Clock::time_point spawned = Clock::now();
    std::map<std::string, std::string> environment { { "DISPLAY", gXvfb->Name() }, { "WAYLAND_DISPLAY", "" },
        { "ZIMBREL_MIDI", "jack" },
        { "XDG_CONFIG_HOME", BenchSettings().Root() } };
    environment.insert(extraEnvironment.begin(), extraEnvironment.end());
    std::vector<std::string> argv { ZIMBREL_PROGRAM };
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    if (!launch.program->Start(argv, environment)) {
        launch.error = "cannot start " ZIMBREL_PROGRAM ": " + launch.program->Error();
        return launch;
    }
    launch.window = screen.WaitForMainWindow(10s);
    launch.mappedS = Seconds(Clock::now() - spawned);
    std::optional<PanelView> panel;
    const bool drawn = launch.window != 0
        && WaitUntil(
            [&] {
                panel = screen.ReadPanel(launch.window);
                return panel && panel->fieldsDrawn == 3 * kRows;
            },
            10s);
    launch.panelS = Seconds(Clock::now() - spawned);
    if (drawn) {
        launch.panel = *panel;
        return launch;
    }
    launch.error = launch.window == 0 ? "no window titled \"Zimbrel 2.01\" was mapped within 10 s"
                                      : "the panel showed " + std::to_string(panel ? panel->fieldsDrawn : 0)
            + " of 18 menu fields after 10 s";
    // Whatever the program said on the way.
    launch.program->Wait(500ms);
    launch.error += "; zimbrel said: " + launch.program->Errors();
    return launch;
}

void BM_StartUp(benchmark::State& state)
{
    ScreenWatcher screen(gXvfb->Name());
    std::vector<double> mapped;
    std::vector<double> drawn;
    for (auto _ : state) {
        Launch launch = StartZimbrel(screen);
        if (!launch.error.empty()) {
            Fail(state, launch.error);
            return;
        }
        mapped.push_back(launch.mappedS);
        drawn.push_back(launch.panelS);
        state.SetIterationTime(launch.panelS);
    }
    state.counters["mapped_median_s"] = Percentile(mapped, 0.5);
    state.counters["mapped_max_s"] = Percentile(mapped, 1.0);
    state.counters["panel_median_s"] = Percentile(drawn, 0.5);
    state.counters["panel_max_s"] = Percentile(drawn, 1.0);
    char line[256];
    std::snprintf(line, sizeof line,
        "start-up over %zu runs: window mapped median %.3f s, max %.3f s; full panel drawn median %.3f s, "
        "max %.3f s (target < %.1f s: %s)",
        drawn.size(), Percentile(mapped, 0.5), Percentile(mapped, 1.0), Percentile(drawn, 0.5),
        Percentile(drawn, 1.0), kStartUpTargetS, Percentile(drawn, 1.0) < kStartUpTargetS ? "met" : "MISSED");
    gSummary.push_back(line);
}
BENCHMARK(BM_StartUp)->Iterations(kStartUps)->UseManualTime()->Unit(benchmark::kMillisecond);

// The CPU time (utime + stime, in clock ticks) that a process or thread,
// given its /proc stat file, has used so far.
long CpuTicks(const std::filesystem::path& stat)
{
    std::ifstream file(stat);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The command name may hold spaces; the fields after it do not.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::vector<std::string> field((std::istream_iterator<std::string>(fields)), {});
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    return field.size() > 12 ? std::stol(field[11]) + std::stol(field[12]) : 0;
}

// A number from a /proc status file, such as "VmRSS" (in kB).
long StatusField(const std::filesystem::path& status, const std::string& name)
{
    std::ifstream file(status);
    for (std::string line; std::getline(file, line);) {
        if (line.rfind(name + ":", 0) == 0)
            return std::stol(line.substr(name.size() + 1));
    }
    return 0;
}

// What one thread has used so far: CPU ticks, its time on a CPU in
// nanoseconds (schedstat, finer than ticks), and context switches, which
// count how often it slept (voluntary) or was pushed off a CPU (involuntary).
struct ThreadUse {
    std::string name;
    long ticks = 0;
    long switches = 0;
    long voluntary = 0;
    long involuntary = 0;
    long long runNs = 0;

    ThreadUse Since(const ThreadUse& before) const
    {
        return { name, ticks - before.ticks, switches - before.switches, voluntary - before.voluntary,
            involuntary - before.involuntary, runNs - before.runNs };
    }
};

std::map<std::string, ThreadUse> ThreadUses(pid_t pid)
{
    std::map<std::string, ThreadUse> uses;
    std::error_code ignored;
    for (const auto& task :
        std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored)) {
        ThreadUse& use = uses[task.path().filename()];
        std::ifstream comm(task.path() / "comm");
        std::getline(comm, use.name);
        use.ticks = CpuTicks(task.path() / "stat");
        use.voluntary = StatusField(task.path() / "status", "voluntary_ctxt_switches");
        use.involuntary = StatusField(task.path() / "status", "nonvoluntary_ctxt_switches");
        use.switches = use.voluntary + use.involuntary;
        std::ifstream schedstat(task.path() / "schedstat");
        schedstat >> use.runNs;
    }
    return uses;
}

void BM_IdleMemoryAndCpu(benchmark::State& state)
{
    ScreenWatcher screen(gXvfb->Name());
    const double tickMs = 1000.0 / double(sysconf(_SC_CLK_TCK));
    for (auto _ : state) {
        Launch launch = StartZimbrel(screen);
        if (!launch.error.empty()) {
            Fail(state, launch.error);
            return;
        }
        const std::filesystem::path proc = "/proc/" + std::to_string(launch.program->Pid());
        std::this_thread::sleep_for(1s);
        const auto mebibytes
            = [&](const char* field) { return double(StatusField(proc / "status", field)) / 1024.0; };
        const double rssMiB = mebibytes("VmRSS");
        const long threads = StatusField(proc / "status", "Threads");

        const long ticksBefore = CpuTicks(proc / "stat");
        std::map<std::string, ThreadUse> uses = ThreadUses(launch.program->Pid());
        const Clock::time_point start = Clock::now();
        std::this_thread::sleep_for(2s);
        const long ticks = CpuTicks(proc / "stat") - ticksBefore;
        const double seconds = Seconds(Clock::now() - start);
        const double cpuMs = tickMs * double(ticks);

        // The thread that woke up most, told apart from the rest: with
        // JACK, one thread runs every process cycle by design. Each thread's
        // ticks round down on their own, so the threads' sum can fall a tick
        // or two short of the process's.
        long switches = 0;
        long threadTicks = 0;
        std::string busiest;
        ThreadUse busiestUse;
        for (const auto& [id, now] : ThreadUses(launch.program->Pid())) {
            const ThreadUse& before = uses[id];
            const ThreadUse used = now.Since(before);
            switches += used.switches;
            threadTicks += used.ticks;
            if (busiest.empty() || used.switches > busiestUse.switches) {
                busiest = id;
                busiestUse = used;
            }
        }
        state.SetIterationTime(seconds);
        state.counters["rss_MiB"] = rssMiB;
        state.counters["threads"] = double(threads);
        state.counters["idle_cpu_ms"] = cpuMs;
        state.counters["idle_cpu_percent"] = cpuMs / 10.0 / seconds;
        state.counters["wakeups_per_s"] = double(switches) / seconds;
        char line[320];
        std::snprintf(line, sizeof line,
            "idle memory after 1 s: resident %.1f MiB (anonymous %.1f, files %.1f, shared memory %.1f), "
            "%ld threads",
            rssMiB, mebibytes("RssAnon"), mebibytes("RssFile"), mebibytes("RssShmem"), threads);
        gSummary.push_back(line);
        std::snprintf(line, sizeof line,
            "idle CPU, pointer at rest for %.1f s: %.0f ms (%.2f %%, clock tick %.0f ms; target nothing "
            "measurable: %s), %.0f wake-ups/s",
            seconds, cpuMs, cpuMs / 10.0 / seconds, tickMs, ticks == 0 ? "met" : "MISSED",
            double(switches) / seconds);
        gSummary.push_back(line);
        std::snprintf(line, sizeof line,
            "  of which thread %s \"%s\": %.0f wake-ups/s (JACK runs %.1f cycles/s), %.0f ms; all other "
            "threads: %.0f ms",
            busiest.c_str(), busiestUse.name.c_str(), double(busiestUse.switches) / seconds,
            double(DummyJackServer::kSampleRate) / gPeriodFrames,
            tickMs * double(busiestUse.ticks), tickMs * double(threadTicks - busiestUse.ticks));
        gSummary.push_back(line);
    }
}
BENCHMARK(BM_IdleMemoryAndCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// A pop-up opened by a click: its window (0 when none opened) and the
// time from the click until it was mapped and until it was painted.
struct PopUp {
    Window window = 0;
    double mappedS = 0;
    double paintedS = 0;
};

PopUp OpenControllerPopUp(
    ScreenWatcher& screen, relay_test::PointerDriver& pointer, const PanelView& panel, int row)
{
    pointer.MoveTo(panel.ControllerX(), panel.RowY(row));
    screen.Discard();
    const Clock::time_point clicked = Clock::now();
    pointer.Press(1);
    pointer.Release(1);
    PopUp popUp;
    popUp.window = screen.WaitForPopUp(2s);
    popUp.mappedS = Seconds(Clock::now() - clicked);
    if (popUp.window != 0 && WaitUntil([&] { return screen.LooksPainted(popUp.window); }, 2s))
        popUp.paintedS = Seconds(Clock::now() - clicked);
    return popUp;
}

void BM_OpenPopUp(benchmark::State& state)
{
    ScreenWatcher screen(gXvfb->Name());
    relay_test::PointerDriver pointer(gXvfb->Name());
    Launch launch = StartZimbrel(screen);
    if (!launch.error.empty()) {
        Fail(state, launch.error);
        return;
    }
    std::vector<double> mapped;
    std::vector<double> painted;
    for (auto _ : state) {
        const PopUp popUp = OpenControllerPopUp(screen, pointer, launch.panel, kHorizontalRow);
        if (popUp.window == 0) {
            Fail(state, "clicking the Horizontal controller field opened no pop-up within 2 s");
            return;
        }
        // 129 items make a menu much taller than any other pop-up here.
        const int height = screen.HeightOf(popUp.window);
        pointer.TypeKey(XK_Escape);
        if (!screen.WaitForUnmap(popUp.window, 2s)) {
            Fail(state, "Escape did not close the pop-up");
            return;
        }
        if (height < 300) {
            Fail(state, "the pop-up that opened is only " + std::to_string(height) + " pixels high");
            return;
        }
        if (popUp.paintedS == 0) {
            Fail(state, "the pop-up was not painted within 2 s");
            return;
        }
        mapped.push_back(popUp.mappedS);
        painted.push_back(popUp.paintedS);
        state.SetIterationTime(popUp.mappedS);
    }
    state.counters["mapped_first_ms"] = 1000 * mapped.front();
    state.counters["mapped_median_ms"] = 1000 * Percentile(mapped, 0.5);
    state.counters["mapped_max_ms"] = 1000 * Percentile(mapped, 1.0);
    state.counters["painted_max_ms"] = 1000 * Percentile(painted, 1.0);
    char line[320];
    std::snprintf(line, sizeof line,
        "129-item pop-up over %zu openings: click to mapped first %.1f ms, median %.1f ms, max %.1f ms "
        "(target < %.0f ms: %s); click to painted (seen in 5 ms polls) first %.0f ms, median %.0f ms, max "
        "%.0f ms",
        mapped.size(), 1000 * mapped.front(), 1000 * Percentile(mapped, 0.5), 1000 * Percentile(mapped, 1.0),
        1000 * kPopUpTargetS, Percentile(mapped, 1.0) < kPopUpTargetS ? "met" : "MISSED",
        1000 * painted.front(), 1000 * Percentile(painted, 0.5), 1000 * Percentile(painted, 1.0));
    gSummary.push_back(line);
}
BENCHMARK(BM_OpenPopUp)->Iterations(kPopUpOpenings)->UseManualTime()->Unit(benchmark::kMillisecond);

// Types `keys` into an open menu; they should pick an item and close it.
// Empty on success, else what went wrong.
std::string PickWithKeys(ScreenWatcher& screen, relay_test::PointerDriver& pointer, Window menu,
    const std::vector<unsigned long>& keys)
{
    for (unsigned long key : keys)
        pointer.TypeKey(key);
    return screen.WaitForUnmap(menu, 2s) ? "" : "the menu stayed open after its item was picked";
}

// Opens the menu bar's menu at `position` (0 File, 1 Channel, 2 Port) by
// clicking File and walking right, then picks an item with `keys`.
std::string PickFromMenuBar(ScreenWatcher& screen, relay_test::PointerDriver& pointer, const PanelView& panel,
    int position, const std::vector<unsigned long>& keys)
{
    // File is the bar's first title, at its left end.
    pointer.MoveTo(panel.x + 10, panel.barY);
    screen.Discard();
    pointer.Press(1);
    pointer.Release(1);
    Window menu = screen.WaitForPopUp(2s);
    for (int step = 0; menu != 0 && step < position; ++step) {
        pointer.TypeKey(XK_Right);
        menu = screen.WaitForPopUp(2s);
    }
    if (menu == 0)
        return "menu " + std::to_string(position) + " of the menu bar did not open";
    return PickWithKeys(screen, pointer, menu, keys);
}

// "7  Channel Volume" for the Horizontal row, through its pop-up. Empty on
// success, else what went wrong.
std::string PickChannelVolumeForHorizontal(
    ScreenWatcher& screen, relay_test::PointerDriver& pointer, const PanelView& panel)
{
    const Window popUp = OpenControllerPopUp(screen, pointer, panel, kHorizontalRow).window;
    if (popUp == 0)
        return "the Horizontal controller field opened no pop-up";
    std::vector<unsigned long> keys { XK_Home };
    keys.insert(keys.end(), 7, XK_Down);
    keys.push_back(XK_Return);
    return PickWithKeys(screen, pointer, popUp, keys);
}

// Configures the program through its menus: channel 1, a link to
// `consumerPort` (the only MIDI input on the server) and Channel Volume for
// the Horizontal row. Empty on success, else what went wrong.
std::string SendChannelVolumeTo(
    ScreenWatcher& screen, relay_test::PointerDriver& pointer, const PanelView& panel, const std::string& consumerPort)
{
    std::string problem = PickFromMenuBar(screen, pointer, panel, 1, { XK_Home, XK_Down, XK_Return });
    if (problem.empty())
        problem = PickFromMenuBar(screen, pointer, panel, 2, { XK_Home, XK_Return });
    std::string connections;
    if (problem.empty()
        && !WaitUntil(
            [&] {
                const ToolResult listed = RunTool({ "jack_lsp", "-c", consumerPort });
                connections = listed.output;
                return listed.status == 0 && connections.find("Zimbrel:") != std::string::npos;
            },
            2s))
        problem = "picking " + consumerPort + " in the Port menu did not connect it: " + connections;
    return problem.empty() ? PickChannelVolumeForHorizontal(screen, pointer, panel) : problem;
}

// The frame times of the Control Changes on channel 1, controller 7, that
// jack_midi_dump -a has printed so far.
std::vector<long long> ChannelVolumeArrivals(const ChildProcess& dump)
{
    std::vector<long long> frames;
    std::istringstream lines(dump.Output());
    for (std::string line; std::getline(lines, line);) {
        long long frame = 0;
        unsigned status = 0;
        unsigned controller = 0;
        if (std::sscanf(line.c_str(), "%lld: %x %x", &frame, &status, &controller) == 3 && status == 0xb0
            && controller == 7)
            frames.push_back(frame);
    }
    return frames;
}

struct Rate {
    int motions = 0;
    double seconds = 0;
    size_t controlChanges = 0;
    double perS = 0;
    double longestGapMs = 0;
};

// Moves the pointer kMotionsPerSecond times a second between x = 300 and
// x = 700 (Horizontal values 37 and 86, so every motion changes the value)
// and counts what reaches the consumer.
Rate MeasureRate(relay_test::PointerDriver& pointer, const ChildProcess& dump)
{
    constexpr int kY = 600;
    const size_t before = ChannelVolumeArrivals(dump).size();
    Rate rate;
    rate.motions = kMotionsPerSecond * kMotionSeconds;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < rate.motions; ++i) {
        std::this_thread::sleep_until(start + i * kMotionSpacing);
        pointer.MoveTo(i % 2 == 0 ? 300 : 700, kY);
    }
    rate.seconds = Seconds(Clock::now() - start);
    // What is still on its way through the relay, JACK and jack_midi_dump.
    std::this_thread::sleep_for(300ms);
    const std::vector<long long> frames = ChannelVolumeArrivals(dump);
    rate.controlChanges = frames.size() - before;
    rate.perS = double(rate.controlChanges) / rate.seconds;
    for (size_t i = before + 1; i < frames.size(); ++i) {
        rate.longestGapMs = std::max(
            rate.longestGapMs, 1000.0 * double(frames[i] - frames[i - 1]) / DummyJackServer::kSampleRate);
    }
    return rate;
}

// Starts jack_midi_dump as the consumer and the program, and configures the
// program through its own menus: channel 1, the consumer picked in the Port
// menu, Channel Volume for the Horizontal row. Empty on success, else what
// went wrong.
// `shown`, when given, waits for what the arguments open (empty when it
// showed, else what did not) before the menus are used: a window that shows
// meanwhile takes the focus from a menu or pop-up and closes it.
std::string StartConfigured(ScreenWatcher& screen, relay_test::PointerDriver& pointer, ChildProcess& dump,
    Launch& launch, const std::vector<std::string>& arguments = {},
    const std::function<std::string()>& shown = {})
{
    const std::string consumerPort = std::string(kConsumerName) + ":input";
    if (const std::string missing = MissingTools({ "jack_midi_dump", "jack_lsp" }); !missing.empty())
        return missing;
    if (!dump.Start({ "jack_midi_dump", "-a", kConsumerName })
        || !WaitUntil(
            [&] {
                const ToolResult ports = RunTool({ "jack_lsp" });
                return ports.status == 0 && ports.output.find(consumerPort) != std::string::npos;
            },
            5s))
        return "cannot start jack_midi_dump: " + dump.Error() + dump.Errors();
    launch = StartZimbrel(screen, {}, arguments);
    if (!launch.error.empty())
        return launch.error;
    if (shown) {
        if (std::string missing = shown(); !missing.empty())
            return missing;
    }
    const std::string problem = SendChannelVolumeTo(screen, pointer, launch.panel, consumerPort);
    return problem.empty() ? "" : "configuring through the menus: " + problem;
}

void BM_ControlChangeRate(benchmark::State& state)
{
    ScreenWatcher screen(gXvfb->Name());
    relay_test::PointerDriver pointer(gXvfb->Name());
    ChildProcess dump;
    Launch launch;
    const std::string consumerPort = std::string(kConsumerName) + ":input";
    if (const std::string problem = StartConfigured(screen, pointer, dump, launch); !problem.empty()) {
        Fail(state, problem);
        return;
    }

    for (auto _ : state) {
        const Rate closed = MeasureRate(pointer, dump);
        const Window popUp = OpenControllerPopUp(screen, pointer, launch.panel, kVerticalRow).window;
        if (popUp == 0) {
            Fail(state, "the Vertical controller field opened no pop-up");
            return;
        }
        const Rate open = MeasureRate(pointer, dump);
        const bool stayedOpen = screen.IsShowing(popUp);
        pointer.TypeKey(XK_Escape);
        screen.WaitForUnmap(popUp, 2s);
        if (closed.controlChanges == 0) {
            Fail(state, "no Control Change for controller 7 on channel 1 reached " + consumerPort);
            return;
        }
        if (!stayedOpen) {
            Fail(state, "the pop-up closed while the pointer moved");
            return;
        }
        state.SetIterationTime(2 * kMotionSeconds);
        state.counters["cc_per_s_no_popup"] = closed.perS;
        state.counters["cc_per_s_popup_open"] = open.perS;
        state.counters["open_to_closed_ratio"] = open.perS / closed.perS;
        state.counters["longest_gap_ms_no_popup"] = closed.longestGapMs;
        state.counters["longest_gap_ms_popup_open"] = open.longestGapMs;
        for (const auto& [what, rate] :
            { std::pair { "no pop-up open", closed }, std::pair { "pop-up open", open } }) {
            char line[256];
            std::snprintf(line, sizeof line,
                "Control Changes at %s, %s: %zu for %d motions in %.1f s, %.0f/s, longest gap %.1f ms",
                consumerPort.c_str(), what, rate.controlChanges, rate.motions, rate.seconds, rate.perS,
                rate.longestGapMs);
            gSummary.push_back(line);
        }
        char line[160];
        std::snprintf(line, sizeof line,
            "rate with a pop-up open / without: %.3f (target: the same rate, within %.0f %%: %s)",
            open.perS / closed.perS, 100 * kSameRateTolerance,
            open.perS >= (1 - kSameRateTolerance) * closed.perS ? "met" : "MISSED");
        gSummary.push_back(line);
    }
}
BENCHMARK(BM_ControlChangeRate)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// Channel 1 and "7  Channel Volume" for the Horizontal row, through the
// program's menus. Empty on success, else what went wrong.
std::string ChooseChannelVolumeOnChannelOne(
    ScreenWatcher& screen, relay_test::PointerDriver& pointer, const PanelView& panel)
{
    const std::string problem = PickFromMenuBar(screen, pointer, panel, 1, { XK_Home, XK_Down, XK_Return });
    return problem.empty() ? PickChannelVolumeForHorizontal(screen, pointer, panel) : problem;
}

void BM_MetersCpuPerMotion(benchmark::State& state)
{
    constexpr int kRuns = 5;
    constexpr int kSeconds = 3;
    ScreenWatcher screen(gXvfb->Name());
    relay_test::PointerDriver pointer(gXvfb->Name());
    const double tickMs = 1000.0 / double(sysconf(_SC_CLK_TCK));
    std::map<std::string, std::vector<double>> usPerMotion;
    // The main thread runs the display; every other thread is the same
    // with the meters on or off.
    std::map<std::string, std::vector<double>> mainThreadUsPerMotion;
    for (auto _ : state) {
        for (int run = 0; run < 2 * kRuns; ++run) {
            const std::string meters = run % 2 == 0 ? "off" : "on";
            Launch launch = StartZimbrel(screen, { { "ZIMBREL_METERS", meters } });
            std::string problem = launch.error;
            if (problem.empty())
                problem = ChooseChannelVolumeOnChannelOne(screen, pointer, launch.panel);
            if (!problem.empty()) {
                Fail(state, "meters " + meters + ": " + problem);
                return;
            }
            std::this_thread::sleep_for(300ms);
            const std::filesystem::path stat = "/proc/" + std::to_string(launch.program->Pid()) + "/stat";
            const long ticksBefore = CpuTicks(stat);
            const std::filesystem::path mainStat = "/proc/" + std::to_string(launch.program->Pid()) + "/task/"
                + std::to_string(launch.program->Pid()) + "/stat";
            const long mainTicksBefore = CpuTicks(mainStat);
            const int motions = kMotionsPerSecond * kSeconds;
            const Clock::time_point start = Clock::now();
            for (int i = 0; i < motions; ++i) {
                std::this_thread::sleep_until(start + i * kMotionSpacing);
                pointer.MoveTo(i % 2 == 0 ? 300 : 700, 600);
            }
            // What is still on its way, and the meters coming to rest.
            std::this_thread::sleep_for(500ms);
            const double cpuMs = tickMs * double(CpuTicks(stat) - ticksBefore);
            usPerMotion[meters].push_back(1000.0 * cpuMs / motions);
            mainThreadUsPerMotion[meters].push_back(
                1000.0 * tickMs * double(CpuTicks(mainStat) - mainTicksBefore) / motions);
        }
        state.SetIterationTime(2 * kRuns * kSeconds);
    }
    const auto median = [](std::vector<double> values) { return Percentile(std::move(values), 0.5); };
    const double off = median(usPerMotion["off"]);
    const double on = median(usPerMotion["on"]);
    const double bestOff = *std::min_element(usPerMotion["off"].begin(), usPerMotion["off"].end());
    const double bestOn = *std::min_element(usPerMotion["on"].begin(), usPerMotion["on"].end());
    state.counters["cpu_us_per_motion_meters_off"] = off;
    state.counters["cpu_us_per_motion_meters_on"] = on;
    state.counters["on_to_off"] = on / off;
    std::string runs;
    for (const char* meters : { "off", "on" }) {
        runs += std::string(runs.empty() ? "" : "; ") + meters + ":";
        for (double value : usPerMotion[meters])
            runs += " " + std::to_string(int(std::lround(value)));
    }
    char line[640];
    std::snprintf(line, sizeof line,
        "program CPU per pointer motion at %d motions/s, window visible, Horizontal sending, %d runs each: "
        "median meters off %.1f us, meters on %.1f us, on/off %.3f (target within 10 %%: %s); least off %.1f us, "
        "on %.1f us, on/off %.3f; runs in us (clock tick %.0f ms over %d motions: %.1f us): %s",
        kMotionsPerSecond, kRuns, off, on, on / off, on <= 1.10 * off ? "met" : "MISSED", bestOff, bestOn,
        bestOn / bestOff, tickMs, kMotionsPerSecond * kSeconds, 1000 * tickMs / (kMotionsPerSecond * kSeconds),
        runs.c_str());
    gSummary.push_back(line);
    std::snprintf(line, sizeof line, "  of which the main (display) thread, median: meters off %.1f us, on %.1f us",
        median(mainThreadUsPerMotion["off"]), median(mainThreadUsPerMotion["on"]));
    gSummary.push_back(line);
}
BENCHMARK(BM_MetersCpuPerMotion)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
// A JACK client of the benchmark's own with one MIDI input: the time of
// the process cycle in which each Control Change for controller 7 arrived.
// Preallocated; the process callback only stores.
class LatencyRecorder {
public:
    static constexpr const char* kName = "zimbrel-latency";

    ~LatencyRecorder()
    {
        if (fClient)
            jack_client_close(fClient);
    }

    bool Open()
    {
        fClient = jack_client_open(kName, JackNoStartServer, nullptr);
        if (fClient == nullptr)
            return false;
        fInput = jack_port_register(fClient, "input", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(fClient, Process, this);
        jack_set_xrun_callback(fClient, CountXrun, this);
        jack_on_info_shutdown(fClient, NoteShutdown, this);
        return fInput && jack_activate(fClient) == 0;
    }

    size_t Count() const { return fCount.load(std::memory_order_acquire); }
    jack_time_t At(size_t index) const { return fArrivals[index]; }
    // What the server said that could explain a missing Control Change.
    std::string ServerNotes() const
    {
        std::string notes = std::to_string(fXruns.load()) + " xruns";
        if (fShutDown.load())
            notes += ", the server shut the recorder down";
        return notes;
    }

private:
    static int CountXrun(void* arg)
    {
        ++static_cast<LatencyRecorder*>(arg)->fXruns;
        return 0;
    }

    static void NoteShutdown(jack_status_t, const char*, void* arg)
    {
        static_cast<LatencyRecorder*>(arg)->fShutDown = true;
    }

    static int Process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<LatencyRecorder*>(arg);
        void* buffer = jack_port_get_buffer(self->fInput, frames);
        const jack_time_t now = jack_get_time();
        const uint32_t events = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < events; ++i) {
            jack_midi_event_t event;
            const size_t index = self->fCount.load(std::memory_order_relaxed);
            if (jack_midi_event_get(&event, buffer, i) != 0 || event.size != 3 || event.buffer[1] != 7
                || index == self->fArrivals.size())
                continue;
            self->fArrivals[index] = now;
            self->fCount.store(index + 1, std::memory_order_release);
        }
        return 0;
    }

    jack_client_t* fClient = nullptr;
    jack_port_t* fInput = nullptr;
    std::vector<jack_time_t> fArrivals = std::vector<jack_time_t>(1 << 14);
    std::atomic<size_t> fCount { 0 };
    std::atomic<int> fXruns { 0 };
    std::atomic<bool> fShutDown { false };
};

constexpr int kLatencyMotionsPerSecond = 200;

// Moves the pointer `motions` times at kLatencyMotionsPerSecond, between
// x = 300 and 700, each motion at a random phase of the JACK cycle, as a
// hand's are, and gives the time from each motion to the process cycle in
// which its Control Change reached `recorder`. Each motion waits for the
// Control Change of the one before, so that none is ever merged into the
// next. A motion whose Control Change did not come within 0.5 s is left out
// and counted in `lost`: a client late for its cycle loses what it wrote
// then, whoever sent it, and PipeWire's JACK reports no xrun for it (the
// floor lost from 1 to over 5 in 100 there at 64 frames). Ten lost in a row
// end the run, as the way is stuck: empty, and `why` says which motion,
// whether its Control Change came later, and what the server reported.
std::vector<double> LatenciesMs(relay_test::PointerDriver& pointer, const LatencyRecorder& recorder, int motions,
    std::string* why, int* lost)
{
    constexpr auto kSpacing = std::chrono::microseconds(1000000 / kLatencyMotionsPerSecond);
    std::mt19937 random(11);
    std::uniform_int_distribution<int> jitterUs(0, int(kSpacing.count() / 2));
    std::vector<double> latencies;
    int lostInARow = 0;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < motions; ++i) {
        std::this_thread::sleep_until(start + i * kSpacing + std::chrono::microseconds(jitterUs(random)));
        const size_t before = recorder.Count();
        const jack_time_t movedAt = jack_get_time();
        pointer.MoveTo(i % 2 == 0 ? 300 : 700, 600);
        // Finer than WaitUntil's steps, which would hold up the next motion.
        const Clock::time_point deadline = Clock::now() + 500ms;
        while (recorder.Count() == before) {
            if (Clock::now() > deadline && lostInARow < 9) {
                ++*lost;
                ++lostInARow;
                break;
            }
            if (Clock::now() > deadline) {
                const bool late = WaitUntil([&] { return recorder.Count() != before; }, 3s);
                // Lost on its own, or the whole way stuck?
                const size_t counted = recorder.Count();
                pointer.MoveTo(500, 600);
                const bool next = WaitUntil([&] { return recorder.Count() != counted; }, 3s);
                *why = "motion " + std::to_string(i) + " of " + std::to_string(motions)
                    + " sent no Control Change within 0.5 s ("
                    + (late ? "it came within 3.5 s" : "none within 3.5 s")
                    + (next ? ", a further motion's came" : ", nor a further motion's") + "; "
                    + recorder.ServerNotes() + ")";
                return {};
            }
            std::this_thread::sleep_for(200us);
        }
        if (recorder.Count() != before) {
            latencies.push_back((double(recorder.At(before)) - double(movedAt)) / 1000.0);
            lostInARow = 0;
        }
    }
    return latencies;
}

void BM_PointerToConsumerLatency(benchmark::State& state)
{
    constexpr int kMotions = 300;
    ScreenWatcher screen(gXvfb->Name());
    relay_test::PointerDriver pointer(gXvfb->Name());
    LatencyRecorder recorder;
    if (!recorder.Open()) {
        Fail(state, "cannot open the benchmark's own JACK client");
        return;
    }
    Launch launch = StartZimbrel(screen);
    if (!launch.error.empty()) {
        Fail(state, launch.error);
        return;
    }
    const std::string problem
        = SendChannelVolumeTo(screen, pointer, launch.panel, std::string(LatencyRecorder::kName) + ":input");
    if (!problem.empty()) {
        Fail(state, "configuring through the menus: " + problem);
        return;
    }
    const double periodMs = 1000.0 * gPeriodFrames / DummyJackServer::kSampleRate;
    std::vector<double> latenciesMs;
    int lost = 0;
    for (auto _ : state) {
        std::string why;
        latenciesMs = LatenciesMs(pointer, recorder, kMotions, &why, &lost);
        if (latenciesMs.empty()) {
            Fail(state, why);
            return;
        }
        state.SetIterationTime(0.001 * std::accumulate(latenciesMs.begin(), latenciesMs.end(), 0.0));
    }
    const char* server = std::getenv("ZIMBREL_TEST_JACK_SERVER");
    char line[320];
    std::snprintf(line, sizeof line,
        "pointer to consumer, %s, %d frames at 48 kHz (%.2f ms): median %.2f ms, p99 %.2f ms, max %.2f ms "
        "over %zu motions (%d more lost; %s)",
        server && std::string(server) == "pipewire" ? "PipeWire" : "jackd", gPeriodFrames, periodMs,
        Percentile(latenciesMs, 0.5), Percentile(latenciesMs, 0.99), Percentile(latenciesMs, 1.0),
        latenciesMs.size(), lost, recorder.ServerNotes().c_str());
    gSummary.push_back(line);
    state.counters["median_ms"] = Percentile(latenciesMs, 0.5);
    state.counters["p99_ms"] = Percentile(latenciesMs, 0.99);
}
BENCHMARK(BM_PointerToConsumerLatency)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Zimbrel against the floor (zimbrel_floor, the least a program can do for
// the same result: one thread, raw motion, pointer query, one-pixel read, a
// ring to its process callback), in alternating runs under the same server,
// through the same XTest motions to the same consumer (a LatencyRecorder):
//   - CPU per motion at 1,000 motions a second (target: at most 1.5 times
//     the floor's);
//   - context switches per motion, voluntary and involuntary, thread by
//     thread (target: all threads together at most 2.5 times the floor's);
//   - pointer-to-consumer latency at 200 motions a second, p50 and p99
//     (target: p99 at most the floor's plus 0.3 ms).
// jack_servers_bench runs it under jackd and under PipeWire's JACK.
constexpr int kFloorRuns = 3;
constexpr int kFloorCpuMotions = 3000;
constexpr int kFloorLatencyMotions = 300;
constexpr double kCpuRatioTarget = 1.5;
constexpr double kSwitchRatioTarget = 2.5;
constexpr double kP99MarginTargetMs = 0.3;

// One program's figures over all its runs.
struct MotionCosts {
    std::vector<double> cpuUsPerMotion;
    // Summed over the runs, by thread name.
    std::map<std::string, ThreadUse> threads;
    int motions = 0;
    std::vector<double> latenciesMs;
    // Motions whose Control Change never came (see LatenciesMs).
    int lost = 0;

    double SwitchesPerMotion() const
    {
        long switches = 0;
        for (const auto& [name, use] : threads)
            switches += use.switches;
        return double(switches) / motions;
    }
};

// Where the pointer moves to and fro while CPU is measured: between two
// places on one row of the screen, each giving another Horizontal value.
struct Stroke {
    int left;
    int right;
    int y;
};
// Below the main window, on the bare screen.
constexpr Stroke kScreenStroke { 300, 700, 600 };

// Moves the pointer kFloorCpuMotions times at kMotionsPerSecond along
// `stroke` and adds what the process `pid` used meanwhile to `costs`.
void MeasureCpuPerMotion(
    pid_t pid, relay_test::PointerDriver& pointer, MotionCosts& costs, const Stroke& stroke = kScreenStroke)
{
    const std::map<std::string, ThreadUse> before = ThreadUses(pid);
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kFloorCpuMotions; ++i) {
        std::this_thread::sleep_until(start + i * kMotionSpacing);
        pointer.MoveTo(i % 2 == 0 ? stroke.left : stroke.right, stroke.y);
    }
    // What is still on its way.
    std::this_thread::sleep_for(300ms);
    long long runNs = 0;
    for (const auto& [id, now] : ThreadUses(pid)) {
        const auto was = before.find(id);
        const ThreadUse used = was == before.end() ? now : now.Since(was->second);
        ThreadUse& sum = costs.threads[now.name];
        sum = { now.name, sum.ticks + used.ticks, sum.switches + used.switches,
            sum.voluntary + used.voluntary, sum.involuntary + used.involuntary, sum.runNs + used.runNs };
        runNs += used.runNs;
    }
    costs.cpuUsPerMotion.push_back(double(runNs) / 1000.0 / kFloorCpuMotions);
    costs.motions += kFloorCpuMotions;
}

// One run of zimbrel, configured through its menus to send Channel Volume
// to the recorder. Empty on success, else what went wrong.
std::string RunZimbrel(ScreenWatcher& screen, relay_test::PointerDriver& pointer, MotionCosts& costs)
{
    LatencyRecorder recorder;
    if (!recorder.Open())
        return "cannot open the benchmark's own JACK client";
    Launch launch = StartZimbrel(screen);
    if (!launch.error.empty())
        return launch.error;
    std::string problem
        = SendChannelVolumeTo(screen, pointer, launch.panel, std::string(LatencyRecorder::kName) + ":input");
    if (!problem.empty())
        return "configuring zimbrel through its menus: " + problem;
    std::this_thread::sleep_for(300ms);
    MeasureCpuPerMotion(launch.program->Pid(), pointer, costs);
    std::string why;
    const std::vector<double> latencies = LatenciesMs(pointer, recorder, kFloorLatencyMotions, &why, &costs.lost);
    if (latencies.empty())
        return "zimbrel: " + why;
    costs.latenciesMs.insert(costs.latenciesMs.end(), latencies.begin(), latencies.end());
    return "";
}

std::string RunFloor(relay_test::PointerDriver& pointer, MotionCosts& costs)
{
    LatencyRecorder recorder;
    if (!recorder.Open())
        return "cannot open the benchmark's own JACK client";
    ChildProcess floor;
    if (!floor.Start({ ZIMBREL_FLOOR, std::string(LatencyRecorder::kName) + ":input" },
            { { "DISPLAY", gXvfb->Name() } })
        || !WaitUntil([&] { return floor.Output().find("ready") != std::string::npos; }, 5s))
        return "cannot start " ZIMBREL_FLOOR ": " + floor.Error() + floor.Errors();
    std::this_thread::sleep_for(300ms);
    MeasureCpuPerMotion(floor.Pid(), pointer, costs);
    std::string why;
    const std::vector<double> latencies = LatenciesMs(pointer, recorder, kFloorLatencyMotions, &why, &costs.lost);
    if (latencies.empty())
        return "the floor: " + why;
    costs.latenciesMs.insert(costs.latenciesMs.end(), latencies.begin(), latencies.end());
    return "";
}

std::string DescribeThreads(const MotionCosts& costs)
{
    std::string text;
    for (const auto& [name, use] : costs.threads) {
        if (use.switches == 0 && use.runNs == 0)
            continue;
        char part[160];
        std::snprintf(part, sizeof part, "%s\"%s\" %.2f/%.2f (%.1f us)", text.empty() ? "" : ", ", name.c_str(),
            double(use.voluntary) / costs.motions, double(use.involuntary) / costs.motions,
            double(use.runNs) / 1000.0 / costs.motions);
        text += part;
    }
    return text;
}

void BM_AgainstFloor(benchmark::State& state)
{
    ScreenWatcher screen(gXvfb->Name());
    relay_test::PointerDriver pointer(gXvfb->Name());
    MotionCosts zimbrel;
    MotionCosts floor;
    for (auto _ : state) {
        for (int run = 0; run < kFloorRuns; ++run) {
            std::string problem = RunZimbrel(screen, pointer, zimbrel);
            if (problem.empty())
                problem = RunFloor(pointer, floor);
            if (!problem.empty()) {
                Fail(state, problem);
                return;
            }
        }
        state.SetIterationTime(2.0 * kFloorRuns * kFloorCpuMotions / kMotionsPerSecond);
    }
    const char* server = std::getenv("ZIMBREL_TEST_JACK_SERVER");
    const std::string where = std::string(server && std::string(server) == "pipewire" ? "PipeWire" : "jackd")
        + ", " + std::to_string(gPeriodFrames) + " frames";
    const double cpu = Percentile(zimbrel.cpuUsPerMotion, 0.5);
    const double floorCpu = Percentile(floor.cpuUsPerMotion, 0.5);
    const double switches = zimbrel.SwitchesPerMotion();
    const double floorSwitches = floor.SwitchesPerMotion();
    char line[640];
    std::snprintf(line, sizeof line,
        "against the floor, %s: CPU per motion at %d/s, median of %d runs: zimbrel %.1f us (runs %s), floor "
        "%.1f us (runs %s), ratio %.2f (target at most %.1f: %s)",
        where.c_str(), kMotionsPerSecond, kFloorRuns, cpu, Runs(zimbrel.cpuUsPerMotion).c_str(), floorCpu,
        Runs(floor.cpuUsPerMotion).c_str(), cpu / floorCpu, kCpuRatioTarget,
        cpu <= kCpuRatioTarget * floorCpu ? "met" : "MISSED");
    gSummary.push_back(line);
    std::snprintf(line, sizeof line,
        "against the floor, %s: context switches per motion, all threads: zimbrel %.2f, floor %.2f, ratio %.2f "
        "(target at most %.1f: %s)",
        where.c_str(), switches, floorSwitches, switches / floorSwitches, kSwitchRatioTarget,
        switches <= kSwitchRatioTarget * floorSwitches ? "met" : "MISSED");
    gSummary.push_back(line);
    for (const auto& [name, costs] : { std::pair { "zimbrel", &zimbrel }, std::pair { "floor", &floor } })
        gSummary.push_back("against the floor, " + where + ": " + name
            + " by thread, context switches voluntary/involuntary per motion (CPU per motion): "
            + DescribeThreads(*costs));
    const double p99 = Percentile(zimbrel.latenciesMs, 0.99);
    const double floorP99 = Percentile(floor.latenciesMs, 0.99);
    std::snprintf(line, sizeof line,
        "against the floor, %s: pointer to consumer at %d/s over %zu motions each: zimbrel p50 %.2f ms, p99 "
        "%.2f ms; floor p50 %.2f ms, p99 %.2f ms; p50 ratio %.2f, p99 ratio %.2f, p99 difference %+.2f ms "
        "(target at most +%.1f ms: %s); Control Changes lost: zimbrel %d, floor %d",
        where.c_str(), kLatencyMotionsPerSecond, zimbrel.latenciesMs.size(), Percentile(zimbrel.latenciesMs, 0.5),
        p99, Percentile(floor.latenciesMs, 0.5), floorP99,
        Percentile(zimbrel.latenciesMs, 0.5) / Percentile(floor.latenciesMs, 0.5), p99 / floorP99, p99 - floorP99,
        kP99MarginTargetMs, p99 <= floorP99 + kP99MarginTargetMs ? "met" : "MISSED", zimbrel.lost,
        floor.lost);
    gSummary.push_back(line);
    state.counters["cpu_ratio"] = cpu / floorCpu;
    state.counters["switch_ratio"] = switches / floorSwitches;
    state.counters["p99_difference_ms"] = p99 - floorP99;
}
BENCHMARK(BM_AgainstFloor)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The canvas against the screen relay, in one program: a 500 x 300 picture
// on the canvas, which opens beside the main window; Channel Volume on the
// Horizontal row, sent to jack_midi_dump. Runs of kFloorCpuMotions motions
// at kMotionsPerSecond alternate between the bare screen (the relay reads
// the pixel and sends) and the picture (the display hears the motion over
// its window and the canvas sends; the relay hears it too and keeps
// silent). Printed: the program's CPU time per motion, all threads, and by
// thread; Control Changes per motion, since a display that merges motions
// would look cheaper.
constexpr int kCanvasRuns = 3;
constexpr int kCanvasPictureWidth = 500;
constexpr int kCanvasPictureHeight = 300;

void BM_CanvasAgainstRelay(benchmark::State& state)
{
    ScreenWatcher screen(gXvfb->Name());
    relay_test::PointerDriver pointer(gXvfb->Name());
    const std::string picture = BenchSettings().Root() + "/grey.ppm";
    {
        std::ofstream file(picture, std::ios::binary);
        file << "P6 " << kCanvasPictureWidth << ' ' << kCanvasPictureHeight << " 255\n"
             << std::string(size_t(3 * kCanvasPictureWidth * kCanvasPictureHeight), char(0x80));
    }
    ChildProcess dump;
    Launch launch;
    Window canvas = 0;
    const auto canvasShown = [&]() -> std::string {
        return WaitUntil([&] { return (canvas = screen.FindShowing("Zimbrel Canvas \u2014 grey.ppm")) != 0; }, 10s)
            ? ""
            : "the canvas did not show within 10 s";
    };
    if (const std::string problem
        = StartConfigured(screen, pointer, dump, launch, { "--canvas", picture }, canvasShown);
        !problem.empty()) {
        Fail(state, problem);
        return;
    }
    const auto [canvasX, canvasY] = screen.Origin(canvas);
    const Stroke canvasStroke { canvasX + 40, canvasX + kCanvasPictureWidth - 40,
        canvasY + kCanvasPictureHeight / 2 };
    MotionCosts relay;
    MotionCosts overCanvas;
    size_t relayChanges = 0;
    size_t canvasChanges = 0;
    for (auto _ : state) {
        for (int run = 0; run < kCanvasRuns; ++run) {
            for (auto [costs, stroke, changes] : { std::tuple { &relay, kScreenStroke, &relayChanges },
                     std::tuple { &overCanvas, canvasStroke, &canvasChanges } }) {
                const size_t before = ChannelVolumeArrivals(dump).size();
                MeasureCpuPerMotion(launch.program->Pid(), pointer, *costs, stroke);
                *changes += ChannelVolumeArrivals(dump).size() - before;
            }
        }
        state.SetIterationTime(2.0 * kCanvasRuns * kFloorCpuMotions / kMotionsPerSecond);
    }
    if (relayChanges == 0 || canvasChanges == 0) {
        Fail(state,
            "no Control Change reached the consumer from the "
                + std::string(relayChanges == 0 ? "relay" : "canvas"));
        return;
    }
    const double canvasCpu = Percentile(overCanvas.cpuUsPerMotion, 0.5);
    const double relayCpu = Percentile(relay.cpuUsPerMotion, 0.5);
    char line[640];
    std::snprintf(line, sizeof line,
        "canvas against the relay, one program: CPU per motion at %d/s, median of %d runs: over the "
        "canvas %.1f us (runs %s), over the screen %.1f us (runs %s), ratio %.2f (target at most 1: %s); "
        "Control Changes per motion: canvas %.2f, relay %.2f; context switches per motion: canvas %.2f, "
        "relay %.2f",
        kMotionsPerSecond, kCanvasRuns, canvasCpu, Runs(overCanvas.cpuUsPerMotion).c_str(), relayCpu,
        Runs(relay.cpuUsPerMotion).c_str(), canvasCpu / relayCpu, canvasCpu <= relayCpu ? "met" : "MISSED",
        double(canvasChanges) / overCanvas.motions, double(relayChanges) / relay.motions,
        overCanvas.SwitchesPerMotion(), relay.SwitchesPerMotion());
    gSummary.push_back(line);
    for (const auto& [name, costs] :
        { std::pair { "over the canvas", &overCanvas }, std::pair { "over the screen", &relay } })
        gSummary.push_back(std::string("canvas against the relay, ") + name
            + ", by thread, context switches voluntary/involuntary per motion (CPU per motion): "
            + DescribeThreads(*costs));
    state.counters["canvas_us_per_motion"] = canvasCpu;
    state.counters["relay_us_per_motion"] = relayCpu;
    state.counters["canvas_to_relay"] = canvasCpu / relayCpu;
}
BENCHMARK(BM_CanvasAgainstRelay)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

constexpr int kRackInputs = 1000;
constexpr int kPortMenuOpenings = 5;
constexpr double kPortMenuTargetS = 0.1;

void BM_PortMenu(benchmark::State& state)
{
    ScreenWatcher screen(gXvfb->Name());
    relay_test::PointerDriver pointer(gXvfb->Name());
    JackRack rack;
    if (const std::string problem = rack.Open(kRackInputs); !problem.empty()) {
        Fail(state, problem);
        return;
    }
    Launch launch = StartZimbrel(screen);
    if (!launch.error.empty()) {
        Fail(state, launch.error);
        return;
    }
    std::vector<double> opened;
    std::vector<double> portShown;
    for (auto _ : state) {
        // The menus of the bar are filled before the first of them opens,
        // Port included; Port itself is two titles to the right.
        pointer.MoveTo(launch.panel.x + 10, launch.panel.barY);
        screen.Discard();
        const Clock::time_point clicked = Clock::now();
        pointer.Press(1);
        pointer.Release(1);
        Window menu = screen.WaitForPopUp(2s);
        opened.push_back(Seconds(Clock::now() - clicked));
        for (int step = 0; menu != 0 && step < 2; ++step) {
            pointer.TypeKey(XK_Right);
            menu = screen.WaitForPopUp(2s);
        }
        portShown.push_back(Seconds(Clock::now() - clicked));
        if (menu == 0) {
            Fail(state, "the Port menu did not open");
            return;
        }
        state.SetIterationTime(portShown.back());
        pointer.TypeKey(XK_Escape);
        screen.WaitForUnmap(menu, 2s);
        pointer.TypeKey(XK_Escape);
        std::this_thread::sleep_for(200ms);
    }
    launch.program->Stop();
    const bool overran = launch.program->Errors().find("took longer than") != std::string::npos;
    char line[320];
    std::snprintf(line, sizeof line,
        "Port menu with %d consumers: click to menus open (filled) median %.1f ms, max %.1f ms; click to "
        "the Port menu mapped median %.1f ms, max %.1f ms; menus overran their bound: %s (target: under "
        "%.0f ms, never overrun: %s)",
        kRackInputs, 1000 * Percentile(opened, 0.5), 1000 * Percentile(opened, 1.0),
        1000 * Percentile(portShown, 0.5), 1000 * Percentile(portShown, 1.0), overran ? "YES" : "no",
        1000 * kPortMenuTargetS, !overran && Percentile(opened, 1.0) < kPortMenuTargetS ? "met" : "MISSED");
    gSummary.push_back(line);
}
BENCHMARK(BM_PortMenu)->Iterations(kPortMenuOpenings)->UseManualTime()->Unit(benchmark::kMillisecond);

// A long session: kSoakMotions pointer motions at kSoakRate a second, each
// one on its own (a burst would reach the relay as one, its newest),
// alternating between x = 300 and x = 700 so that every
// motion is a new position and a new Horizontal value. Printed: resident
// memory of the program before and after (target: growth under 1 MiB), the
// Control Changes that reached the consumer against the positions moved to
// (the relay keeps only the newest of the motions queued while it is busy,
// so fewer means the program fell behind; more is a fault), and CPU time per
// motion. Takes minutes: run it on its own with --benchmark_filter=BM_Soak.
constexpr int kSoakMotions = 1000000;
constexpr int kSoakRate = 5000;

void BM_Soak(benchmark::State& state)
{
    ScreenWatcher screen(gXvfb->Name());
    relay_test::PointerDriver pointer(gXvfb->Name());
    ChildProcess dump;
    Launch launch;
    if (const std::string problem = StartConfigured(screen, pointer, dump, launch); !problem.empty()) {
        Fail(state, problem);
        return;
    }
    const pid_t pid = launch.program->Pid();
    const std::filesystem::path proc = "/proc/" + std::to_string(pid);
    const double tickMs = 1000.0 / double(sysconf(_SC_CLK_TCK));
    constexpr int kY = 600;
    constexpr auto kSpacing = std::chrono::microseconds(1000000 / kSoakRate);
    const auto move = [&](int count) {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < count; ++i) {
            std::this_thread::sleep_until(start + i * kSpacing);
            pointer.MoveTo(i % 2 == 0 ? 300 : 700, kY);
        }
    };
    for (auto _ : state) {
        // Warm up, so that what the first motions allocate for good (caches,
        // queues at their working size) is not counted as growth.
        move(kSoakRate * 4);
        std::this_thread::sleep_for(1s);
        const long rssBeforeKb = StatusField(proc / "status", "VmRSS");
        const size_t ccBefore = ChannelVolumeArrivals(dump).size();
        const long ticksBefore = CpuTicks(proc / "stat");
        const Clock::time_point start = Clock::now();
        move(kSoakMotions);
        const double seconds = Seconds(Clock::now() - start);
        std::this_thread::sleep_for(1s);
        const long ticks = CpuTicks(proc / "stat") - ticksBefore;
        const long rssAfterKb = StatusField(proc / "status", "VmRSS");
        const size_t controlChanges = ChannelVolumeArrivals(dump).size() - ccBefore;
        if (!launch.program->Running()) {
            Fail(state, "zimbrel ended during the soak: " + launch.program->Errors());
            return;
        }
        state.SetIterationTime(seconds);
        const long growthKb = rssAfterKb - rssBeforeKb;
        char line[512];
        std::snprintf(line, sizeof line,
            "soak: %d motions in %.1f s (%.0f/s); resident memory %ld kB before, %ld kB after, "
            "growth %ld kB (target under 1024 kB: %s); %zu Control Changes for %d distinct positions "
            "(%.1f %%; more than one per motion: %s); CPU %.2f us per motion",
            kSoakMotions, seconds, kSoakMotions / seconds, rssBeforeKb, rssAfterKb, growthKb,
            growthKb < 1024 ? "met" : "MISSED", controlChanges, kSoakMotions,
            100.0 * double(controlChanges) / kSoakMotions,
            controlChanges > size_t(kSoakMotions) ? "YES" : "no",
            1000.0 * double(ticks) * tickMs / kSoakMotions);
        gSummary.push_back(line);
        if (growthKb >= 1024 || controlChanges > size_t(kSoakMotions))
            gFailed = true;
    }
}
BENCHMARK(BM_Soak)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    gXvfb = std::make_unique<XvfbServer>();
    if (!gXvfb->IsRunning()) {
        std::fprintf(stderr, "app_bench: %s\n", gXvfb->Error().c_str());
        return 1;
    }
    if (const char* period = std::getenv("ZIMBREL_BENCH_JACK_PERIOD"))
        gPeriodFrames = std::atoi(period);
    const char* server = std::getenv("ZIMBREL_TEST_JACK_SERVER");
    if (server && std::string(server) == "pipewire")
        gJack = std::make_unique<PipeWireServer>();
    else
        gJack = std::make_unique<DummyJackServer>(gPeriodFrames);
    // Not the consumer's name: a JACK client's own socket takes the path of
    // a server of the same name, and a consumer named like the server
    // unlinks the server's socket as it opens, so that no later client finds it.
    const std::string problem = gJack->Start("zimbrel-app-bench-server");
    if (!problem.empty()) {
        std::fprintf(stderr, "app_bench: %s\n", problem.c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    for (const std::string& line : gSummary)
        std::printf("%s\n", line.c_str());
    benchmark::Shutdown();
    gJack->Stop();
    gXvfb->Stop();
    return gFailed ? 1 : 0;
}
