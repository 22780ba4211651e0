// The MIDI kit over JACK, against a private server started for each test
// (jackd with the dummy driver, or PipeWire in the run under pw-jack), with
// jack_midi_dump as a real consumer of another program.

#include "tests/common/ChildProcess.h"
#include "tests/common/ChooseJackTestServer.h"
#include "tests/common/StderrCapture.h"

#include "platform/midi/MidiKit.h"
#include "platform/midi/MidiLocalConsumer.h"
#include "platform/midi/MidiLocalProducer.h"
#include "platform/midi/MidiRoster.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <thread>

using namespace std::chrono_literals;
using testing::HasSubstr;
using testing::Not;

namespace {

constexpr const char* kMonitorPort = "midi-monitor:input";

// The consumers of other programs the roster lists.
std::vector<std::string> ConsumerNames()
{
    std::vector<std::string> names;
    int32 id = 0;
    while (BMidiConsumer* consumer = BMidiRoster::NextConsumer(&id)) {
        if (consumer->IsRemote())
            names.emplace_back(consumer->Name());
        consumer->Release();
    }
    return names;
}

// A consumer of the program's own that counts the notes played to it.
class NoteCounter : public BMidiLocalConsumer {
public:
    NoteCounter() : BMidiLocalConsumer("Zimbrel in") { Register(); }
    void NoteOn(uchar, uchar, uchar, bigtime_t) override { ++notes; }
    std::atomic<int> notes { 0 };
};

// Starts jack_midiseq as the client "pedal", a note every 4,800 frames
// from "pedal:out", and links it to the program's input.
void StartPedal(ChildProcess& pedal)
{
    ASSERT_TRUE(pedal.Start({ "setpriv", "--pdeathsig", "TERM", "jack_midiseq", "pedal", "4800", "0", "64", "100" }));
    EXPECT_TRUE(WaitUntil([] { return RunTool({ "jack_connect", "pedal:out", "Zimbrel:Zimbrel in" }).status == 0; }, 5s))
        << "no pedal:out to link to Zimbrel in: " << pedal.Errors();
}

// The id the roster gives the consumer named `name`, or 0.
int32 ConsumerId(const std::string& name)
{
    int32 id = 0;
    while (BMidiConsumer* consumer = BMidiRoster::NextConsumer(&id)) {
        const bool match = name == consumer->Name();
        consumer->Release();
        if (match)
            return id;
    }
    return 0;
}

// Whether JACK's metadata shows the producer's client with its pretty name
// and large icon, to any client.
// PipeWire's libjack (0.3.65) files metadata under the number in the
// client's UUID, which is its node's serial, where the metadata store wants
// the node's id; the two part once objects have come and gone, as around a
// restart, and other clients then see nothing. So under PipeWire only the
// first server run can be checked this way.
bool PublishesNameAndIcon()
{
    const std::string listing = RunTool({"jack_property", "--client", "-l", "Zimbrel"}).output;
    return listing.find("http://jackaudio.org/metadata/pretty-name") != std::string::npos
        && listing.find("http://jackaudio.org/metadata/icon-large") != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

class MidiJack : public testing::Test {
protected:
    void SetUp() override
    {
        const std::string missing = MissingTools({"jackd", "jack_midi_dump", "jack_connect",
                                                  "jack_disconnect", "jack_lsp", "jack_property"});
        ASSERT_EQ(missing, "");
        const std::string problem = server->Start("zimbrel-midi-test");
        ASSERT_EQ(problem, "") << server->Kind();
        setenv("ZIMBREL_MIDI", "jack", 1);
        MidiKit::Get().Reset();
        testing::internal::CaptureStderr();
        const BMidiRoster* roster = BMidiRoster::MidiRoster();
        const std::string announcement = testing::internal::GetCapturedStderr();
        ASSERT_NE(roster, nullptr) << announcement;
        EXPECT_THAT(announcement, HasSubstr("MIDI service: JACK, client \"Zimbrel\""));
        StartMonitor();
    }

    void TearDown() override
    {
        if (producer)
            producer->Release();
        MidiKit::Get().Reset();
        monitor.Stop();
        server->Stop();
    }

    void StartMonitor() { StartDump(monitor, "midi-monitor"); }

    // Starts jack_midi_dump as the JACK client `client`, with its input port
    // "<client>:input" and each event stamped with its frame time.
    static void StartDump(ChildProcess& dump, const std::string& client)
    {
        // Line-buffered, so each event shows in the log as it arrives.
        ASSERT_TRUE(
            dump.Start({"setpriv", "--pdeathsig", "TERM", "stdbuf", "-oL", "jack_midi_dump", "-a", client}));
        ASSERT_TRUE(WaitUntil([&] { return ConsumerId(client + ":input") != 0; }, 5s))
            << "jack_midi_dump's port never showed up: " << dump.Output() << dump.Errors();
    }

    // Links the producer to `consumer`. A new client registers its port a
    // moment before it activates, and JACK refuses links to inactive clients,
    // so a refusal is tried again until the client is active.
    void Link(BMidiConsumer* consumer)
    {
        StderrCapture refusals;
        const bool linked = WaitUntil([&] { return producer->Connect(consumer) == B_OK; }, 3s);
        EXPECT_TRUE(linked) << "the link to " << consumer->Name() << " was refused for 3 s: " << refusals.Text();
    }

    // Another program's link, made the same way.
    static void LinkWithTool(const std::string& consumer)
    {
        EXPECT_TRUE(WaitUntil([&] { return RunTool({"jack_connect", "Zimbrel:Zimbrel", consumer}).status == 0; }, 3s))
            << "jack_connect to " << consumer << " was refused for 3 s";
    }

    void MakeProducer()
    {
        producer = new BMidiLocalProducer;
        producer->SetName("Zimbrel");
        ASSERT_EQ(producer->Register(), B_OK);
    }

    // Connects the producer to the monitor and returns the monitor's handle.
    BMidiConsumer* ConnectMonitor()
    {
        BMidiConsumer* consumer = BMidiRoster::FindConsumer(ConsumerId(kMonitorPort));
        EXPECT_NE(consumer, nullptr);
        if (consumer)
            Link(consumer);
        return consumer;
    }

    // The monitor's event lines, once there are at least `count`.
    std::vector<std::string> MonitorEvents(size_t count)
    {
        WaitUntil([&] { return Events().size() >= count; }, 3s);
        return Events();
    }

    std::vector<std::string> Events() const { return EventsOf(monitor); }

    static std::vector<std::string> EventsOf(const ChildProcess& dump)
    {
        std::vector<std::string> events;
        for (const std::string& line : Lines(dump.Output())) {
            if (line.find("channel") != std::string::npos)
                events.push_back(line);
        }
        return events;
    }

    std::unique_ptr<JackTestServer> server = ChooseJackTestServer();
    ChildProcess monitor;
    BMidiLocalProducer* producer = nullptr;
};

} // namespace

TEST_F(MidiJack, RosterListsOtherClientsMidiInputsWithStableNonZeroIds)
{
    MakeProducer();
    EXPECT_THAT(ConsumerNames(), testing::Contains(kMonitorPort));
    EXPECT_THAT(ConsumerNames(), Not(testing::Contains(HasSubstr("Zimbrel"))));
    const int32 id = ConsumerId(kMonitorPort);
    EXPECT_NE(id, 0);
    EXPECT_EQ(ConsumerId(kMonitorPort), id);
    BMidiConsumer* consumer = BMidiRoster::FindConsumer(id);
    ASSERT_NE(consumer, nullptr);
    EXPECT_STREQ(consumer->Name(), kMonitorPort);
    EXPECT_TRUE(consumer->IsRemote());
    EXPECT_TRUE(consumer->IsValid());
    consumer->Release();

    const std::string ports = RunTool({"jack_lsp"}).output;
    EXPECT_THAT(ports, HasSubstr("Zimbrel:Zimbrel"));
}

TEST_F(MidiJack, ConnectedControlChangesArriveExactlyAsSentAndStopAfterDisconnect)
{
    MakeProducer();
    BMidiConsumer* consumer = ConnectMonitor();
    ASSERT_NE(consumer, nullptr);
    EXPECT_TRUE(producer->IsConnected(consumer));
    const std::string connections = RunTool({"jack_lsp", "-c"}).output;
    EXPECT_THAT(connections, HasSubstr("   midi-monitor:input"));

    producer->SprayControlChange(0, 7, 10);
    producer->SprayControlChange(15, 0, 127);
    producer->SprayControlChange(3, 74, 0);
    producer->SprayControlChange(3, 74, 0); // the kit sends repeats; suppressing is the program's
    producer->SprayNoteOn(9, 60, 100);
    producer->SprayNoteOff(9, 60, 0);
    const auto events = MonitorEvents(6);
    ASSERT_EQ(events.size(), 6u) << monitor.Output();
    EXPECT_THAT(events[0], HasSubstr("b0 07 0a control change (channel  0): controller   7, value  10"));
    EXPECT_THAT(events[1], HasSubstr("bf 00 7f control change (channel 15): controller   0, value 127"));
    EXPECT_THAT(events[2], HasSubstr("b3 4a 00 control change (channel  3): controller  74, value   0"));
    EXPECT_THAT(events[3], HasSubstr("b3 4a 00"));
    EXPECT_THAT(events[4], HasSubstr("99 3c 64"));
    EXPECT_THAT(events[5], HasSubstr("89 3c 00"));

    // A witness linked all along shows when a message sent after the
    // disconnect has gone out; the monitor, linked again, then shows by a
    // later one that it has printed everything it got before.
    ChildProcess witness;
    StartDump(witness, "witness");
    BMidiConsumer* witnessConsumer = BMidiRoster::FindConsumer(ConsumerId("witness:input"));
    ASSERT_NE(witnessConsumer, nullptr);
    Link(witnessConsumer);
    ASSERT_EQ(producer->Disconnect(consumer), B_OK);
    EXPECT_FALSE(producer->IsConnected(consumer));
    producer->SprayControlChange(1, 1, 1);
    EXPECT_TRUE(WaitUntil([&] { return EventsOf(witness).size() == 1; }, 3s)) << witness.Output();
    // A consumer linked again can read what the producer's port held in the
    // cycle before (seen: "b1 01 01" one cycle ahead of "b2 02 02"). A later
    // message, once the witness has it, has taken its place there.
    producer->SprayControlChange(1, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return EventsOf(witness).size() == 2; }, 3s)) << witness.Output();
    Link(consumer);
    producer->SprayControlChange(2, 2, 2);
    EXPECT_TRUE(monitor.WaitForOutput("b2 02 02", 3s)) << monitor.Output();
    EXPECT_THAT(monitor.Output(), Not(HasSubstr("b1 01 01"))) << "sent while disconnected";
    witnessConsumer->Release();
    consumer->Release();
}

