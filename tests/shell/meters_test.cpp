#include "ShellFixture.h"

#include "midi/Footswitch.h"
#include "platform/display/MeterState.h"
#include "platform/midi/MidiLocalProducer.h"
#include "platform/midi/MidiProducer.h"
#include "platform/midi/MidiRoster.h"
#include "tests/common/WaitUntil.h"

#include <gmock/gmock.h>

#include <fstream>

namespace {

constexpr int32 kDimmed = MeterState::kDimmed;
constexpr const char* kMeters[]
    = { "y meter", "x meter", "pressure meter", "red meter", "green meter", "blue meter" };

// The main window on the headless display, with its meters read back.
class MetersTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        StartMainWindow();
    }

    void PickInField(const char* field, const char* label)
    {
        ASSERT_TRUE(display->Pick(display->FieldMenu(display->FindView(peer, field)), label)) << field;
        ASSERT_TRUE(display->Settle(peer));
    }

    void SendCursorData(float x, float y, float red = 0, float pressure = 0.5f, int32 buttons = 0)
    {
        BMessage data('cdat');
        data.AddFloat("x", x);
        data.AddFloat("y", y);
        data.AddFloat("pressure", pressure);
        data.AddInt32("mouseb", buttons);
        data.AddFloat("red", red);
        data.AddFloat("green", 0.5f);
        data.AddFloat("blue", 0.5f);
        ASSERT_EQ(mainWindow.SendMessage(&data), B_OK);
        ASSERT_TRUE(display->Settle(peer));
    }

    std::map<std::string, int32> Levels()
    {
        std::map<std::string, int32> levels;
        for (const char* meter : kMeters)
            levels[meter] = display->MeterLevel(display->FindView(peer, meter));
        return levels;
    }

    int64 LampPulses() { return display->MeterPulses(display->FindView(peer, "sending")); }
    std::string ConnectionLine() { return display->ViewText(display->FindView(peer, "connections")); }
};

std::map<std::string, int32> Expect(std::initializer_list<std::pair<const std::string, int32>> live)
{
    std::map<std::string, int32> levels;
    for (const char* meter : kMeters)
        levels[meter] = kDimmed;
    for (const auto& [meter, level] : live)
        levels[meter] = level;
    return levels;
}

} // namespace

TEST_F(MetersTest, MetersSitBesideTheRowsAndTheSignUnderThePanelWithoutTouchingIt)
{
    // Window coordinates: the panel view starts 20 down, rows 30 high from 70.
    for (int row = 0; row < 6; ++row) {
        const BRect frame = display->ViewFrame(display->FindView(peer, kMeters[row]));
        const float rowTop = 20 + 70 + 30 * row;
        EXPECT_GT(frame.left, 380) << kMeters[row] << " overlaps the higher-range column";
        EXPECT_LE(frame.right, 400) << kMeters[row];
        EXPECT_GE(frame.top, rowTop) << kMeters[row];
        EXPECT_LE(frame.bottom, rowTop + 30) << kMeters[row];
    }
    for (const char* sign : { "sending", "connections" }) {
        const BRect frame = display->ViewFrame(display->FindView(peer, sign));
        EXPECT_GT(frame.top, 20 + 250) << sign << " overlaps the last row";
        EXPECT_LE(frame.bottom, 310) << sign << " falls off the window";
    }
    EXPECT_EQ(display->ViewFrame(display->FindView(peer, "test")), BRect(0, 20, 400, 320));
    EXPECT_EQ(display->WindowFrame(peer), BRect(20, 20, 420, 330));
    EXPECT_EQ(Levels(), Expect({})) << "nothing is on at start";
    EXPECT_EQ(ConnectionLine(), "MIDI out: nothing connected");
}

TEST_F(MetersTest, CursorDataMovesTheMetersOfTheRowsThatSend)
{
    PickFromMenuBar("Channel", "1");
    EXPECT_EQ(Levels(), Expect({})) << "a channel alone switches no row on";
    PickInField("x select", "7  Channel Volume");
    PickInField("y select", "10 Pan");
    PickInField("y lorange", "20");
    PickInField("y hirange", "40");
    EXPECT_EQ(Levels(), Expect({ { "x meter", 0 }, { "y meter", 0 } })) << "on, nothing sent yet";

    SendCursorData(0.5f, 0.75f);
    // 0.5 of 0..127 truncates to 63; 20 + 0.75 * 20 is 35.
    EXPECT_EQ(Levels(), Expect({ { "x meter", 63 }, { "y meter", 35 } }));
    SendCursorData(1.0f, 0.0f);
    EXPECT_EQ(Levels(), Expect({ { "x meter", 127 }, { "y meter", 20 } }));

    // A range message switches a row on; without a controller it sends
    // nothing, so its meter stays dimmed.
    PickInField("red hirange", "100");
    SendCursorData(1.0f, 0.0f, 0.5f);
    EXPECT_EQ(Levels(), Expect({ { "x meter", 127 }, { "y meter", 20 } }));
    PickInField("red select", "74 Sound Ctrl 5 (Brightness)");
    SendCursorData(1.0f, 0.0f, 0.5f);
    EXPECT_EQ(Levels(), Expect({ { "x meter", 127 }, { "y meter", 20 }, { "red meter", 50 } }));
}

