// The MIDI kit over the ALSA sequencer, with aseqdump as a real consumer.
// Runs where the kernel's sequencer (/dev/snd/seq) exists; elsewhere each
// case is reported as skipped.

#include "tests/common/ChildProcess.h"

#include "platform/midi/MidiKit.h"
#include "platform/midi/MidiLocalProducer.h"
#include "platform/midi/MidiRoster.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>

using namespace std::chrono_literals;
using testing::HasSubstr;

namespace {

// The id of the first consumer whose name starts with `prefix`, or 0.
int32 ConsumerId(const std::string& prefix)
{
    int32 id = 0;
    while (BMidiConsumer* consumer = BMidiRoster::NextConsumer(&id)) {
        const bool match = std::string(consumer->Name()).starts_with(prefix);
        consumer->Release();
        if (match)
            return id;
    }
    return 0;
}

class MidiAlsa : public testing::Test {
protected:
    void SetUp() override
    {
        const int fd = open("/dev/snd/seq", O_RDWR);
        if (fd < 0)
            GTEST_SKIP() << "no ALSA sequencer here (/dev/snd/seq cannot be opened; the snd-seq "
                            "kernel module is needed)";
        close(fd);
        ASSERT_EQ(MissingTools({"aseqdump", "aconnect", "setpriv", "stdbuf"}), "");
        setenv("ZIMBREL_MIDI", "alsa", 1);
        MidiKit::Get().Reset();
        ASSERT_NE(BMidiRoster::MidiRoster(), nullptr);
        ASSERT_TRUE(dump.Start({"setpriv", "--pdeathsig", "TERM", "stdbuf", "-oL", "aseqdump"}));
        ASSERT_TRUE(WaitUntil([] { return ConsumerId("aseqdump:") != 0; }, 5s))
            << "aseqdump's port never showed up: " << dump.Output();
        producer = new BMidiLocalProducer;
        producer->SetName("Zimbrel");
        ASSERT_EQ(producer->Register(), B_OK);
    }

    void TearDown() override
    {
        if (producer)
            producer->Release();
        MidiKit::Get().Reset();
        dump.Stop();
    }

    ChildProcess dump;
    BMidiLocalProducer* producer = nullptr;
};

} // namespace

TEST_F(MidiAlsa, ControlChangesReachASubscribedConsumerAndStopAfterUnsubscribing)
{
    BMidiConsumer* consumer = BMidiRoster::FindConsumer(ConsumerId("aseqdump:"));
    ASSERT_NE(consumer, nullptr);
    ASSERT_EQ(producer->Connect(consumer), B_OK);
    EXPECT_TRUE(producer->IsConnected(consumer));
    producer->SprayControlChange(0, 7, 10);
    producer->SprayControlChange(15, 74, 127);
    EXPECT_TRUE(dump.WaitForOutput("value 127", 3s));
    EXPECT_THAT(dump.Output(), HasSubstr("Control change          0, controller 7, value 10"));
    EXPECT_THAT(dump.Output(), HasSubstr("Control change         15, controller 74, value 127"));

    ASSERT_EQ(producer->Disconnect(consumer), B_OK);
    EXPECT_FALSE(producer->IsConnected(consumer));
    producer->SprayControlChange(1, 1, 99);
    std::this_thread::sleep_for(100ms);
    EXPECT_THAT(dump.Output(), testing::Not(HasSubstr("value 99")));
    consumer->Release();
}

TEST_F(MidiAlsa, SubscriptionsMadeWithAconnectReadAsConnected)
{
    BMidiConsumer* consumer = BMidiRoster::FindConsumer(ConsumerId("aseqdump:"));
    ASSERT_NE(consumer, nullptr);
    EXPECT_FALSE(producer->IsConnected(consumer));
    ASSERT_EQ(RunTool({"aconnect", "Zimbrel:0", "aseqdump:0"}).status, 0);
    EXPECT_TRUE(producer->IsConnected(consumer));
    consumer->Release();
}

TEST_F(MidiAlsa, AConsumerThatExitsLeavesAStaleIdThatFindsNothing)
{
    const int32 id = ConsumerId("aseqdump:");
    BMidiConsumer* consumer = BMidiRoster::FindConsumer(id);
    ASSERT_NE(consumer, nullptr);
    ASSERT_EQ(producer->Connect(consumer), B_OK);
    dump.Stop();
    EXPECT_TRUE(WaitUntil([&] { return ConsumerId("aseqdump:") == 0; }, 3s));
    EXPECT_EQ(BMidiRoster::FindConsumer(id), nullptr);
    producer->SprayControlChange(0, 7, 10);
    testing::internal::CaptureStderr();
    EXPECT_NE(producer->Connect(consumer), B_OK);
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("cannot subscribe port"));
    consumer->Release();
}
