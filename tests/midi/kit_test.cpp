// The MIDI kit's endpoints and roster over the in-process service (real
// delivery between local endpoints), and over a scripted outside service that
// stands for JACK or ALSA where the kit's bookkeeping is what matters.

#include "RecordingConsumer.h"

#include "platform/midi/MidiKit.h"
#include "platform/midi/MidiLocalProducer.h"
#include "platform/midi/MidiRoster.h"
#include "platform/midi/inprocess/InProcessMidiService.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

class CountingProducer : public BMidiLocalProducer {
public:
    explicit CountingProducer(const char* name = "producer") : BMidiLocalProducer(name) {}

    void Connected(BMidiConsumer* consumer) override { connected.push_back(consumer->ID()); }
    void Disconnected(BMidiConsumer* consumer) override { disconnected.push_back(consumer->ID()); }

    std::vector<int32> connected;
    std::vector<int32> disconnected;
};

class InProcessMidi : public testing::Test {
protected:
    void SetUp() override { MidiKit::Get().InstallService(std::make_unique<InProcessMidiService>()); }
    void TearDown() override { MidiKit::Get().Reset(); }
};

ReceivedMessage CC(uchar channel, uchar control, uchar value, bigtime_t time = 0)
{
    return {'C', channel, control, value, time};
}

// Walks the roster with `next` from 0 and returns the ids, releasing each.
template <typename Next> std::vector<int32> Walk(Next next)
{
    std::vector<int32> ids;
    int32 id = 0;
    while (BMidiEndpoint* endpoint = next(&id)) {
        EXPECT_EQ(endpoint->ID(), id);
        ids.push_back(id);
        endpoint->Release();
    }
    return ids;
}

} // namespace

TEST_F(InProcessMidi, ConnectedConsumersReceiveExactlyWhatIsSprayedInOrder)
{
    auto* producer = new BMidiLocalProducer("Zimbrel");
    auto* first = new RecordingConsumer("first");
    auto* second = new RecordingConsumer("second");
    auto* bystander = new RecordingConsumer("bystander");
    ASSERT_EQ(producer->Connect(first), B_OK);
    ASSERT_EQ(producer->Connect(second), B_OK);

    producer->SprayControlChange(0, 7, 10);
    producer->SprayNoteOn(15, 60, 100, 1234);
    producer->SprayNoteOff(3, 61, 0);
    producer->SprayControlChange(9, 0, 127);

    const std::vector<ReceivedMessage> expected = {
        CC(0, 7, 10), {'N', 15, 60, 100, 1234}, {'F', 3, 61, 0, 0}, CC(9, 0, 127)};
    EXPECT_EQ(first->Received(), expected);
    EXPECT_EQ(second->Received(), expected);
    EXPECT_THAT(bystander->Received(), IsEmpty());

    ASSERT_EQ(producer->Disconnect(first), B_OK);
    producer->SprayControlChange(1, 2, 3);
    EXPECT_EQ(first->Received().size(), expected.size());
    EXPECT_EQ(second->Received().back(), CC(1, 2, 3));

    producer->Release();
    first->Release();
    second->Release();
    bystander->Release();
}

TEST_F(InProcessMidi, DeliveryRunsOnTheSprayingThreadBeforeTheCallReturns)
{
    auto* producer = new BMidiLocalProducer;
    auto* consumer = new RecordingConsumer;
    producer->Connect(consumer);
    std::thread::id sprayer;
    size_t receivedWhenReturned = 0;
    std::thread([&] {
        sprayer = std::this_thread::get_id();
        producer->SprayControlChange(2, 74, 64);
        receivedWhenReturned = consumer->Received().size();
    }).join();
    EXPECT_EQ(receivedWhenReturned, 1u);
    EXPECT_THAT(consumer->Threads(), ElementsAre(sprayer));
    producer->Release();
    consumer->Release();
}