TEST_F(MetersTest, OffRowsAndTheOffChannelShowEmptyDimmedMeters)
{
    PickFromMenuBar("Channel", "2");
    PickInField("x select", "7  Channel Volume");
    PickInField("y select", "10 Pan");
    SendCursorData(0.5f, 0.5f);
    ASSERT_EQ(Levels(), Expect({ { "x meter", 63 }, { "y meter", 63 } }));

    // Only Vertical sends: the other bars dim until it no longer is.
    ASSERT_TRUE(display->Press(display->FindView(peer, "y settings")));
    ASSERT_TRUE(display->Settle(peer));
    const PeerId settings = display->FindWindow("Zimbrel \u2014 Vertical settings");
    ASSERT_TRUE(display->Settle(settings));
    for (const auto& shown : { Expect({ { "y meter", 63 } }), Expect({ { "x meter", 0 }, { "y meter", 63 } }) }) {
        ASSERT_TRUE(display->Press(display->FindView(settings, "solo")));
        ASSERT_TRUE(display->Settle(settings));
        ASSERT_TRUE(display->Settle(peer));
        EXPECT_EQ(Levels(), shown);
    }

    PickInField("x select", "off");
    EXPECT_EQ(Levels(), Expect({ { "y meter", 63 } }));
    SendCursorData(0.25f, 0.25f);
    EXPECT_EQ(Levels(), Expect({ { "y meter", 31 } }));

    PickFromMenuBar("Channel", "Off");
    EXPECT_EQ(Levels(), Expect({}));
    SendCursorData(0.75f, 0.75f);
    EXPECT_EQ(Levels(), Expect({})) << "nothing is sent while the channel is off";

    // Back on: the row shows empty until it sends again.
    PickFromMenuBar("Channel", "2");
    EXPECT_EQ(Levels(), Expect({ { "y meter", 0 } }));
    SendCursorData(0.75f, 0.75f);
    EXPECT_EQ(Levels(), Expect({ { "y meter", 95 } }));
}

TEST_F(MetersTest, RepeatsKeepTheirValueAndDoNotLightTheLamp)
{
    RecordingConsumer* synth = new RecordingConsumer("synth");
    PickFromMenuBar("Port", "synth");
    PickFromMenuBar("Channel", "1");
    PickInField("x select", "7  Channel Volume");
    const int64 pulsesBefore = LampPulses();

    SendCursorData(0.5f, 0.0f);
    EXPECT_EQ(LampPulses(), pulsesBefore + 1);
    SendCursorData(0.5f, 0.1f); // x repeats: the producer drops it
    EXPECT_EQ(synth->Received(), (std::vector<ControlChangeEvent> { { 0, 7, 63 } }));
    EXPECT_EQ(Levels(), Expect({ { "x meter", 63 } }));
    EXPECT_EQ(LampPulses(), pulsesBefore + 1) << "a dropped repeat left nothing";

    SendCursorData(0.6f, 0.0f);
    EXPECT_EQ(Levels(), Expect({ { "x meter", 76 } }));
    EXPECT_EQ(LampPulses(), pulsesBefore + 2);
    synth->Release();
}