TEST_F(MidiJack, ConnectionsMadeByOtherToolsReadAsConnected)
{
    MakeProducer();
    BMidiConsumer* consumer = BMidiRoster::FindConsumer(ConsumerId(kMonitorPort));
    ASSERT_NE(consumer, nullptr);
    EXPECT_FALSE(producer->IsConnected(consumer));
    // Another program's link reaches this client's view of the graph when
    // the server tells it, a moment after the tool returns (under PipeWire
    // noticeably later than under jackd).
    LinkWithTool(kMonitorPort);
    EXPECT_TRUE(WaitUntil([&] { return producer->IsConnected(consumer); }, 2s));
    producer->SprayControlChange(2, 3, 4);
    EXPECT_EQ(MonitorEvents(1).size(), 1u);
    ASSERT_EQ(RunTool({"jack_disconnect", "Zimbrel:Zimbrel", kMonitorPort}).status, 0);
    EXPECT_TRUE(WaitUntil([&] { return !producer->IsConnected(consumer); }, 2s));
    consumer->Release();
}

TEST_F(MidiJack, PropertiesPublishNameAndIconsAsClientMetadata)
{
    MakeProducer();
    BMessage properties;
    producer->GetProperties(&properties);
    const std::vector<uint8> large(1024, 42), mini(256, 7);
    properties.AddData("be:large_icon", 'ICON', large.data(), 1024);
    properties.AddData("be:mini_icon", 'MICN', mini.data(), 256);
    EXPECT_EQ(producer->SetProperties(&properties), B_OK);

    const ToolResult property = RunTool({"jack_property", "--client", "-l", "Zimbrel"});
    const std::string& listing = property.output;
    ASSERT_EQ(property.status, 0) << listing << property.errors;
    EXPECT_THAT(listing, HasSubstr("http://jackaudio.org/metadata/pretty-name"));
    EXPECT_THAT(listing, HasSubstr("http://jackaudio.org/metadata/icon-large"));
    EXPECT_THAT(listing, HasSubstr("http://jackaudio.org/metadata/icon-small"));
    // Base64 of the PNG signature.
    EXPECT_THAT(listing, HasSubstr("iVBORw0KGgo"));
    EXPECT_THAT(listing, HasSubstr("image/png;base64"));
}

