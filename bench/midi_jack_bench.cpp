// How fast a sprayed Control Change reaches another JACK client, and whether
// 10,000 of them a second get through without a drop. Starts a private
// dummy JACK server (48 kHz, 256 frames a period) and a raw JACK client of
// its own with one MIDI input, which time-stamps each arrival with the
// frame it lands on (jack_frames_to_time). Sprays are time-stamped with
// jack_get_time, the same clock.
//
// Targets: arrival within the next process cycle (at most one period plus
// 0.2 ms), and 10,000 events/s without a drop.

#include "tests/common/DummyJackServer.h"
#include "tests/common/WaitUntil.h"

#include "platform/midi/MidiKit.h"
#include "platform/midi/MidiLocalProducer.h"
#include "platform/midi/MidiRoster.h"

#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr const char* kRecorderName = "zimbrel-bench";
constexpr double kPeriodMs = 1000.0 * DummyJackServer::kPeriodFrames / DummyJackServer::kSampleRate;
constexpr double kLatencyTargetMs = kPeriodMs + 0.2;

// A JACK client with one MIDI input that records, for each Control Change,
// the 14-bit sequence number carried in controller and value, and the time
// of the frame it arrived on. Preallocated; the process callback only
// stores.
class ArrivalRecorder {
public:
    struct Arrival {
        uint32_t sequence;
        jack_time_t time;
    };

    bool Open()
    {
        jack_status_t status{};
        fClient = jack_client_open(kRecorderName, JackNoStartServer, &status);
        if (fClient == nullptr)
            return false;
        fInput = jack_port_register(fClient, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(fClient, Process, this);
        return fInput && jack_activate(fClient) == 0;
    }

    void Close()
    {
        if (fClient)
            jack_client_close(fClient);
        fClient = nullptr;
    }

    size_t Count() const { return fCount.load(std::memory_order_acquire); }
    const Arrival& At(size_t index) const { return fArrivals[index]; }

private:
    static int Process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<ArrivalRecorder*>(arg);
        void* buffer = jack_port_get_buffer(self->fInput, frames);
        const jack_nframes_t cycleStart = jack_last_frame_time(self->fClient);
        const uint32_t events = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < events; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0 || event.size != 3)
                continue;
            const size_t index = self->fCount.load(std::memory_order_relaxed);
            if (index == self->fArrivals.size())
                break;
            self->fArrivals[index] = {uint32_t(event.buffer[1]) << 7 | event.buffer[2],
                                      jack_frames_to_time(self->fClient, cycleStart + event.time)};
            self->fCount.store(index + 1, std::memory_order_release);
        }
        return 0;
    }

    jack_client_t* fClient = nullptr;
    jack_port_t* fInput = nullptr;
    std::vector<Arrival> fArrivals = std::vector<Arrival>(1 << 16);
    std::atomic<size_t> fCount{0};
};

ArrivalRecorder gRecorder;
BMidiLocalProducer* gProducer = nullptr;
uint32_t gSequence = 0;

void Spray(uint32_t sequence)
{
    gProducer->SprayControlChange(0, uchar((sequence >> 7) & 0x7F), uchar(sequence & 0x7F));
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(fraction * double(values.size())))];
}

std::vector<double> gLatenciesMs;

void BM_SprayToArrival(benchmark::State& state)
{
    // Sprays fall at random phases of the cycle, as pointer events do.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pauseUs(0, int(kPeriodMs * 1000));
    gLatenciesMs.clear();
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
        const size_t before = gRecorder.Count();
        const uint32_t sequence = gSequence++ & 0x3FFF;
        const jack_time_t sentAt = jack_get_time();
        Spray(sequence);
        if (!WaitUntil([&] { return gRecorder.Count() > before; }, 200ms)) {
            state.SkipWithError("a sprayed Control Change never arrived");
            break;
        }
        const ArrivalRecorder::Arrival& arrival = gRecorder.At(before);
        const double latencyMs = (double(arrival.time) - double(sentAt)) / 1000.0;
        gLatenciesMs.push_back(latencyMs);
        state.SetIterationTime(std::max(latencyMs, 0.0) / 1000.0);
    }
    if (gLatenciesMs.empty())
        return;
    state.counters["median_ms"] = Percentile(gLatenciesMs, 0.5);
    state.counters["p99_ms"] = Percentile(gLatenciesMs, 0.99);
    state.counters["max_ms"] = Percentile(gLatenciesMs, 1.0);
    state.counters["target_ms"] = kLatencyTargetMs;
    state.counters["over_target"] = double(std::count_if(
        gLatenciesMs.begin(), gLatenciesMs.end(), [](double ms) { return ms > kLatencyTargetMs; }));
}
BENCHMARK(BM_SprayToArrival)->UseManualTime()->Iterations(600)->Unit(benchmark::kMillisecond);

