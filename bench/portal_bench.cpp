// What following the whole screen through the desktop portal costs the
// zimbrel program, against following it on X11, on the same machine:
//   - CPU time per pointer motion at 1,000 motions a second with the screen
//     still: on a private headless GNOME (mutter, PipeWire, the ScreenCast
//     portal; motions through mutter's remote-desktop interface) and on a
//     private Xvfb (motions through XTest), in alternating runs (target:
//     the portal within 1.5 times X11);
//   - CPU time per second with the pointer at rest while a full-screen
//     window changes 30 times a second, against the same window at rest.
// Both send every Control Change of the full-range preset to jack_midi_dump
// on a private dummy JACK server. Only the program's own CPU is counted,
// not the compositor's or the X server's. Each run also says how many
// motions reached the consumer (mutter sends the cursor at most once per
// frame of its monitor) and which threads spent the time.

#include "tests/common/ChildProcess.h"
#include "tests/common/DummyJackServer.h"
#include "tests/common/FullRangePreset.h"
#include "tests/common/HeadlessGnome.h"
#include "tests/common/PrivateSettings.h"
#include "tests/common/XvfbServer.h"
#include "tests/integration/relay_pointer_driver.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <fstream>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kMotionsPerSecond = 1000;
constexpr int kSeconds = 3;
constexpr int kRuns = 3;

// Each thread's CPU time so far in milliseconds, by thread name, from the
// scheduler's own run time (schedstat). The clock-tick counts of
// /proc/PID/stat are no use here: JACK's process thread wakes on a timer, so
// it is running whenever a tick lands far more often than its share, and was
// charged ten times what it used.
std::map<std::string, double> ThreadCpuMs(pid_t pid)
{
    std::map<std::string, double> threads;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ignored;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ignored)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        std::ifstream schedstat(task.path() / "schedstat");
        long long runNs = 0;
        schedstat >> runNs;
        threads[name] += double(runNs) / 1e6;
    }
    return threads;
}

// The program's CPU time so far in milliseconds, all its threads.
double CpuMs(pid_t pid)
{
    double total = 0;
    for (const auto& [name, ms] : ThreadCpuMs(pid))
        total += ms;
    return total;
}

// What each thread spent since `before`, times `scale`, busiest first.
std::string ThreadsSince(pid_t pid, const std::map<std::string, double>& before, double scale)
{
    std::vector<std::pair<double, std::string>> spent;
    for (const auto& [name, ms] : ThreadCpuMs(pid)) {
        const auto earlier = before.find(name);
        const double value = (ms - (earlier != before.end() ? earlier->second : 0)) * scale;
        if (value > 0)
            spent.emplace_back(value, name);
    }
    std::sort(spent.rbegin(), spent.rend());
    std::string text;
    for (const auto& [value, name] : spent)
        text += " " + name + " " + std::to_string(int(value)) + ";";
    return text;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Starts zimbrel with the preset and links it to jack_midi_dump; empty on
// success.
std::string StartZimbrel(ChildProcess& program, const std::string& settings,
    const std::map<std::string, std::string>& environment)
{
    std::map<std::string, std::string> all = environment;
    all["ZIMBREL_MIDI"] = "jack";
    all["XDG_CONFIG_HOME"] = settings;
    if (!program.Start({ ZIMBREL_PROGRAM, "--preset", "Portal" }, all))
        return program.Error();
    program.CloseInput();
    if (!WaitUntil([] { return RunTool({ "jack_connect", "Zimbrel:Zimbrel", "midi-monitor:input" }).status == 0; }, 20s))
        return "zimbrel did not come up on JACK: " + program.Errors();
    return {};
}

// The program's CPU per motion, in microseconds, over kSeconds of motions
// at kMotionsPerSecond that `move(i)` makes.
// The lines jack_midi_dump has printed so far.
size_t Lines(const ChildProcess& dump)
{
    const std::string output = dump.Output();
    return size_t(std::count(output.begin(), output.end(), '\n'));
}

template <typename Move>
double CpuUsPerMotion(const char* kind, ChildProcess& program, const ChildProcess& dump, Move move)
{
    const size_t linesBefore = Lines(dump);
    std::this_thread::sleep_for(300ms);
    const double before = CpuMs(program.Pid());
    const std::map<std::string, double> threadsBefore = ThreadCpuMs(program.Pid());
    const int motions = kMotionsPerSecond * kSeconds;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < motions; ++i) {
        std::this_thread::sleep_until(start + i * 1ms);
        move(i);
    }
    // What is still on its way.
    std::this_thread::sleep_for(500ms);
    // Each delivered motion sends the preset's five rows (seen: 14,524
    // lines for 3,000 motions on X11).
    std::fprintf(stderr, "portal_bench: %s, %.0f motions reached the consumer of %d; us per motion by thread:%s\n",
        kind, double(Lines(dump) - linesBefore) / 5, motions,
        ThreadsSince(program.Pid(), threadsBefore, 1000.0 / motions).c_str());
    return 1000.0 * (CpuMs(program.Pid()) - before) / motions;
}

void Fail(benchmark::State& state, const std::string& why)
{
    std::fprintf(stderr, "portal_bench: %s\n", why.c_str());
    state.SkipWithError(why.c_str());
}

