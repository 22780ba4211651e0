// The cursor relay's costs against a real X server (an Xvfb the benchmark
// starts itself, 1024 x 768 x 24):
//   - BuildMessage with a real BScreen: time and X round trips per event
//     (targets: at most ~120 us, and at most two round trips per pointer
//     event counting the pointer service's one query per batch);
//   - one XTest motion to its cursor data message at the target, end to end;
//   - heap allocations per motion on that way, once running: from the X
//     server's raw event through the pointer service and the relay's queue
//     to the target's queue (target: none; Xlib's own mallocs not counted);
//   - a burst of 20,000 XTest motions: the most mouse-moved messages ever
//     queued for the relay (target 1) and the time from the last motion to
//     its cursor data message (target under 2 ms).

#include "bench/CountingAllocator.h"
#include "platform/input/ScreenSource.h"
#include "tests/capture/RunningRelay.h"
#include "tests/common/XvfbServer.h"
#include "tests/integration/relay_pointer_driver.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

using relay_test::PointerDriver;
using Clock = std::chrono::steady_clock;

std::unique_ptr<XvfbServer> gServer;

bool IsAt(const BMessage& message, int x, int y)
{
    return message.FindFloat("x") == float(x / 1023.0L) && message.FindFloat("y") == float(y / 767.0L);
}

void BM_BuildMessageWithRealScreen(benchmark::State& state)
{
    // Never shown: BuildMessage runs on this thread, as it would on the
    // relay's.
    auto* target = new BLooper("unused target");
    auto* relay = new VCursorRelay(target);
    BMessage event(B_MOUSE_MOVED);
    event.AddPoint("where", BPoint(512, 384));
    event.AddInt32("buttons", 0);

    const uint64 roundTripsBefore = ScreenSource::Instance().RoundTrips();
    for (auto _ : state) {
        BMessage cursorData('cdat');
        relay->BuildMessage(&event, &cursorData);
        benchmark::DoNotOptimize(cursorData);
    }
    const double roundTrips = double(ScreenSource::Instance().RoundTrips() - roundTripsBefore);
    state.counters["x_round_trips_per_event"] = roundTrips / double(state.iterations());
    relay->Quit();
    target->Quit();
}
BENCHMARK(BM_BuildMessageWithRealScreen)->Unit(benchmark::kMicrosecond);

void BM_MotionToCursorData(benchmark::State& state)
{
    RunningRelay<> running;
    PointerDriver driver(gServer->Name());
    int step = 0;
    size_t seen = 0;
    for (auto _ : state) {
        const int x = 100 + (step++ % 800);
        driver.MoveTo(x, 300);
        const std::optional<size_t> arrived
            = running.target->WaitFor([&](const BMessage& m) { return IsAt(m, x, 300); }, seen);
        if (!arrived) {
            state.SkipWithError("a motion gave no cursor data");
            break;
        }
        seen = *arrived + 1;
    }
}
BENCHMARK(BM_MotionToCursorData)->Unit(benchmark::kMicrosecond);

// A target that only counts, so that every allocation counted is on the
// relay's way.
class CountingTarget : public BLooper {
public:
    CountingTarget() : BLooper("counting target") { }
    void MessageReceived(BMessage* message) override
    {
        if (message->what == 'cdat')
            received.fetch_add(1, std::memory_order_release);
    }
    std::atomic<uint64> received { 0 };
};

void BM_AllocationsPerMotion(benchmark::State& state)
{
    constexpr int kWarmUpMotions = 200;
    RunningRelay<VCursorRelay, CountingTarget> running;
    CountingTarget* target = running.target;
    PointerDriver driver(gServer->Name());
    int step = 0;
    // One motion, waited for until its cursor data arrived.
    const auto move = [&] {
        const uint64 before = target->received.load(std::memory_order_acquire);
        driver.MoveTo(100 + (step++ % 2) * 400, 300);
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
        while (target->received.load(std::memory_order_acquire) == before) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        return true;
    };
    bool moved = true;
    for (int i = 0; i < kWarmUpMotions && moved; ++i)
        moved = move();
    const uint64 allocationsBefore = AllocationCount();
    for (auto _ : state) {
        if (!moved || !(moved = move()))
            break;
    }
    const uint64 allocations = AllocationCount() - allocationsBefore;
    if (!moved)
        state.SkipWithError("a motion gave no cursor data within 2 s");
    state.counters["allocs_per_motion"] = double(allocations) / double(state.iterations());
}
BENCHMARK(BM_AllocationsPerMotion)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_BurstOfMotions(benchmark::State& state)
{
    constexpr int kMotions = 20000;
    for (auto _ : state) {
        RunningRelay<> running;
        PointerDriver driver(gServer->Name());
        // Every motion moves the pointer; the last one goes where none went.
        for (int i = 0; i < kMotions - 1; ++i)
            driver.QueueMoveTo(100 + i % 500, 100 + (i / 500) % 300);
        driver.Flush();
        // Flushing a large burst blocks until the server has read most of
        // it, so the clock starts just before the last motion leaves, not
        // after the whole burst has.
        const Clock::time_point lastMotion = Clock::now();
        driver.QueueMoveTo(900, 700);
        driver.Flush();

        const std::optional<size_t> last
            = running.target->WaitFor([](const BMessage& m) { return IsAt(m, 900, 700); });
        if (!last) {
            state.SkipWithError("the last motion gave no cursor data");
            break;
        }
        const double latency
            = std::chrono::duration<double, std::micro>(running.target->ArrivalOf(*last) - lastMotion)
                  .count();
        state.counters["peak_queued_for_relay"] = double(running.relay->Queue()->PeakLength());
        state.counters["last_motion_to_cdat_us"] = latency;
        state.counters["cdat_messages"] = double(*last + 1);
    }
}
BENCHMARK(BM_BurstOfMotions)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    gServer = std::make_unique<XvfbServer>();
    if (!gServer->IsRunning()) {
        std::fprintf(stderr, "relay_bench: %s\n", gServer->Error().c_str());
        return 1;
    }
    setenv("DISPLAY", gServer->Name().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
