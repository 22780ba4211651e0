// Cost of one cursor data message with all six quantities on, from the
// mapping view's MessageReceived to a local consumer, in time and in heap
// allocations (target: under 1 µs and none, also with every row on 14 bits,
// an exponential curve and smoothing); and the same with the live meters on (the view in a window
// on the headless display, so that its meters exist) against off (the view
// alone), in alternating rounds (target: within 5 %, no allocation).

#include "bench/CountingAllocator.h"
#include "mapping/zbOutput.h"
#include "mapping/zbRowWindow.h"
#include "platform/interface/Window.h"
#include "platform/midi/MidiKit.h"
#include "platform/midi/MidiLocalConsumer.h"
#include "platform/midi/inprocess/InProcessMidiService.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>
#include <cstdlib>
#include <new>

#include <fcntl.h>
#include <unistd.h>

namespace {

class CountingConsumer : public BMidiLocalConsumer {
public:
    CountingConsumer() : BMidiLocalConsumer("bench consumer") { Register(); }
    void ControlChange(uchar, uchar, uchar, bigtime_t) override { ++received; }
    uint64 received = 0;
};

BMessage CursorData(float position)
{
    BMessage message('cdat');
    for (const char* field : {"red", "green", "blue", "x", "y", "pressure"})
        message.AddFloat(field, position);
    message.AddBool("eraser", false);
    message.AddInt32("mouseb", 0);
    return message;
}

void ConfigureAllSix(zbOutput& output)
{
    BMessage channel('vCCH');
    channel.AddInt16("channel", 1);
    output.MessageReceived(&channel);
    int16 controller = 20;
    for (uint32 code : {'vCXA', 'vCYA', 'vCPS', 'vCRD', 'vCGR', 'vCBL'}) {
        BMessage message(code);
        message.AddInt16("message", controller++);
        output.MessageReceived(&message);
    }
}

// Runs `work` with standard output sent to /dev/null: the engine prints a
// line for every configuration message.
template <typename Work> void WithoutStandardOutput(Work work)
{
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    work();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(null);
    ::close(saved);
}

// Times the view's handling of cursor data messages and counts what it
// allocates and sends per message. Two messages whose values differ take
// turns, so that no Control Change is a repeat that the producer drops.
void PlayCursorData(benchmark::State& state, zbOutput& output, const CountingConsumer& consumer)
{
    BMessage messages[2] = {CursorData(0.25f), CursorData(0.75f)};
    uint64 index = 0;
    const uint64 allocationsBefore = AllocationCount();
    for (auto _ : state)
        output.MessageReceived(&messages[index++ & 1]);
    const uint64 allocations = AllocationCount() - allocationsBefore;
    state.counters["allocs_per_msg"] = benchmark::Counter(double(allocations) / double(state.iterations()));
    state.counters["cc_per_msg"] = benchmark::Counter(double(consumer.received) / double(state.iterations()));
}

void CursorDataToConsumer(benchmark::State& state)
{
    MidiKit::Get().InstallService(std::make_unique<InProcessMidiService>());
    CountingConsumer* consumer = new CountingConsumer;
    {
        zbOutput output("bench");
        output.producer->Connect(consumer);
        WithoutStandardOutput([&] { ConfigureAllSix(output); });
        PlayCursorData(state, output, *consumer);
    }
    consumer->Release();
    MidiKit::Get().Reset();
}
BENCHMARK(CursorDataToConsumer);

// Every row on 14-bit Control Change (controllers 20..25 have partners),
// through an exponential curve, with smoothing of state.range(0) ms (0: off,
// so every message sends both halves of all six values).
void HighResolutionCursorData(benchmark::State& state)
{
    MidiKit::Get().InstallService(std::make_unique<InProcessMidiService>());
    CountingConsumer* consumer = new CountingConsumer;
    {
        zbOutput output("bench");
        output.producer->Connect(consumer);
        WithoutStandardOutput([&] { ConfigureAllSix(output); });
        for (int16 row = 0; row < zbOutput::kRowCount; ++row) {
            BMessage settings(kConfigureRow);
            settings.AddInt16("row", row);
            settings.AddInt16("output", int16(OutputKind::ControlChange14));
            settings.AddInt16("curve", int16(CurveKind::Exponential));
            settings.AddInt16("curve amount", 60);
            settings.AddInt16("smoothing", int16(state.range(0)));
            output.MessageReceived(&settings);
        }
        PlayCursorData(state, output, *consumer);
    }
    consumer->Release();
    MidiKit::Get().Reset();
}
BENCHMARK(HighResolutionCursorData)->Arg(0)->Arg(20);

struct Round {
    double nsPerMessage = 0;
    double allocationsPerMessage = 0;
};

// One round of `messages` cursor data messages through `output`.
Round TimeRound(zbOutput& output, BMessage (&data)[2], int messages)
{
    const uint64 allocationsBefore = AllocationCount();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < messages; ++i)
        output.MessageReceived(&data[i & 1]);
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    return {ns / messages, double(AllocationCount() - allocationsBefore) / messages};
}

void MetersOnVersusOff(benchmark::State& state)
{
    constexpr int kRounds = 15;
    constexpr int kMessagesPerRound = 100000;
    MidiKit::Get().InstallService(std::make_unique<InProcessMidiService>());
    CountingConsumer* consumer = new CountingConsumer;
    std::vector<double> off;
    std::vector<double> on;
    double allocationsOn = 0;
    {
        zbOutput* bare = new zbOutput("meters off");
        zbOutput* shown = new zbOutput("meters on");
        // Never shown: its loop does not run, and this thread may use its views.
        BWindow* window = new BWindow(BRect(20, 20, 420, 330), "bench", B_TITLED_WINDOW, 0);
        window->AddChild(shown);
        BMessage data[2] = {CursorData(0.25f), CursorData(0.75f)};
        for (zbOutput* output : {bare, shown}) {
            output->producer->Connect(consumer);
            WithoutStandardOutput([&] { ConfigureAllSix(*output); });
        }
        for (auto _ : state) {
            for (int round = 0; round < kRounds; ++round) {
                off.push_back(TimeRound(*bare, data, kMessagesPerRound).nsPerMessage);
                const Round withMeters = TimeRound(*shown, data, kMessagesPerRound);
                on.push_back(withMeters.nsPerMessage);
                allocationsOn = std::max(allocationsOn, withMeters.allocationsPerMessage);
            }
        }
        delete bare;
        delete window;
    }
    consumer->Release();
    MidiKit::Get().Reset();
    // The fastest round of each is the one least disturbed by the machine.
    const double bestOff = *std::min_element(off.begin(), off.end());
    const double bestOn = *std::min_element(on.begin(), on.end());
    std::sort(off.begin(), off.end());
    std::sort(on.begin(), on.end());
    const double medianRatio = on[on.size() / 2] / off[off.size() / 2];
    state.counters["ns_per_msg_meters_off"] = bestOff;
    state.counters["ns_per_msg_meters_on"] = bestOn;
    state.counters["on_to_off"] = bestOn / bestOff;
    state.counters["allocs_per_msg_meters_on"] = allocationsOn;
    std::printf("cursor data message, six quantities, %d rounds of %d: meters off %.1f ns, meters on %.1f ns "
                "(fastest rounds); on/off %.3f, median rounds %.3f (target within 5 %%: %s); allocations per "
                "message with meters on: %g\n",
                int(off.size()), kMessagesPerRound, bestOff, bestOn, bestOn / bestOff, medianRatio,
                bestOn <= 1.05 * bestOff ? "met" : "MISSED", allocationsOn);
}
BENCHMARK(MetersOnVersusOff)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