TEST_F(MidiJack, AConsumerThatVanishesLeavesAStaleIdThatFindsNothing)
{
    MakeProducer();
    BMidiConsumer* consumer = ConnectMonitor();
    ASSERT_NE(consumer, nullptr);
    const int32 oldId = consumer->ID();
    ASSERT_TRUE(monitor.SignalAndWait(SIGKILL, 3s));
    EXPECT_TRUE(WaitUntil([] { return ConsumerId(kMonitorPort) == 0; }, 3s));

    EXPECT_EQ(BMidiRoster::FindConsumer(oldId), nullptr);
    EXPECT_FALSE(consumer->IsValid());
    EXPECT_FALSE(producer->IsConnected(consumer));
    producer->SprayControlChange(0, 7, 10); // sending into nothing is fine
    testing::internal::CaptureStderr();
    EXPECT_NE(producer->Connect(consumer), B_OK);
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("no longer exists"));
    consumer->Release();

    // A new port under the same name is a new consumer with a new id.
    StartMonitor();
    const int32 newId = ConsumerId(kMonitorPort);
    EXPECT_NE(newId, oldId);
    EXPECT_EQ(BMidiRoster::FindConsumer(oldId), nullptr);
}

TEST_F(MidiJack, ConsumersThatCrashNeverInterruptTheStreamToTheOthers)
{
    // A synthesizer that crashes must cost the other consumers nothing: not
    // a moment of output, not the link, not the client.
    MakeProducer();
    const int32 producerId = producer->ID();
    BMidiConsumer* consumer = ConnectMonitor();
    ASSERT_NE(consumer, nullptr);
    StderrCapture errors;
    std::atomic<bool> sending{true};
    // The sender's own longest pause: on a loaded machine the scheduler can
    // hold a thread of normal priority back, and a stream can be no steadier
    // than its source.
    std::chrono::steady_clock::duration longestPause{};
    std::thread sender([&] {
        // About 1,000 Control Changes a second, as from a fast pointer.
        auto last = std::chrono::steady_clock::now();
        for (uchar value = 0; sending; value = uchar((value + 1) % 128)) {
            producer->SprayControlChange(0, 1, value);
            const auto now = std::chrono::steady_clock::now();
            longestPause = std::max(longestPause, now - last);
            last = now;
            std::this_thread::sleep_for(1ms);
        }
    });
    constexpr int kCrashes = 20;
    int crashed = 0;
    for (; crashed < kCrashes; ++crashed) {
        ChildProcess victim;
        StartDump(victim, "victim");
        BMidiConsumer* victimConsumer = BMidiRoster::FindConsumer(ConsumerId("victim:input"));
        if (victimConsumer == nullptr)
            break;
        Link(victimConsumer);
        victimConsumer->Release();
        const bool reached = WaitUntil([&] { return !EventsOf(victim).empty(); }, 3s);
        if (!reached || !victim.SignalAndWait(SIGKILL, 3s)
            || !WaitUntil([] { return ConsumerId("victim:input") == 0; }, 3s)
            || errors.Text().find("lost") != std::string::npos || !producer->IsConnected(consumer))
            break;
    }
    // One more stretch of the stream after the last crash.
    const size_t before = Events().size();
    WaitUntil([&] { return Events().size() >= before + 200; }, 3s);
    sending = false;
    sender.join();

    EXPECT_EQ(crashed, kCrashes) << errors.Text();
    EXPECT_THAT(errors.Text(), Not(HasSubstr("lost")));
    EXPECT_EQ(producer->ID(), producerId);
    EXPECT_TRUE(consumer->IsValid());
    EXPECT_TRUE(producer->IsConnected(consumer));
    // The monitor stamps each event with its frame, 48 to the millisecond.
    long long previous = -1, longestGap = 0;
    for (const std::string& event : Events()) {
        const long long frame = std::stoll(event);
        if (previous >= 0)
            longestGap = std::max(longestGap, frame - previous);
        previous = frame;
    }
    const long long pauseMs = std::chrono::duration_cast<std::chrono::milliseconds>(longestPause).count();
    EXPECT_GT(Events().size(), 200u);
    EXPECT_LE(longestGap / 48, 50 + pauseMs)
        << "the stream stopped for " << longestGap / 48 << " ms; the sender paused at most " << pauseMs << " ms";
    consumer->Release();
}