TEST_F(InProcessMidi, OutOfRangeChannelOrDataBytesAreRefusedWholeAndReportedOnce)
{
    auto* producer = new BMidiLocalProducer("Zimbrel");
    auto* consumer = new RecordingConsumer;
    producer->Connect(consumer);

    testing::internal::CaptureStderr();
    producer->SprayControlChange(16, 7, 10);
    producer->SprayControlChange(0, 128, 10);
    producer->SprayControlChange(0, 7, 128);
    producer->SprayNoteOn(0, 200, 1);
    producer->SprayNoteOff(0, 1, 255);
    const std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_THAT(consumer->Received(), IsEmpty());
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_NE(errors.find("out of range"), std::string::npos) << errors;

    producer->SprayControlChange(15, 127, 127);
    EXPECT_THAT(consumer->Received(), ElementsAre(CC(15, 127, 127)));
    producer->Release();
    consumer->Release();
}

TEST_F(InProcessMidi, ConnectionStateAndHooksFollowConnectAndDisconnect)
{
    auto* producer = new CountingProducer;
    auto* consumer = new RecordingConsumer;
    EXPECT_FALSE(producer->IsConnected(consumer));
    EXPECT_EQ(producer->Connect(nullptr), B_BAD_VALUE);

    EXPECT_EQ(producer->Connect(consumer), B_OK);
    EXPECT_TRUE(producer->IsConnected(consumer));
    EXPECT_EQ(producer->Connect(consumer), B_OK); // already connected: no second link
    EXPECT_THAT(producer->connected, ElementsAre(consumer->ID()));
    producer->SprayControlChange(0, 1, 1);
    EXPECT_EQ(consumer->Received().size(), 1u);

    EXPECT_EQ(producer->Disconnect(consumer), B_OK);
    EXPECT_FALSE(producer->IsConnected(consumer));
    EXPECT_EQ(producer->Disconnect(consumer), B_OK);
    EXPECT_THAT(producer->disconnected, ElementsAre(consumer->ID()));
    producer->Release();
    consumer->Release();
}

TEST_F(InProcessMidi, SprayingWithNothingConnectedIsHarmless)
{
    auto* producer = new BMidiLocalProducer("Zimbrel");
    ASSERT_EQ(producer->Register(), B_OK);
    testing::internal::CaptureStderr();
    producer->SprayControlChange(0, 7, 100);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    producer->Release();
}

TEST_F(InProcessMidi, ReleasingAConnectedConsumerBreaksItsLinks)
{
    auto* producer = new BMidiLocalProducer;
    bool goneDestroyed = false;
    auto* gone = new RecordingConsumer("gone", &goneDestroyed);
    auto* kept = new RecordingConsumer("kept");
    producer->Connect(gone);
    producer->Connect(kept);
    gone->Release();
    EXPECT_TRUE(goneDestroyed);
    // Under the address sanitizer a dangling link would show here.
    producer->SprayControlChange(0, 7, 1);
    EXPECT_THAT(kept->Received(), ElementsAre(CC(0, 7, 1)));
    producer->Release();
    kept->Release();
}

TEST_F(InProcessMidi, ConsumersReleasedWhileAnotherThreadSpraysAreDeletedExactlyOnce)
{
    // Counts destructions: a consumer reached by a spray after its last
    // release would be deleted twice (or show up under the sanitizers).
    static std::atomic<int> destructions{0};
    class CountedConsumer : public BMidiLocalConsumer {
    protected:
        ~CountedConsumer() override { destructions.fetch_add(1); }
    };
    destructions = 0;
    auto* producer = new BMidiLocalProducer;
    std::atomic<bool> done{false};
    std::thread sprayer([&] {
        while (!done)
            producer->SprayControlChange(0, 7, 1);
    });
    constexpr int kConsumers = 2000;
    for (int i = 0; i < kConsumers; ++i) {
        auto* consumer = new CountedConsumer;
        producer->Connect(consumer);
        consumer->Release();
    }
    done = true;
    sprayer.join();
    EXPECT_EQ(destructions.load(), kConsumers);
    producer->Release();
}

