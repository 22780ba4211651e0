// Cost of one cursor data message with all six quantities on, from the
// mapping view's MessageReceived to a local consumer, in time and in heap
// allocations.

#include "mapping/zbOutput.h"
#include "platform/midi/MidiKit.h"
#include "platform/midi/MidiLocalConsumer.h"
#include "platform/midi/inprocess/InProcessMidiService.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<uint64> gAllocations{0};

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

void CursorDataToConsumer(benchmark::State& state)
{
    MidiKit::Get().InstallService(std::make_unique<InProcessMidiService>());
    CountingConsumer* consumer = new CountingConsumer;
    {
        zbOutput output("bench");
        output.producer->Connect(consumer);
        WithoutStandardOutput([&] { ConfigureAllSix(output); });
        // Two messages whose values differ, so that no Control Change is a
        // repeat that the producer drops.
        BMessage messages[2] = {CursorData(0.25f), CursorData(0.75f)};
        uint64 index = 0;
        const uint64 allocationsBefore = gAllocations;
        for (auto _ : state)
            output.MessageReceived(&messages[index++ & 1]);
        const uint64 allocations = gAllocations - allocationsBefore;
        state.counters["allocs_per_msg"] =
            benchmark::Counter(double(allocations) / double(state.iterations()));
        state.counters["cc_per_msg"] = benchmark::Counter(double(consumer->received) / double(state.iterations()));
    }
    consumer->Release();
    MidiKit::Get().Reset();
}
BENCHMARK(CursorDataToConsumer);

} // namespace

// The replacements below pair malloc with free themselves; GCC cannot see
// that once it inlines them and warns about a mismatch that is not there.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    ++gAllocations;
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

BENCHMARK_MAIN();