TEST_F(MidiJack, AServerThatDiesLeavesAnEmptyRosterAndHarmlessSends)
{
    MakeProducer();
    BMidiConsumer* consumer = ConnectMonitor();
    ASSERT_NE(consumer, nullptr);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(server->Kill(SIGKILL));
    const bool emptied = WaitUntil([] { return ConsumerNames().empty(); }, 10s);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(emptied);
    EXPECT_THAT(errors, HasSubstr("JACK server lost"));

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i)
        producer->SprayControlChange(0, 7, uchar(i));
    EXPECT_FALSE(producer->IsConnected(consumer));
    testing::internal::CaptureStderr();
    EXPECT_NE(producer->Connect(consumer), B_OK);
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("shut down"));
    consumer->Release();
    producer->Release();
    producer = nullptr;
    MidiKit::Get().Reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "the kit hung on a dead server";
}

TEST_F(MidiJack, AServerThatStopsRunningTheClientWithoutAWordIsLeftAndReachedAgain)
{
    // A library that misses the end of its server (PipeWire's does, now and
    // then) leaves the client as a frozen server does: socket open, no more
    // process cycles, no notice.
    MakeProducer();
    BMidiConsumer* consumer = ConnectMonitor();
    ASSERT_NE(consumer, nullptr);
    StderrCapture errors;
    ASSERT_EQ(kill(server->Pid(), SIGSTOP), 0);
    // More than the output holds, even after one last cycle emptied it.
    for (int i = 0; i < 10000; ++i)
        producer->SprayControlChange(3, 31, uchar(i % 128));
    const bool left = WaitUntil([&] { return Occurrences(errors.Text(), "JACK server lost") == 1; }, 10s);
    kill(server->Pid(), SIGCONT);
    ASSERT_TRUE(left) << "a server that stopped running the client was never left: " << errors.Text();
    EXPECT_THAT(errors.Text(), HasSubstr("stopped running Zimbrel's client"));
    EXPECT_THAT(errors.Text(), testing::ContainsRegex("JACK output fell behind: [0-9]+ MIDI messages dropped"));
    ASSERT_TRUE(WaitUntil([&] { return Occurrences(errors.Text(), "JACK server is back") == 1; }, 10s))
        << errors.Text();
    EXPECT_TRUE(WaitUntil([&] { return producer->IsConnected(consumer); }, 5s)) << errors.Text();
    // A link restored reads as made a moment before PipeWire (1.4, under
    // load) runs it, and what is sent meanwhile is lost, so the stream goes
    // on until the consumer hears it, as a player's would.
    const bool delivered = WaitUntil(
        [&] {
            producer->SprayControlChange(3, 30, 33);
            return !Events().empty();
        },
        5s);
    EXPECT_TRUE(delivered) << errors.Text();
    EXPECT_THAT(Events(), testing::Contains(HasSubstr("b3 1e 21"))) << errors.Text();
    consumer->Release();
}

