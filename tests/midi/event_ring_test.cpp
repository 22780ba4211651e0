#include "platform/midi/jack/EventRing.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

EventRing::Record Numbered(uint64 number)
{
    return { number, { uint8(number & 0x7F), 0, 0 }, 1 };
}

} // namespace

TEST(EventRing, HoldsItsCapacityThenRefusesWithoutLosingWhatItHolds)
{
    EventRing ring(4);
    for (uint64 i = 0; i < 4; ++i)
        EXPECT_TRUE(ring.Push(Numbered(i)));
    EXPECT_FALSE(ring.Push(Numbered(99)));
    EventRing::Record record {};
    for (uint64 i = 0; i < 4; ++i) {
        ASSERT_TRUE(ring.Pop(&record));
        EXPECT_EQ(record.sentAt, i);
        EXPECT_EQ(record.bytes[0], i);
    }
    EXPECT_FALSE(ring.Pop(&record));
    // Room again once read, across the wrap.
    EXPECT_TRUE(ring.Push(Numbered(5)));
    ASSERT_TRUE(ring.Pop(&record));
    EXPECT_EQ(record.sentAt, 5u);
}

TEST(EventRing, ClearDropsWhatWasQueued)
{
    EventRing ring(8);
    ring.Push(Numbered(1));
    ring.Push(Numbered(2));
    ring.Clear();
    EventRing::Record record {};
    EXPECT_FALSE(ring.Pop(&record));
    ring.Push(Numbered(3));
    ASSERT_TRUE(ring.Pop(&record));
    EXPECT_EQ(record.sentAt, 3u);
}

TEST(EventRing, AWriterAndAReaderOnTwoThreadsSeeEveryRecordInOrder)
{
    constexpr uint64 kCount = 200000;
    EventRing ring(64);
    std::thread writer([&] {
        for (uint64 i = 0; i < kCount;) {
            if (ring.Push(Numbered(i)))
                ++i;
            else
                std::this_thread::yield();
        }
    });
    std::vector<uint64> outOfOrder;
    EventRing::Record record {};
    for (uint64 expected = 0; expected < kCount;) {
        if (!ring.Pop(&record)) {
            std::this_thread::yield();
            continue;
        }
        if (record.sentAt != expected || record.bytes[0] != (expected & 0x7F))
            outOfOrder.push_back(expected);
        ++expected;
    }
    writer.join();
    EXPECT_TRUE(outOfOrder.empty()) << outOfOrder.size() << " records out of order or torn";
    EXPECT_FALSE(ring.Pop(&record));
}