TEST_F(InProcessMidi, RosterListsRegisteredEndpointsInIdOrderWithAReferenceEach)
{
    auto* producer = new BMidiLocalProducer("p");
    bool destroyed[3] = {};
    RecordingConsumer* consumers[3];
    for (int i = 0; i < 3; ++i)
        consumers[i] = new RecordingConsumer("c", &destroyed[i]);
    auto* unregistered = new RecordingConsumer("hidden");
    producer->Register();
    for (RecordingConsumer* consumer : consumers)
        EXPECT_EQ(consumer->Register(), B_OK);
    EXPECT_TRUE(consumers[1]->IsRegistered());
    EXPECT_FALSE(unregistered->IsRegistered());

    const std::vector<int32> consumerIds = {consumers[0]->ID(), consumers[1]->ID(),
                                            consumers[2]->ID()};
    EXPECT_TRUE(std::is_sorted(consumerIds.begin(), consumerIds.end()));
    EXPECT_EQ(Walk(BMidiRoster::NextConsumer), consumerIds);
    EXPECT_THAT(Walk(BMidiRoster::NextProducer), ElementsAre(producer->ID()));
    EXPECT_THAT(Walk(BMidiRoster::NextEndpoint),
                ElementsAre(producer->ID(), consumerIds[0], consumerIds[1], consumerIds[2]));

    // The roster's reference keeps the endpoint alive after its creator lets go.
    int32 id = consumerIds[0];
    BMidiConsumer* held = BMidiRoster::NextConsumer(&id);
    ASSERT_EQ(held, consumers[1]);
    consumers[1]->Release();
    EXPECT_FALSE(destroyed[1]);
    held->Release();
    EXPECT_TRUE(destroyed[1]);
    EXPECT_THAT(Walk(BMidiRoster::NextConsumer), ElementsAre(consumerIds[0], consumerIds[2]));

    // Unregistering hides without destroying.
    consumers[2]->Unregister();
    EXPECT_THAT(Walk(BMidiRoster::NextConsumer), ElementsAre(consumerIds[0]));
    EXPECT_FALSE(destroyed[2]);

    producer->Release();
    consumers[0]->Release();
    consumers[2]->Release();
    unregistered->Release();
}

TEST_F(InProcessMidi, FindAnswersOnlyForLiveRegisteredIdsOfTheRightKind)
{
    auto* producer = new BMidiLocalProducer("p");
    auto* consumer = new RecordingConsumer("c");
    producer->Register();
    consumer->Register();

    BMidiConsumer* found = BMidiRoster::FindConsumer(consumer->ID());
    ASSERT_EQ(found, consumer);
    found->Release();
    BMidiEndpoint* endpoint = BMidiRoster::FindEndpoint(producer->ID(), true);
    ASSERT_EQ(endpoint, producer);
    endpoint->Release();
    EXPECT_EQ(BMidiRoster::FindConsumer(producer->ID()), nullptr);
    EXPECT_EQ(BMidiRoster::FindProducer(consumer->ID()), nullptr);
    EXPECT_EQ(BMidiRoster::FindEndpoint(0), nullptr);

    const int32 staleId = consumer->ID();
    consumer->Release();
    EXPECT_EQ(BMidiRoster::FindConsumer(staleId), nullptr);
    EXPECT_EQ(BMidiRoster::FindEndpoint(staleId), nullptr);
    producer->Release();
}

TEST_F(InProcessMidi, IdsAreNeverZeroAndNeverHandedOutAgain)
{
    std::vector<int32> ids;
    for (int i = 0; i < 50; ++i) {
        auto* endpoint = i % 2 ? static_cast<BMidiEndpoint*>(new BMidiLocalProducer)
                               : new RecordingConsumer;
        ids.push_back(endpoint->ID());
        endpoint->Release();
    }
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 0), 0);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
}