TEST_F(MidiJack, LinksPickedWhileTheServerDiesAndComesBackNeverHangOrBreakTheKit)
{
    // A user picking from the Port menu while the server is killed and
    // started again: each pick returns within its own bounds whatever the
    // server is doing, and the kit is whole once the server is back.
    MakeProducer();
    BMidiConsumer* consumer = ConnectMonitor();
    ASSERT_NE(consumer, nullptr);
    StderrCapture errors;
    std::atomic<bool> stop { false };
    std::atomic<int> picks { 0 };
    std::atomic<int64_t> longestMs { 0 };
    std::thread picker([&] {
        while (!stop.load()) {
            const auto start = std::chrono::steady_clock::now();
            producer->Connect(consumer);
            producer->Disconnect(consumer);
            const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            longestMs = std::max<int64_t>(longestMs.load(), took.count());
            ++picks;
        }
    });
    const auto picksSeen = [&](int more) {
        const int from = picks.load();
        return WaitUntil([&] { return picks.load() >= from + more; }, 10s);
    };
    const bool pickedBefore = picksSeen(2);
    const bool killed = server->Kill(SIGKILL);
    const bool lost = killed && errors.WaitFor("JACK server lost", 10s);
    const bool pickedWithout = picksSeen(2);
    const std::string restarted = lost ? server->Restart() : "the server was not lost";
    const bool back = restarted.empty() && errors.WaitFor("JACK server is back", 10s);
    const bool pickedAfter = picksSeen(2);
    stop = true;
    picker.join();

    EXPECT_TRUE(pickedBefore && killed && lost && pickedWithout) << errors.Text();
    ASSERT_EQ(restarted, "");
    ASSERT_TRUE(back && pickedAfter) << errors.Text();
    // A pick waits at most 2.5 s for its change to be in force, twice.
    EXPECT_LT(longestMs.load(), 6000) << "a pick hung on a dying or returning server";
    monitor.Stop();
    StartMonitor();
    consumer->Release();
    consumer = ConnectMonitor();
    ASSERT_NE(consumer, nullptr);
    producer->SprayControlChange(4, 40, 44);
    EXPECT_THAT(MonitorEvents(1), testing::Contains(HasSubstr("b4 28 2c"))) << errors.Text();
    consumer->Release();
}