struct RateResult {
    uint64 sent = 0;
    uint64 received = 0;
    uint64 dropped = 0;
    uint64 outOfOrder = 0;
    double seconds = 0;
};
RateResult gRate;

void BM_Sustained10kPerSecond(benchmark::State& state)
{
    constexpr int kEvents = 10000;
    constexpr auto kSpacing = 100us;
    for (auto _ : state) {
        const size_t before = gRecorder.Count();
        const uint64 droppedBefore = MidiKit::Get().Service()->DroppedMessages();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kEvents; ++i) {
            std::this_thread::sleep_until(start + i * kSpacing);
            Spray(uint32_t(i) & 0x3FFF);
        }
        gRate.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        WaitUntil([&] { return gRecorder.Count() >= before + kEvents; }, 500ms);
        gRate.sent = kEvents;
        gRate.received = gRecorder.Count() - before;
        gRate.dropped = MidiKit::Get().Service()->DroppedMessages() - droppedBefore;
        gRate.outOfOrder = 0;
        for (size_t i = 1; i < gRate.received; ++i) {
            if (gRecorder.At(before + i).sequence != (i & 0x3FFF))
                ++gRate.outOfOrder;
        }
        state.SetIterationTime(gRate.seconds);
    }
    state.counters["sent_per_s"] = double(gRate.sent) / gRate.seconds;
    state.counters["received"] = double(gRate.received);
    state.counters["dropped"] = double(gRate.dropped);
    state.counters["out_of_order"] = double(gRate.outOfOrder);
}
BENCHMARK(BM_Sustained10kPerSecond)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// Connects the kit's producer to the recorder; empty on success, else why not.
std::string SetUpGraph()
{
    setenv("ZIMBREL_MIDI", "jack", 1);
    if (BMidiRoster::MidiRoster() == nullptr)
        return "the kit found no JACK service";
    if (!gRecorder.Open())
        return "cannot open the recording JACK client";
    gProducer = new BMidiLocalProducer;
    gProducer->SetName("Zimbrel");
    if (gProducer->Register() != B_OK)
        return "cannot register the producer";
    const std::string recorderPort = std::string(kRecorderName) + ":in";
    int32 id = 0;
    while (BMidiConsumer* consumer = BMidiRoster::NextConsumer(&id)) {
        const bool match = recorderPort == consumer->Name();
        const status_t status = match ? gProducer->Connect(consumer) : B_OK;
        consumer->Release();
        if (match)
            return status == B_OK ? "" : "cannot connect to the recorder";
    }
    return "the recorder's port is not listed";
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    DummyJackServer server;
    std::string problem = server.Start("zimbrel-midi-bench");
    if (problem.empty())
        problem = SetUpGraph();
    if (!problem.empty()) {
        std::fprintf(stderr, "midi_jack_bench: %s\n", problem.c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();

    if (!gLatenciesMs.empty()) {
        std::printf("spray to arrival: min %.2f ms, median %.2f ms, p99 %.2f ms, max %.2f ms over "
                    "%zu events (target <= %.2f ms: %s)\n",
                    Percentile(gLatenciesMs, 0.0), Percentile(gLatenciesMs, 0.5), Percentile(gLatenciesMs, 0.99),
                    Percentile(gLatenciesMs, 1.0), gLatenciesMs.size(), kLatencyTargetMs,
                    Percentile(gLatenciesMs, 0.99) <= kLatencyTargetMs ? "met" : "MISSED");
    }
    if (gRate.sent) {
        std::printf("sustained: %llu events in %.3f s (%.0f/s), %llu received, %llu dropped, "
                    "%llu out of order (target 10000/s without a drop: %s)\n",
                    (unsigned long long)gRate.sent, gRate.seconds, double(gRate.sent) / gRate.seconds,
                    (unsigned long long)gRate.received, (unsigned long long)gRate.dropped,
                    (unsigned long long)gRate.outOfOrder,
                    gRate.dropped == 0 && gRate.received == gRate.sent ? "met" : "MISSED");
    }
    gProducer->Release();
    MidiKit::Get().Reset();
    gRecorder.Close();
    server.Stop();
    benchmark::Shutdown();
    return 0;
}