TEST_F(InProcessMidi, PropertiesRoundTripAndAreReplacedWhole)
{
    auto* producer = new BMidiLocalProducer;
    producer->SetName("Zimbrel");
    EXPECT_STREQ(producer->Name(), "Zimbrel");
    EXPECT_TRUE(producer->IsLocal());
    EXPECT_TRUE(producer->IsProducer());
    EXPECT_TRUE(producer->IsValid());

    BMessage properties;
    ASSERT_EQ(producer->GetProperties(&properties), B_OK);
    EXPECT_TRUE(properties.IsEmpty());

    std::vector<uint8> large(1024), mini(256);
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = uint8(i * 7);
    for (size_t i = 0; i < mini.size(); ++i)
        mini[i] = uint8(255 - i);
    properties.AddData("be:large_icon", 'ICON', large.data(), ssize_t(large.size()));
    properties.AddData("be:mini_icon", 'MICN', mini.data(), ssize_t(mini.size()));
    ASSERT_EQ(producer->SetProperties(&properties), B_OK);

    BMessage readBack;
    ASSERT_EQ(producer->GetProperties(&readBack), B_OK);
    const void* data = nullptr;
    ssize_t size = 0;
    ASSERT_EQ(readBack.FindData("be:large_icon", 'ICON', &data, &size), B_OK);
    ASSERT_EQ(size, 1024);
    EXPECT_EQ(std::memcmp(data, large.data(), 1024), 0);
    ASSERT_EQ(readBack.FindData("be:mini_icon", 'MICN', &data, &size), B_OK);
    ASSERT_EQ(size, 256);
    EXPECT_EQ(std::memcmp(data, mini.data(), 256), 0);

    const BMessage empty;
    ASSERT_EQ(producer->SetProperties(&empty), B_OK);
    producer->GetProperties(&readBack);
    EXPECT_TRUE(readBack.IsEmpty());
    EXPECT_EQ(producer->SetProperties(nullptr), B_BAD_VALUE);
    EXPECT_EQ(producer->GetProperties(nullptr), B_BAD_VALUE);
    producer->Release();
}

TEST(MidiKitWithoutService, NoRosterAndRegisteringFails)
{
    MidiKit::Get().InstallService(nullptr);
    EXPECT_EQ(BMidiRoster::MidiRoster(), nullptr);
    auto* producer = new BMidiLocalProducer("Zimbrel");
    EXPECT_EQ(producer->Register(), B_NO_INIT);
    EXPECT_FALSE(producer->IsRegistered());
    int32 id = 0;
    EXPECT_EQ(BMidiRoster::NextConsumer(&id), nullptr);
    producer->SprayControlChange(0, 7, 10); // goes nowhere, harmlessly
    producer->Release();
    MidiKit::Get().Reset();
}

// An outside service whose ports and graph the test scripts: the kit's part
// of publishing, listing and connecting, without a JACK server.
class ScriptedService : public MidiService {
public:
    std::string Description() const override { return "scripted"; }
    std::vector<MidiPortInfo> Consumers() override
    {
        ++listings;
        return ports;
    }
    status_t PublishProducer(int32 producerId, const char* name) override
    {
        published = producerId;
        publishedName = name;
        return B_OK;
    }
    void WithdrawProducer(int32 producerId) override
    {
        if (producerId == published)
            published = 0;
    }
    status_t RenameProducer(int32, const char* name) override
    {
        publishedName = name;
        return B_OK;
    }
    status_t PublishProperties(int32, const char*, const BMessage& properties) override
    {
        ++propertiesPublished;
        lastProperties = properties;
        return B_OK;
    }
    status_t Connect(int32 producerId, int32 consumerId) override
    {
        links.push_back({producerId, consumerId});
        return B_OK;
    }
    status_t Disconnect(int32 producerId, int32 consumerId) override
    {
        std::erase(links, std::make_pair(producerId, consumerId));
        return B_OK;
    }
    bool IsConnected(int32 producerId, int32 consumerId) override
    {
        return std::find(links.begin(), links.end(), std::make_pair(producerId, consumerId)) !=
               links.end();
    }
    void Send(int32 producerId, const uint8* bytes, size_t size) override
    {
        sent.emplace_back(producerId, std::vector<uint8>(bytes, bytes + size));
    }
    uint64 DroppedMessages() const override { return 0; }