TEST_F(MidiJack, AServerThatComesBackGetsTheSameProducerBackWithItsLinkAndMetadata)
{
    MakeProducer();
    // A consumer of the program's own, another client's port linked to it:
    // its port is there again on the next server.
    NoteCounter* input = new NoteCounter;
    ChildProcess pedal;
    ASSERT_NO_FATAL_FAILURE(StartPedal(pedal));
    EXPECT_TRUE(WaitUntil([&] { return input->notes > 0; }, 5s)) << "no note reached the program's input";
    const int32 producerId = producer->ID();
    BMessage properties;
    const std::vector<uint8> large(1024, 42), mini(256, 7);
    properties.AddData("be:large_icon", 'ICON', large.data(), 1024);
    properties.AddData("be:mini_icon", 'MICN', mini.data(), 256);
    ASSERT_EQ(producer->SetProperties(&properties), B_OK);
    BMidiConsumer* consumer = ConnectMonitor();
    ASSERT_NE(consumer, nullptr);
    consumer->Release();

    // Control Changes keep coming, as from a pointer that never stops,
    // through the loss and the return.
    testing::internal::CaptureStderr();
    std::atomic<bool> sending{true};
    std::thread sender([&] {
        for (uchar value = 0; sending; value = uchar((value + 1) % 100)) {
            producer->SprayControlChange(1, 10, value);
            std::this_thread::sleep_for(2ms);
        }
    });
    ASSERT_TRUE(WaitUntil([&] { return !Events().empty(); }, 3s)) << monitor.Output();
    ASSERT_TRUE(server->Kill(SIGKILL));
    monitor.Stop();
    pedal.Stop();
    const bool emptied = WaitUntil([] { return ConsumerNames().empty(); }, 10s);
    // Sent while no server runs: dropped, never delivered later.
    producer->SprayControlChange(5, 5, 5);

    ASSERT_EQ(server->Restart(), "");
    StartMonitor(); // a new client of the same name, as after a session reload
    const bool flowing = WaitUntil([&] { return !Events().empty(); }, 5s);
    sending = false;
    sender.join();
    const std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_TRUE(emptied) << "the roster kept listing the ports of a dead server";
    EXPECT_TRUE(flowing) << "nothing reached the consumer after the server came back:\n" << errors;
    EXPECT_EQ(Occurrences(errors, "JACK server lost"), 1u) << errors;
    EXPECT_EQ(Occurrences(errors, "JACK server is back"), 1u) << errors;
    EXPECT_THAT(monitor.Output(), Not(HasSubstr("b5 05 05")));
    EXPECT_EQ(producer->ID(), producerId);
    BMidiConsumer* again = BMidiRoster::FindConsumer(ConsumerId(kMonitorPort));
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(producer->IsConnected(again));
    again->Release();
    EXPECT_THAT(RunTool({"jack_lsp"}).output, HasSubstr("Zimbrel:Zimbrel in"));
    const int notesBefore = input->notes;
    ASSERT_NO_FATAL_FAILURE(StartPedal(pedal));
    EXPECT_TRUE(WaitUntil([&] { return input->notes > notesBefore; }, 5s)) << "no note reached the program's input again";
    input->Release();
    if (std::string(server->Kind()) == "jackd") {
        EXPECT_TRUE(WaitUntil([] { return PublishesNameAndIcon(); }, 5s))
            << RunTool({"jack_property", "--client", "-l", "Zimbrel"}).output;
    }
}

