#include "mapping/zbOutput.h"

#include "InProcessMidiTest.h"
#include "platform/app/Application.h"
#include "platform/midi/MidiRoster.h"
#include "platform/storage/AppResources.h"

#include <gtest/gtest.h>

#include <cstring>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

class Producer : public InProcessMidiTest {
protected:
    void SetUp() override
    {
        InProcessMidiTest::SetUp();
        monitor = new RecordingConsumer;
    }
    void TearDown() override
    {
        monitor->Release();
        InProcessMidiTest::TearDown();
    }

    RecordingConsumer* monitor = nullptr;
};

// The bytes of one item of a raw field.
std::vector<uint8> Item(const BMessage& message, const char* name, type_code type, int32 index = 0)
{
    const void* data = nullptr;
    ssize_t size = 0;
    if (message.FindData(name, type, index, &data, &size) != B_OK)
        return {};
    const auto* bytes = static_cast<const uint8*>(data);
    return {bytes, bytes + size};
}

} // namespace

TEST_F(Producer, RegistersAsZimbrel)
{
    myMidi* producer = new myMidi;
    EXPECT_STREQ(producer->Name(), "Zimbrel");
    EXPECT_TRUE(producer->IsRegistered());
    producer->Release();
}

TEST_F(Producer, DropsOnlyAnExactRepeatOfTheLastMessage)
{
    myMidi* producer = new myMidi;
    producer->Connect(monitor);
    producer->Control(0, 7, 100);
    producer->Control(0, 7, 100);
    producer->Control(0, 10, 5);
    producer->Control(0, 7, 100);
    producer->Control(1, 7, 100);
    EXPECT_EQ(monitor->Received(),
              (std::vector<ControlChangeEvent>{{0, 7, 100}, {0, 10, 5}, {0, 7, 100}, {1, 7, 100}}));
    producer->Release();
}

TEST_F(Producer, FirstMessageAlwaysGoesOutAndUnconnectedSendsStillCount)
{
    myMidi* producer = new myMidi;
    producer->Connect(monitor);
    producer->Control(0, 0, 0); // equal to the zeroed last-message fields
    EXPECT_EQ(monitor->Received().size(), 1u);

    producer->Disconnect(monitor);
    producer->Control(2, 3, 4); // reaches nobody
    producer->Connect(monitor);
    producer->Control(2, 3, 4); // a repeat of the last one: dropped
    producer->Control(2, 3, 5);
    EXPECT_EQ(monitor->Received(), (std::vector<ControlChangeEvent>{{0, 0, 0}, {2, 3, 5}}));
    producer->Release();
}

TEST_F(Producer, ViewAttachesTheProgramsIconsToTheEndpoint)
{
    BApplication application("application/x-vnd.zimbrel-test");
    zbOutput output("test");
    BMessage properties;
    ASSERT_EQ(output.producer->GetProperties(&properties), B_OK);
    int32 count = 0;
    ASSERT_EQ(properties.GetInfo(LARGE_ICON_NAME, nullptr, &count), B_OK);
    EXPECT_EQ(count, 1);
    const std::vector<uint8> large = Item(properties, LARGE_ICON_NAME, 'ICON');
    const std::vector<uint8> mini = Item(properties, MINI_ICON_NAME, 'MICN');
    ASSERT_EQ(large.size(), 1024u);
    ASSERT_EQ(mini.size(), 256u);
    EXPECT_EQ(std::memcmp(large.data(), kAppResources.largeIcon, 1024), 0);
    EXPECT_EQ(std::memcmp(mini.data(), kAppResources.miniIcon, 256), 0);
}

TEST_F(Producer, IconsAreAttachedEvenWhenTheyCannotBeRead)
{
    ASSERT_EQ(be_app, nullptr);
    zbOutput output("test");
    BMessage properties;
    output.producer->GetProperties(&properties);
    EXPECT_EQ(Item(properties, LARGE_ICON_NAME, 'ICON'), std::vector<uint8>(1024, 0));
    EXPECT_EQ(Item(properties, MINI_ICON_NAME, 'MICN'), std::vector<uint8>(256, 0));
}

TEST_F(Producer, AddIconsReplacesTheFirstItemOfExistingEntries)
{
    zbOutput output("test");
    BBitmap large(BRect(0, 0, 31, 31), B_CMAP8);
    BBitmap mini(BRect(0, 0, 15, 15), B_CMAP8);
    std::memset(large.Bits(), 7, size_t(large.BitsLength()));
    std::memset(mini.Bits(), 9, size_t(mini.BitsLength()));

    BMessage properties;
    const std::vector<uint8> oldLarge(1024, 1);
    const std::vector<uint8> oldMini(256, 2);
    properties.AddData(LARGE_ICON_NAME, 'ICON', oldLarge.data(), 1024);
    properties.AddData(LARGE_ICON_NAME, 'ICON', oldLarge.data(), 1024);
    properties.AddData(MINI_ICON_NAME, 'MICN', oldMini.data(), 256);
    properties.AddString("be:other", "kept");

    output.AddIcons(&properties, &large, &mini);
    int32 count = 0;
    properties.GetInfo(LARGE_ICON_NAME, nullptr, &count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Item(properties, LARGE_ICON_NAME, 'ICON', 0), std::vector<uint8>(1024, 7));
    EXPECT_EQ(Item(properties, LARGE_ICON_NAME, 'ICON', 1), oldLarge);
    properties.GetInfo(MINI_ICON_NAME, nullptr, &count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(Item(properties, MINI_ICON_NAME, 'MICN'), std::vector<uint8>(256, 9));
    EXPECT_STREQ(properties.FindString("be:other"), "kept");
}

TEST_F(Producer, PortPickTogglesTheConnection)
{
    zbOutput output("test");
    BMessage pick('vCMP');
    pick.AddInt32("portselect", monitor->ID());

    CaptureStdout();
    output.MessageReceived(&pick);
    EXPECT_EQ(GetCapturedStdout(), "cfged\n");
    EXPECT_TRUE(output.producer->IsConnected(monitor));

    CaptureStdout();
    output.MessageReceived(&pick);
    EXPECT_EQ(GetCapturedStdout(), "cfged\n");
    EXPECT_FALSE(output.producer->IsConnected(monitor));
}

TEST_F(Producer, PortPickForAVanishedConsumerChangesNothing)
{
    zbOutput output("test");
    RecordingConsumer* gone = new RecordingConsumer;
    const int32 goneId = gone->ID();
    gone->Release();

    BMessage pick('vCMP');
    pick.AddInt32("portselect", goneId);
    CaptureStdout();
    output.MessageReceived(&pick);
    EXPECT_EQ(GetCapturedStdout(), "cfged\n");
    EXPECT_EQ(BMidiRoster::FindConsumer(goneId), nullptr);
    // The consumer that is still there keeps its one reference: releasing it
    // in TearDown must be the last one.
    EXPECT_FALSE(output.producer->IsConnected(monitor));
}

TEST_F(Producer, ViewReleasesTheProducerWhenDestroyed)
{
    int32 producerId = 0;
    {
        zbOutput output("test");
        producerId = output.producer->ID();
        BMidiProducer* found = BMidiRoster::FindProducer(producerId);
        ASSERT_NE(found, nullptr);
        found->Release();
    }
    EXPECT_EQ(BMidiRoster::FindProducer(producerId), nullptr);
}