    std::vector<MidiPortInfo> ports;
    int listings = 0;
    int32 published = 0;
    std::string publishedName;
    int propertiesPublished = 0;
    BMessage lastProperties;
    std::vector<std::pair<int32, int32>> links;
    std::vector<std::pair<int32, std::vector<uint8>>> sent;
};

class OutsideMidi : public testing::Test {
protected:
    void SetUp() override
    {
        auto owned = std::make_unique<ScriptedService>();
        service = owned.get();
        MidiKit::Get().InstallService(std::move(owned));
    }
    void TearDown() override { MidiKit::Get().Reset(); }

    MidiPortInfo AddPort(const char* name)
    {
        service->ports.push_back({MidiKit::NewEndpointId(), name});
        return service->ports.back();
    }

    ScriptedService* service = nullptr;
};

TEST_F(OutsideMidi, RegisteringPublishesTheProducerAndReleasingWithdrawsIt)
{
    auto* producer = new BMidiLocalProducer;
    producer->SetName("Zimbrel");
    ASSERT_EQ(producer->Register(), B_OK);
    EXPECT_EQ(service->published, producer->ID());
    EXPECT_EQ(service->publishedName, "Zimbrel");
    producer->SetName("Renamed");
    EXPECT_EQ(service->publishedName, "Renamed");

    BMessage properties;
    properties.AddInt32("answer", 42);
    producer->SetProperties(&properties);
    EXPECT_EQ(service->propertiesPublished, 1);
    EXPECT_EQ(service->lastProperties.FindInt32("answer"), 42);

    producer->SprayControlChange(4, 7, 10);
    ASSERT_EQ(service->sent.size(), 1u);
    EXPECT_EQ(service->sent[0].first, producer->ID());
    EXPECT_EQ(service->sent[0].second, (std::vector<uint8>{0xB4, 7, 10}));

    producer->Release();
    EXPECT_EQ(service->published, 0);
}

TEST_F(OutsideMidi, UnregisteredProducersSendNothingOutside)
{
    auto* producer = new BMidiLocalProducer("Zimbrel");
    producer->SprayControlChange(0, 7, 10);
    producer->Register();
    producer->Unregister();
    producer->SprayControlChange(0, 7, 11);
    EXPECT_THAT(service->sent, IsEmpty());
    EXPECT_EQ(service->published, 0);
    producer->Release();
}

TEST_F(OutsideMidi, RosterMergesOutsideConsumersWithLocalOnesByIdAndFindsOnlyListedOnes)
{
    const MidiPortInfo synth = AddPort("synth:in");
    auto* local = new RecordingConsumer("local");
    local->Register();
    const MidiPortInfo monitor = AddPort("midi-monitor:input");

    std::vector<std::string> names;
    int32 id = 0;
    while (BMidiConsumer* consumer = BMidiRoster::NextConsumer(&id)) {
        names.push_back(consumer->Name());
        consumer->Release();
    }
    EXPECT_THAT(names, ElementsAre("synth:in", "local", "midi-monitor:input"));

    BMidiConsumer* remote = BMidiRoster::FindConsumer(monitor.id);
    ASSERT_NE(remote, nullptr);
    EXPECT_TRUE(remote->IsRemote());
    EXPECT_TRUE(remote->IsValid());
    EXPECT_EQ(BMidiRoster::FindConsumer(monitor.id, true), nullptr);
    EXPECT_EQ(BMidiRoster::FindProducer(monitor.id), nullptr);

    // The port goes away: the old handle turns invalid and the id finds nothing.
    service->ports.erase(service->ports.begin() + 1);
    EXPECT_FALSE(remote->IsValid());
    EXPECT_EQ(BMidiRoster::FindConsumer(monitor.id), nullptr);
    remote->Release();
    EXPECT_NE(synth.id, monitor.id);
    local->Release();
}