TEST_F(MidiJack, AServerThatStartsAfterTheProgramIsJoinedWithTheProducerRegisteredMeanwhile)
{
    monitor.Stop();
    MidiKit::Get().Reset();
    ASSERT_TRUE(server->Kill(SIGTERM));
    StderrCapture errors;
    ASSERT_NE(BMidiRoster::MidiRoster(), nullptr) << "no roster while JACK is waited for";
    MakeProducer();
    int32 id = 0;
    EXPECT_EQ(BMidiRoster::NextConsumer(&id), nullptr);
    EXPECT_EQ(BMidiRoster::Trouble(), "waiting for a JACK server");

    ASSERT_EQ(server->Restart(), "");
    EXPECT_TRUE(WaitUntil([] { return RunTool({"jack_lsp"}).output.find("Zimbrel:Zimbrel") != std::string::npos; }, 10s))
        << errors.Text();
    StartMonitor();
    BMidiConsumer* consumer = ConnectMonitor();
    ASSERT_NE(consumer, nullptr);
    consumer->Release();
    producer->SprayControlChange(2, 20, 40);
    EXPECT_EQ(MonitorEvents(1).size(), 1u) << monitor.Output();
    EXPECT_EQ(BMidiRoster::Trouble(), "");
    EXPECT_THAT(errors.Text(), HasSubstr("MIDI service: JACK, no server answers yet"));
    EXPECT_EQ(Occurrences(errors.Text(), "JACK server found: client \"Zimbrel\" registered"), 1u) << errors.Text();
}