void BM_PortalCost(benchmark::State& state)
{
    HeadlessGnome gnome;
    const std::string desktop = gnome.Start("zimbrel-portal-bench");
    if (!desktop.empty())
        return Fail(state, "headless GNOME: " + desktop);
    XvfbServer xvfb;
    if (!xvfb.IsRunning())
        return Fail(state, "Xvfb: " + xvfb.Error());
    relay_test::PointerDriver xtest(xvfb.Name());
    DummyJackServer jack;
    if (const std::string error = jack.Start("zimbrel-portal-bench"); !error.empty())
        return Fail(state, "JACK: " + error);
    ChildProcess dump;
    if (!dump.Start({ "setpriv", "--pdeathsig", "TERM", "stdbuf", "-oL", "jack_midi_dump" })
        || !WaitUntil([] { return RunTool({ "jack_lsp", "midi-monitor:input" }).status == 0; }, 10s))
        return Fail(state, "jack_midi_dump did not start");
    PrivateSettings settings;
    if (WriteFullRangePreset(settings.PresetFolder(), "Portal") != 0)
        return Fail(state, "cannot write the preset");

    std::vector<double> portalUs, x11Us, stillMsPerS, changingMsPerS;
    bool asked = false;
    for (auto _ : state) {
        for (int run = 0; run < kRuns; ++run) {
            ChildProcess program;
            // On headless GNOME: the first start asks, later ones do not.
            if (std::string error = StartZimbrel(program, settings.Root(), { { "DISPLAY", gnome.XDisplay() } });
                !error.empty())
                return Fail(state, error);
            if (!asked) {
                if (std::string error = gnome.AnswerShareDialog(); !error.empty())
                    return Fail(state, error);
                asked = true;
            }
            if (!program.WaitForError("Following the whole screen", 20s))
                return Fail(state, "no screen sharing: " + program.Errors());
            portalUs.push_back(CpuUsPerMotion("portal", program, dump, [&](int i) { gnome.MoveTo(i % 2 == 0 ? 300 : 700, 600); }));

            // The pointer at rest over a window that changes 30 times a
            // second, and over the same window at rest.
            for (const bool flashing : { false, true }) {
                ChildProcess window;
                std::vector<std::string> argv { COLOUR_WINDOW };
                if (flashing)
                    argv.push_back("--flash");
                window.Start(argv, { { "QT_QPA_PLATFORM", "wayland" } });
                if (!WaitUntil([&] { return gnome.ColourAt(900, 100) == 0x0000ff; }, 20s))
                    return Fail(state, "the colour window did not show: " + window.Errors());
                std::this_thread::sleep_for(500ms);
                const double before = CpuMs(program.Pid());
                const std::map<std::string, double> threadsBefore = ThreadCpuMs(program.Pid());
                std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
                (flashing ? changingMsPerS : stillMsPerS).push_back((CpuMs(program.Pid()) - before) / kSeconds);
                std::fprintf(stderr, "portal_bench: pointer at rest, screen %s, ms/s by thread:%s\n",
                    flashing ? "at 30 frames/s" : "still",
                    ThreadsSince(program.Pid(), threadsBefore, 1.0 / kSeconds).c_str());
            }
            program.Stop();

            // The same on X11.
            if (std::string error = StartZimbrel(program, settings.Root(),
                    { { "DISPLAY", xvfb.Name() }, { "WAYLAND_DISPLAY", "" } });
                !error.empty())
                return Fail(state, error);
            x11Us.push_back(CpuUsPerMotion("X11", program, dump, [&](int i) { xtest.MoveTo(i % 2 == 0 ? 300 : 700, 600); }));
            program.Stop();
        }
        state.SetIterationTime(double(kRuns * kSeconds * 4));
    }
    const double portal = Median(portalUs);
    const double x11 = Median(x11Us);
    state.counters["portal_cpu_us_per_motion"] = portal;
    state.counters["x11_cpu_us_per_motion"] = x11;
    state.counters["portal_to_x11"] = portal / x11;
    state.counters["cpu_ms_per_s_screen_still"] = Median(stillMsPerS);
    state.counters["cpu_ms_per_s_screen_at_30fps"] = Median(changingMsPerS);
    std::string runs;
    for (size_t i = 0; i < portalUs.size(); ++i)
        runs += " portal " + std::to_string(int(portalUs[i])) + " / X11 " + std::to_string(int(x11Us[i])) + " us;";
    std::fprintf(stderr,
        "portal_bench: CPU per motion at %d motions/s, screen still, median of %d runs: portal %.1f us, X11 %.1f us, "
        "portal/X11 %.2f (target within 1.5: %s);%s\n"
        "portal_bench: CPU with the pointer at rest, median of %d runs: screen still %.1f ms/s, a full-screen "
        "window changing at 30 frames/s %.1f ms/s\n",
        kMotionsPerSecond, kRuns, portal, x11, portal / x11, portal <= 1.5 * x11 ? "met" : "MISSED", runs.c_str(),
        kRuns, Median(stillMsPerS), Median(changingMsPerS));
}
BENCHMARK(BM_PortalCost)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
