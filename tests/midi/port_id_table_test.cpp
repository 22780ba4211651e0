#include "platform/midi/PortIdTable.h"

#include <gtest/gtest.h>

TEST(MidiPortIds, AKeyKeepsItsIdWhileTrackedAndNamesItsPort)
{
    PortIdTable table;
    const int32 monitor = table.Track("midi-monitor:input", "midi-monitor:input");
    const int32 synth = table.Track("synth:in", "Synth");
    EXPECT_NE(monitor, 0);
    EXPECT_NE(monitor, synth);
    EXPECT_EQ(table.Track("midi-monitor:input", "other name"), monitor);
    ASSERT_NE(table.Find(synth), nullptr);
    EXPECT_EQ(table.Find(synth)->key, "synth:in");
    EXPECT_EQ(table.Find(synth)->name, "Synth");
    EXPECT_EQ(table.Find(0), nullptr);
}

TEST(MidiPortIds, ARetiredIdIsNeverReusedEvenForTheSameKey)
{
    PortIdTable table;
    const int32 first = table.Track("midi-monitor:input", "midi-monitor:input");
    table.Retire("midi-monitor:input");
    EXPECT_EQ(table.Find(first), nullptr);
    const int32 second = table.Track("midi-monitor:input", "midi-monitor:input");
    EXPECT_NE(second, first);
    EXPECT_EQ(table.Find(first), nullptr);
    EXPECT_NE(table.Find(second), nullptr);
    table.Retire("never seen"); // harmless
}

TEST(MidiPortIds, RetiringByPrefixAndByAbsenceForgetsExactlyThosePorts)
{
    PortIdTable table;
    const int32 a0 = table.Track("128:0 a:0", "a:0");
    const int32 a1 = table.Track("128:1 a:1", "a:1");
    const int32 b0 = table.Track("1280:0 b:0", "b:0");
    const int32 c0 = table.Track("129:0 c:0", "c:0");

    table.RetireByPrefix("128:1 ");
    EXPECT_EQ(table.Find(a1), nullptr);
    EXPECT_NE(table.Find(a0), nullptr);

    table.RetireByPrefix("128:");
    EXPECT_EQ(table.Find(a0), nullptr);
    EXPECT_NE(table.Find(b0), nullptr); // client 1280 is not client 128

    table.RetireAllBut({"129:0 c:0"});
    EXPECT_EQ(table.Find(b0), nullptr);
    EXPECT_NE(table.Find(c0), nullptr);
}