TEST_F(MidiJack, MetadataRefusedUntilTheSessionManagerComesIsPublishedOnceItIs)
{
    auto* pipewire = dynamic_cast<PipeWireServer*>(server.get());
    if (pipewire == nullptr)
        GTEST_SKIP() << "jackd keeps metadata itself; only PipeWire needs a session manager for it";
    MakeProducer();
    BMessage properties;
    const std::vector<uint8> large(1024, 42);
    properties.AddData("be:large_icon", 'ICON', large.data(), 1024);
    ASSERT_EQ(producer->SetProperties(&properties), B_OK);

    StderrCapture errors;
    ASSERT_TRUE(server->Kill(SIGKILL));
    monitor.Stop();
    ASSERT_TRUE(WaitUntil([] { return ConsumerNames().empty(); }, 10s));
    ASSERT_EQ(pipewire->RestartWithoutSessionManager(), "");
    // The kit lists the monitor only once it has opened its new client,
    // which is where it first tries to publish.
    StartMonitor();
    const bool publishedTooSoon = PublishesNameAndIcon();
    ASSERT_EQ(pipewire->StartSessionManager(), "");
    // The kit tries again about once a second; other clients' view cannot
    // tell after a restart (see PublishesNameAndIcon), so the kit's own
    // report is what counts.
    const bool published = errors.WaitFor("JACK metadata published: the server takes it now", 5s);

    EXPECT_FALSE(publishedTooSoon) << "the server took metadata without its session manager";
    EXPECT_TRUE(published) << errors.Text();
    EXPECT_THAT(errors.Text(), HasSubstr("cannot publish JACK metadata http://jackaudio.org/metadata/pretty-name"));
    EXPECT_EQ(Occurrences(errors.Text(), "JACK metadata published"), 1u) << errors.Text();
}

TEST_F(MidiJack, AfterARestartTheLinksStandingAtTheLossComeBackWhoeverMadeThem)
{
    MakeProducer();
    ChildProcess kept, dropped;
    StartDump(kept, "kept-monitor");
    StartDump(dropped, "dropped-monitor");
    // One link made by another tool, one made here and then undone.
    LinkWithTool("kept-monitor:input");
    BMidiConsumer* consumer = BMidiRoster::FindConsumer(ConsumerId("dropped-monitor:input"));
    ASSERT_NE(consumer, nullptr);
    Link(consumer);
    ASSERT_EQ(producer->Disconnect(consumer), B_OK);
    consumer->Release();

    // Stopped in order this time, as a user stops it.
    testing::internal::CaptureStderr();
    ASSERT_TRUE(server->Kill(SIGTERM));
    kept.Stop();
    dropped.Stop();
    ASSERT_TRUE(WaitUntil([] { return ConsumerNames().empty(); }, 10s));
    ASSERT_EQ(server->Restart(), "");
    // The consumers come back in another order than they left.
    StartDump(dropped, "dropped-monitor");
    StartDump(kept, "kept-monitor");
    const bool relinked = WaitUntil(
        [] { return RunTool({"jack_lsp", "-c", "Zimbrel:Zimbrel"}).output.find("kept-monitor:input") !=
                    std::string::npos; },
        5s);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(relinked);
    producer->SprayControlChange(3, 3, 3);
    EXPECT_TRUE(WaitUntil([&] { return !EventsOf(kept).empty(); }, 3s));
    EXPECT_THAT(RunTool({"jack_lsp", "-c", "Zimbrel:Zimbrel"}).output, Not(HasSubstr("dropped-monitor")));
}

TEST_F(MidiJack, AServerStoppedInOrderAgainAndAgainIsReachedAgainEachTime)
{
    // A server that stops in order goes on telling its clients of the ones it
    // removes after it said it stops; a kit that closes its client into that
    // stream can hang for good. The window is short, so it is crossed a few
    // times.
    MakeProducer();
    StderrCapture errors;
    // The kit's port shows in the graph a moment before it has finished
    // reaching the server; its own report is what says it is back.
    const auto back = [&](int times) {
        return WaitUntil([&] { return Occurrences(errors.Text(), "JACK server is back") == size_t(times); }, 10s);
    };
    constexpr int kCycles = 3;
    int reached = 0;
    for (; reached < kCycles; ++reached) {
        if (!server->Kill(SIGTERM) || server->Restart() != "" || !back(reached + 1))
            break;
    }
    monitor.Stop();
    StartMonitor();
    BMidiConsumer* consumer = ConnectMonitor();
    ASSERT_EQ(reached, kCycles) << errors.Text();
    ASSERT_NE(consumer, nullptr);
    consumer->Release();
    producer->SprayControlChange(2, 20, 64);
    EXPECT_THAT(MonitorEvents(1), testing::ElementsAre(HasSubstr("b2 14 40"))) << errors.Text();
    EXPECT_EQ(Occurrences(errors.Text(), "JACK server lost"), size_t(kCycles)) << errors.Text();
}
