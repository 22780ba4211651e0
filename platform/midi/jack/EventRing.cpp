#include "platform/midi/jack/EventRing.h"

#include <bit>
#include <sys/mman.h>

EventRing::EventRing(size_t capacity)
    : fRecords(std::bit_ceil(capacity < 2 ? size_t(2) : capacity))
    , fMask(fRecords.size() - 1)
{
    // Without the privilege to lock memory it still works, only less
    // predictably.
    fLocked = mlock(fRecords.data(), fRecords.size() * sizeof(Record)) == 0;
}

EventRing::~EventRing()
{
    if (fLocked)
        munlock(fRecords.data(), fRecords.size() * sizeof(Record));
}

bool EventRing::Push(const Record& record)
{
    const size_t written = fWritten.load(std::memory_order_relaxed);
    if (written - fRead.load(std::memory_order_acquire) == fRecords.size())
        return false;
    fRecords[written & fMask] = record;
    fWritten.store(written + 1, std::memory_order_release);
    return true;
}

bool EventRing::Pop(Record* record)
{
    const size_t read = fRead.load(std::memory_order_relaxed);
    if (read == fWritten.load(std::memory_order_acquire))
        return false;
    *record = fRecords[read & fMask];
    fRead.store(read + 1, std::memory_order_release);
    return true;
}

void EventRing::Clear()
{
    fRead.store(fWritten.load());
}