TEST_F(MetersTest, ConnectionLineFollowsConnectAndDisconnect)
{
    RecordingConsumer* first = new RecordingConsumer("first synth");
    RecordingConsumer* second = new RecordingConsumer("second synth");
    EXPECT_EQ(ConnectionLine(), "MIDI out: nothing connected");
    PickFromMenuBar("Port", "first synth");
    EXPECT_EQ(ConnectionLine(), "MIDI out: connected to 1 consumer");
    PickFromMenuBar("Port", "second synth");
    EXPECT_EQ(ConnectionLine(), "MIDI out: connected to 2 consumers");
    PickFromMenuBar("Port", "first synth");
    PickFromMenuBar("Port", "second synth");
    EXPECT_EQ(ConnectionLine(), "MIDI out: nothing connected");

    // A link made by another tool shows within a second, by itself.
    int32 id = 0;
    BMidiProducer* producer = BMidiRoster::NextProducer(&id);
    ASSERT_NE(producer, nullptr);
    ASSERT_STREQ(producer->Name(), "Zimbrel");
    ASSERT_EQ(producer->Connect(second), B_OK);
    EXPECT_TRUE(WaitUntil([&] { return ConnectionLine() == "MIDI out: connected to 1 consumer"; }, std::chrono::seconds(3)))
        << ConnectionLine();
    producer->Release();
    first->Release();
    second->Release();
}

TEST_F(MetersTest, PausedNothingIsSentAndTheModesPlayOnlyWhileHeld)
{
    RecordingConsumer* synth = new RecordingConsumer("synth");
    PickFromMenuBar("Port", "synth");
    PickFromMenuBar("Channel", "1");
    PickInField("x select", "7  Channel Volume");
    const PeerId sendingSwitch = display->FindView(peer, "sending switch");
    ASSERT_EQ(display->FieldValue(sendingSwitch), "1");
    SendCursorData(0.5f, 0);

    PickFromMenuBar("Sending", "Sending");
    EXPECT_EQ(ConnectionLine(), "MIDI out: paused, connected to 1 consumer");
    EXPECT_EQ(display->FieldValue(sendingSwitch), "0");
    EXPECT_EQ(Levels(), Expect({})) << "paused, every bar is dimmed";
    SendCursorData(0.75f, 0);
    EXPECT_EQ(synth->Received().size(), 1u) << "sent while paused";
    ASSERT_TRUE(display->Press(sendingSwitch));
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_EQ(ConnectionLine(), "MIDI out: connected to 1 consumer");
    SendCursorData(0.75f, 0);

    // A mouse button or the pen's pressure lets the pointer play.
    PickFromMenuBar("Sending", "Play While a Button or the Pen Is Down");
    SendCursorData(0.25f, 0, 0, 0.0f);
    SendCursorData(0.0f, 0, 0, 0.0f, B_PRIMARY_MOUSE_BUTTON);
    SendCursorData(1.0f, 0, 0, 0.3f);

    // Held Pause lets it play; with no key for the whole desktop (as here)
    // the mode is not offered, as the key could not be held.
    EXPECT_FALSE(display->ItemEnabled(display->FindMenu(peer, "Sending"), "Play While Pause Is Held"));
    BMessage held(kChoosePlayMode);
    held.AddInt32("mode", int32(PlayMode::WhilePauseHeld));
    mainWindow.SendMessage(&held);
    SendCursorData(0.25f, 0);
    mainWindow.SendMessage(kGlobalKeyPressed);
    SendCursorData(0.5f, 0);
    mainWindow.SendMessage(kGlobalKeyReleased);
    SendCursorData(0.25f, 0);
    EXPECT_EQ(synth->Received(),
        (std::vector<ControlChangeEvent> { { 0, 7, 63 }, { 0, 7, 95 }, { 0, 7, 0 }, { 0, 7, 127 }, { 0, 7, 63 } }));
    synth->Release();
}

