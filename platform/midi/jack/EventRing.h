#pragma once

// EventRing: a fixed-size queue of short MIDI messages from one writer thread
// to one reader thread, one of them the JACK process callback, that never locks,
// allocates or blocks on either side. Its memory is allocated once and
// locked in RAM where the process may lock memory, so the reader takes no
// page fault either.
//
// Thread rules: one thread pushes at a time (the owner serialises writers),
// one thread pops. Clear only while neither side runs.

#include "platform/support/SupportDefs.h"

#include <atomic>
#include <cstddef>
#include <vector>

class EventRing {
public:
    struct Record {
        uint64 sentAt; // JACK time, microseconds
        uint8 bytes[3];
        uint8 size;
    };

    // Room for at least `capacity` records.
    explicit EventRing(size_t capacity);
    ~EventRing();

    EventRing(const EventRing&) = delete;
    EventRing& operator=(const EventRing&) = delete;

    // False, and nothing stored, when the ring is full.
    bool Push(const Record& record);
    // False when the ring is empty.
    bool Pop(Record* record);
    void Clear();

private:
    std::vector<Record> fRecords;
    size_t fMask;
    bool fLocked = false;
    // Counts that only grow; the reader owns fRead, the writer fWritten.
    std::atomic<size_t> fRead { 0 };
    std::atomic<size_t> fWritten { 0 };
};
