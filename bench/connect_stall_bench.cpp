// The stream to one consumer while another one is linked and unlinked from
// the Port menu: the real main window, mapping view and cursor relay, run in
// this process on the headless display and the in-memory pointer, with the
// real JACK service against a private jackd (48 kHz, 256 frames; PipeWire
// under pw-jack with ZIMBREL_TEST_JACK_SERVER=pipewire).
//
// A thread of the benchmark moves the pointer 400 times a second across the
// screen, so that the Horizontal row (the only one on, channel 1) sends one
// Control Change for each motion. A JACK client of the benchmark's own,
// "timer", picked in the Port menu first, stamps each arrival with the time
// of its frame. Then "other" is picked in the Port menu 20 times, 100 ms
// apart: linked, unlinked, and so on.
//
// Printed: the longest gap between two arrivals at the timer while the
// picks go on (target: under 20 ms), beside the longest at rest before them
// and the longest gap between two motions of the pointer thread itself; the
// longest a pick kept the window busy (from the pick until the window had
// handled it); and how many of the motions reached the timer.
//
// What it leaves out: Qt, the X server and the real pointer service. The
// window's thread, the mapping engine and the JACK service are the ones the
// program runs; the stall lives there.

#include "app/zbWindow.h"
#include "mapping/PresetFile.h"
#include "platform/app/AppDefs.h"
#include "platform/app/Application.h"
#include "platform/display/HeadlessDisplay.h"
#include "platform/input/HeadlessInput.h"
#include "platform/midi/MidiKit.h"
#include "platform/midi/MidiRoster.h"
#include "tests/common/ChooseJackTestServer.h"
#include "tests/common/PointerEvent.h"
#include "tests/common/PrivateSettings.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kMotionSpacing = 2500us; // 400 motions a second
constexpr int kPicks = 20;
constexpr auto kPickSpacing = 100ms;
constexpr auto kRest = 1s;
constexpr double kTargetMs = 20;

// A JACK client with one MIDI input that keeps the JACK time of the frame
// each event arrived on. Preallocated; the process callback only stores.
class Timer {
public:
    std::string Open(const char* name)
    {
        fClient = jack_client_open(name, JackNoStartServer, nullptr);
        if (fClient == nullptr)
            return std::string("cannot open the JACK client ") + name;
        fInput = jack_port_register(fClient, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(fClient, Process, this);
        if (fInput == nullptr || jack_activate(fClient) != 0)
            return std::string("cannot start the JACK client ") + name;
        return {};
    }

    ~Timer()
    {
        if (fClient != nullptr)
            jack_client_close(fClient);
    }

    size_t Count() const { return fCount.load(std::memory_order_acquire); }
    jack_time_t At(size_t index) const { return fArrivals[index]; }

private:
    static int Process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<Timer*>(arg);
        void* buffer = jack_port_get_buffer(self->fInput, frames);
        const jack_nframes_t cycleStart = jack_last_frame_time(self->fClient);
        const uint32_t events = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < events; ++i) {
            jack_midi_event_t event;
            const size_t index = self->fCount.load(std::memory_order_relaxed);
            if (jack_midi_event_get(&event, buffer, i) != 0 || index == self->fArrivals.size())
                continue;
            self->fArrivals[index] = jack_frames_to_time(self->fClient, cycleStart + event.time);
            self->fCount.store(index + 1, std::memory_order_release);
        }
        return 0;
    }

    jack_client_t* fClient = nullptr;
    jack_port_t* fInput = nullptr;
    std::vector<jack_time_t> fArrivals = std::vector<jack_time_t>(1 << 16);
    std::atomic<size_t> fCount { 0 };
};

// The longest step between neighbours of `times` (microseconds) that ends
// within [from, to), in milliseconds.
double LongestGapMs(const std::vector<jack_time_t>& times, jack_time_t from, jack_time_t to)
{
    jack_time_t longest = 0;
    for (size_t i = 1; i < times.size(); ++i)
        if (times[i] >= from && times[i] < to)
            longest = std::max(longest, times[i] - times[i - 1]);
    return double(longest) / 1000.0;
}

int Fail(const std::string& problem)
{
    std::fprintf(stderr, "connect_stall_bench: %s\n", problem.c_str());
    return 1;
}