// "Zimbrel in" as a pedal's program reaches it: a note heard in the
// footswitch's window is taken with Use, then held it lets Zimbrel send.
TEST_F(MetersTest, ANoteHeardInTheFootswitchWindowIsTakenAndThenHoldsSending)
{
    RecordingConsumer* synth = new RecordingConsumer("synth");
    PickFromMenuBar("Port", "synth");
    EXPECT_EQ(PortMenuWhileOpen(), std::vector<std::string> { "synth" }) << "the program's own input is listed";
    PickFromMenuBar("Channel", "1");
    PickInField("x select", "7  Channel Volume");
    BMidiLocalProducer* pedal = new BMidiLocalProducer("pedal");
    int32 id = 0;
    bool linked = false;
    while (BMidiConsumer* consumer = BMidiRoster::NextConsumer(&id)) {
        if (std::string(consumer->Name()) == "Zimbrel in")
            linked = pedal->Connect(consumer) == B_OK;
        consumer->Release();
    }
    ASSERT_TRUE(linked) << "no \"Zimbrel in\" among the consumers";

    PickFromMenuBar("Sending", "Footswitch\u2026");
    const PeerId window = display->FindWindow("Zimbrel \u2014 Footswitch");
    ASSERT_NE(window, 0u);
    // A change goes from the footswitch's window to the main window and back.
    const auto settled = [&] { return display->Settle(window) && display->Settle(peer) && display->Settle(window); };
    pedal->SprayNoteOn(2, 60, 100);
    ASSERT_TRUE(settled());
    EXPECT_EQ(display->ViewText(display->FindView(window, "heard")), "Last heard: Note 60 on (velocity 100), channel 3");
    const PeerId sendingSwitch = display->FindView(peer, "sending switch");
    EXPECT_EQ(display->FieldValue(sendingSwitch), "1") << "no footswitch yet, but the note turned Sending over";

    testing::internal::CaptureStderr();
    ASSERT_TRUE(display->Press(display->FindView(window, "use")));
    ASSERT_TRUE(settled());
    ASSERT_TRUE(display->Pick(display->FieldMenu(display->FindView(window, "action")), "Sends While Held"));
    ASSERT_TRUE(settled());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_THAT(said, testing::HasSubstr("zimbrel: the footswitch is Note 60 on channel 3, and it sends while held\n"));
    EXPECT_EQ(display->FieldValue(sendingSwitch), "0") << "a footswitch that holds Sending is up until pressed";
    EXPECT_EQ(LoadFootswitch(), (Footswitch { Footswitch::Source::Note, 3, 60, Footswitch::Action::Hold }));

    SendCursorData(0.25f, 0);
    pedal->SprayNoteOn(2, 60, 90);
    ASSERT_TRUE(settled());
    SendCursorData(0.5f, 0);
    pedal->SprayNoteOn(0, 60, 90); // another channel
    pedal->SprayNoteOn(2, 60, 0); // a note off, as many keyboards send it
    ASSERT_TRUE(settled());
    SendCursorData(0.75f, 0);
    EXPECT_EQ(synth->Received(), (std::vector<ControlChangeEvent> { { 0, 7, 63 } }));
    EXPECT_EQ(display->FieldValue(sendingSwitch), "0");

    testing::internal::CaptureStderr();
    pedal->SprayProgramChange(0, 4);
    ASSERT_TRUE(settled());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Program Change 5: there is no preset 5, the list has 0\n");
    pedal->Release();
    synth->Release();
}

TEST(FootswitchSettings, WhatIsDamagedOrOutOfRangeIsSaidAndTheFootswitchIsOff)
{
    PrivateSettings settings;
    const std::string path = settings.Root() + "/Zimbrel2 Footswitch";
    KeepFootswitch({ Footswitch::Source::ControlChange, 16, 127, Footswitch::Action::Toggle });
    EXPECT_EQ(LoadFootswitch(), (Footswitch { Footswitch::Source::ControlChange, 16, 127, Footswitch::Action::Toggle }));
    BMessage outOfRange('zFSW');
    AddFootswitch(&outOfRange, { Footswitch::Source::Note, 17, 60, Footswitch::Action::Hold });
    const std::vector<char> bytes = outOfRange.Flatten();
    for (const std::string& content : { std::string(bytes.begin(), bytes.end()), std::string("not a footswitch") }) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        testing::internal::CaptureStderr();
        EXPECT_EQ(LoadFootswitch(), Footswitch {});
        EXPECT_THAT(testing::internal::GetCapturedStderr(),
            testing::StartsWith("the footswitch kept in " + path + " is not used: "));
    }
}

TEST_F(MetersTest, SettingAMeterWakesTheDisplayOnlyWhileItSleeps)
{
    PickFromMenuBar("Channel", "1");
    PickInField("x select", "7  Channel Volume");
    const PeerId meter = display->FindView(peer, "x meter");
    const int32 before = display->Invalidations(meter);
    for (int i = 0; i < 50; ++i)
        SendCursorData(float(i) / 50, 0);
    // The headless display never samples, so it never lets go: at most the
    // first of these values had to wake it.
    EXPECT_LE(display->Invalidations(meter) - before, 1);
    EXPECT_EQ(display->MeterLevel(meter), 124);
}

TEST_F(ShellTest, AnUnknownMetersSettingIsSaidAndTheMetersStay)
{
    ::setenv("ZIMBREL_METERS", "bogus", 1);
    testing::internal::CaptureStderr();
    StartMainWindow();
    const std::string said = testing::internal::GetCapturedStderr();
    ::unsetenv("ZIMBREL_METERS");
    EXPECT_NE(said.find("ZIMBREL_METERS is \"bogus\", neither on nor off: the meters are on"), std::string::npos)
        << said;
    EXPECT_NE(display->FindView(peer, "sending"), PeerId(0)) << "the meters were left out";
}