TEST_F(OutsideMidi, AWalkListsTheServiceOnceAndSeesOneStateThroughout)
{
    // A studio's worth of ports: the walk must not ask the service again for
    // each step, and what it shows is the state from when it began.
    for (int i = 0; i < 1000; ++i)
        AddPort(("synth:in" + std::to_string(i)).c_str());
    const auto walk = [&](int addAfter) {
        std::vector<int32> ids;
        int32 id = 0;
        while (BMidiConsumer* consumer = BMidiRoster::NextConsumer(&id)) {
            ids.push_back(consumer->ID());
            consumer->Release();
            if (int(ids.size()) == addAfter)
                AddPort("late:in");
        }
        return ids;
    };
    const std::vector<int32> first = walk(500);
    EXPECT_EQ(service->listings, 1);
    ASSERT_EQ(first.size(), 1000u);
    EXPECT_TRUE(std::is_sorted(first.begin(), first.end()));
    EXPECT_EQ(first.back(), service->ports[999].id);

    // The next walk begins with a fresh listing that includes the late port.
    const std::vector<int32> second = walk(-1);
    EXPECT_EQ(service->listings, 2);
    ASSERT_EQ(second.size(), 1001u);
    EXPECT_EQ(second.back(), service->ports.back().id);
}

TEST_F(OutsideMidi, RemoteConsumersConnectThroughTheServiceOnlyFromARegisteredProducer)
{
    const MidiPortInfo port = AddPort("synth:in");
    auto* producer = new CountingProducer("Zimbrel");
    BMidiConsumer* consumer = BMidiRoster::FindConsumer(port.id);
    ASSERT_NE(consumer, nullptr);

    testing::internal::CaptureStderr();
    EXPECT_EQ(producer->Connect(consumer), B_NO_INIT);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("not registered"), std::string::npos) << errors;

    producer->Register();
    EXPECT_EQ(producer->Connect(consumer), B_OK);
    EXPECT_TRUE(producer->IsConnected(consumer));
    EXPECT_EQ(producer->Connect(consumer), B_OK);
    EXPECT_EQ(service->links.size(), 1u);
    // A link made by another tool reads as connected, and one removed elsewhere as not.
    service->links.clear();
    EXPECT_FALSE(producer->IsConnected(consumer));
    service->links.push_back({producer->ID(), port.id});
    EXPECT_TRUE(producer->IsConnected(consumer));
    EXPECT_EQ(producer->Disconnect(consumer), B_OK);
    EXPECT_FALSE(producer->IsConnected(consumer));
    EXPECT_THAT(producer->connected, ElementsAre(port.id));
    EXPECT_THAT(producer->disconnected, ElementsAre(port.id));

    consumer->Release();
    producer->Release();
}

TEST_F(OutsideMidi, RemoteEndpointsCannotBeRegisteredRenamedOrGivenProperties)
{
    const MidiPortInfo port = AddPort("synth:in");
    BMidiConsumer* consumer = BMidiRoster::FindConsumer(port.id);
    ASSERT_NE(consumer, nullptr);
    EXPECT_EQ(consumer->Register(), B_NOT_ALLOWED);
    EXPECT_EQ(consumer->Unregister(), B_NOT_ALLOWED);
    consumer->SetName("mine now");
    EXPECT_STREQ(consumer->Name(), "synth:in");
    BMessage properties;
    properties.AddInt32("x", 1);
    EXPECT_EQ(consumer->SetProperties(&properties), B_NOT_ALLOWED);
    consumer->Release();
}