int Run()
{
    std::unique_ptr<JackTestServer> server = ChooseJackTestServer();
    if (const std::string problem = server->Start("zimbrel-stall-bench"); !problem.empty())
        return Fail(problem);
    Timer timer, other;
    if (std::string problem = timer.Open("timer"); !problem.empty())
        return Fail(problem);
    if (std::string problem = other.Open("other"); !problem.empty())
        return Fail(problem);
    setenv("ZIMBREL_MIDI", "jack", 1);
    if (BMidiRoster::MidiRoster() == nullptr)
        return Fail("the kit found no JACK service");

    // Channel 1, Horizontal on controller 7 over the full range, the other
    // rows off.
    PrivateSettings settings;
    PresetMapping mapping = zbOutput::DefaultMapping();
    mapping.channel = 0;
    mapping.x = cfg { 7, 127, 0, true };
    BMessage preset('bsav');
    AddMapping(&preset, mapping);
    std::filesystem::create_directories(settings.PresetFolder());
    if (WritePreset((settings.PresetFolder() + "/stall").c_str(), preset) != 0)
        return Fail("cannot write the preset");

    auto display = std::make_shared<HeadlessDisplay>();
    DisplayService::Install(display);
    HeadlessInput input { 1024, 768 };
    input.Install();
    input.Fill({ 0, 0, 0, 255 });
    BApplication application("application/x-vnd.qim-zb2.5");
    std::future<void> running = std::async(std::launch::async, [&] { application.Run(); });
    StartOptions options;
    options.preset = "stall";
    auto* window = new zbWindow(BRect(20, 20, 420, 330), "Zimbrel 2.01", options);
    window->Show();
    const PeerId peer = display->FindWindow("Zimbrel 2.01");
    display->Settle(peer);
    // The longest a pick kept the window from its next message.
    double longestPickMs = 0;
    const auto pickPort = [&](const char* label) {
        display->OpenMenus(peer);
        const Clock::time_point picked = Clock::now();
        const bool found = display->Pick(display->FindMenu(peer, "Port"), label);
        display->CloseMenus(peer);
        display->Settle(peer);
        longestPickMs = std::max(
            longestPickMs, std::chrono::duration<double, std::milli>(Clock::now() - picked).count());
        return found;
    };
    if (!pickPort("timer:in"))
        return Fail("the Port menu does not list timer:in");
    longestPickMs = 0;

    std::atomic<bool> moving { true };
    std::vector<jack_time_t> motions;
    motions.reserve(1 << 16);
    std::thread pointer([&] {
        const Clock::time_point start = Clock::now();
        for (int i = 0; moving.load(); ++i) {
            std::this_thread::sleep_until(start + i * kMotionSpacing);
            // 9 pixels a motion: 1.1 steps of the 7-bit value, so each one
            // changes it.
            input.EmitPointerEvent(PointerEvent(B_MOUSE_MOVED, float((i * 9) % 1017), 300));
            motions.push_back(jack_get_time());
        }
    });

    std::this_thread::sleep_for(kRest);
    const jack_time_t picksBegin = jack_get_time();
    int listed = 0;
    for (int pick = 0; pick < kPicks; ++pick) {
        const Clock::time_point next = Clock::now() + kPickSpacing;
        listed += pickPort("other:in") ? 1 : 0;
        std::this_thread::sleep_until(next);
    }
    const jack_time_t picksEnd = jack_get_time();
    std::this_thread::sleep_for(kRest / 2);
    moving = false;
    pointer.join();
    std::this_thread::sleep_for(50ms);

    std::vector<jack_time_t> arrivals(timer.Count());
    for (size_t i = 0; i < arrivals.size(); ++i)
        arrivals[i] = timer.At(i);
    const double restMs = LongestGapMs(arrivals, arrivals.empty() ? 0 : arrivals.front(), picksBegin);
    const double picksMs = LongestGapMs(arrivals, picksBegin, picksEnd + 50000);
    const double motionMs = LongestGapMs(motions, 0, UINT64_MAX);
    std::printf("Stream to a consumer while another is linked and unlinked from the Port menu %d times (%d "
                "listed), %zu motions at 400/s: longest gap %.2f ms during the picks, %.2f ms at rest, "
                "%.2f ms between the pointer's own motions; longest pick kept the window busy %.2f ms; "
                "%zu Control Changes arrived, %zu at the other consumer (target: under %.0f ms: %s)\n",
        kPicks, listed, motions.size(), picksMs, restMs, motionMs, longestPickMs, arrivals.size(),
        other.Count(), kTargetMs, picksMs < kTargetMs && listed == kPicks ? "met" : "MISSED");

    application.PostMessage(B_QUIT_REQUESTED);
    running.wait();
    input.Uninstall();
    DisplayService::Install(nullptr);
    MidiKit::Get().Reset();
    server->Stop();
    return 0;
}

} // namespace

int main()
{
    return Run();
}
