#include "mapping/zbOutput.h"
#include "mapping/zbRowWindow.h"
#include "platform/app/AppDefs.h"

#include "InProcessMidiTest.h"
#include "platform/midi/MidiRoster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

class MappingEngine : public InProcessMidiTest {
protected:
    void SetUp() override
    {
        InProcessMidiTest::SetUp();
        monitor = new RecordingConsumer;
        output = new zbOutput("test");
        output->producer->Connect(monitor);
    }
    void TearDown() override
    {
        delete output;
        monitor->Release();
        InProcessMidiTest::TearDown();
    }

    void Send(BMessage&& message) { output->MessageReceived(&message); }

    void Choose(uint32 code, const char* field, int16 value)
    {
        BMessage message(code);
        message.AddInt16(field, value);
        Send(std::move(message));
    }

    void Channel(int16 channel)
    {
        BMessage message('vCCH');
        message.AddInt16("channel", channel);
        Send(std::move(message));
    }

    void Cursor(float x, float y = 0, float pressure = 0, float red = 0, float green = 0, float blue = 0)
    {
        BMessage message('cdat');
        message.AddFloat("red", red);
        message.AddFloat("green", green);
        message.AddFloat("blue", blue);
        message.AddFloat("x", x);
        message.AddFloat("y", y);
        message.AddFloat("pressure", pressure);
        message.AddBool("eraser", false);
        message.AddInt32("mouseb", 0);
        Send(std::move(message));
    }

    // Sets one of a row's output settings (rows counted from the top).
    void SetRow(int16 row, const char* field, int16 value)
    {
        BMessage message(kConfigureRow);
        message.AddInt16("row", row);
        message.AddInt16(field, value);
        Send(std::move(message));
    }

    std::vector<ControlChangeEvent> Sent() { return monitor->Received(); }

    RecordingConsumer* monitor = nullptr;
    zbOutput* output = nullptr;
};

} // namespace

TEST_F(MappingEngine, StartsOffWithDefaultsAndTheFrameBelowTheMenuBar)
{
    EXPECT_EQ(output->channel, 128);
    for (const cfg* record : {&output->x, &output->y, &output->pressure, &output->red, &output->green,
                              &output->blue}) {
        EXPECT_FALSE(record->enabled);
        EXPECT_EQ(record->lorange, 0);
        EXPECT_EQ(record->hirange, 127);
    }
    EXPECT_EQ(output->Frame(), BRect(0, 20, 400, 320));
}

TEST_F(MappingEngine, NothingIsSentWithoutChannelOrConfiguration)
{
    // Every quantity on, channel off.
    for (uint32 code : {'vCXA', 'vCYA', 'vCPS', 'vCRD', 'vCGR', 'vCBL'})
        Choose(code, "message", 7);
    Cursor(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f);
    EXPECT_TRUE(Sent().empty());

    // A fresh view with a channel but no configuration.
    delete output;
    output = new zbOutput("fresh");
    output->producer->Connect(monitor);
    Channel(1);
    Cursor(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(MappingEngine, ScalesLinearlyAndTruncates)
{
    Channel(3);
    Choose('vCXA', "message", 7);
    for (float input : {0.0f, 0.5f, 0.999f, 1.0f})
        Cursor(input);
    EXPECT_EQ(Sent(), (std::vector<ControlChangeEvent>{{2, 7, 0}, {2, 7, 63}, {2, 7, 126}, {2, 7, 127}}));
}

TEST_F(MappingEngine, ReversedRangeRunsDownward)
{
    Channel(1);
    Choose('vCYA', "message", 10);
    Choose('vCYA', "lorange", 127);
    Choose('vCYA', "hirange", 0);
    for (float input : {0.0f, 0.5f, 1.0f})
        Cursor(0, input);
    EXPECT_EQ(Sent(), (std::vector<ControlChangeEvent>{{0, 10, 127}, {0, 10, 64}, {0, 10, 0}}));
}

TEST_F(MappingEngine, NarrowAndFlatRanges)
{
    Channel(1);
    Choose('vCPS', "message", 2);
    Choose('vCPS', "lorange", 10);
    Choose('vCPS', "hirange", 20);
    Cursor(0, 0, 0.75f);
    EXPECT_EQ(Sent().back(), (ControlChangeEvent{0, 2, 17}));

    Choose('vCPS', "lorange", 64);
    Choose('vCPS', "hirange", 64);
    for (float input : {0.0f, 0.3f, 1.0f})
        Cursor(0, 0, input);
    // Equal values repeat, and a repeat of the same Control Change is dropped.
    EXPECT_EQ(Sent().back(), (ControlChangeEvent{0, 2, 64}));
    EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(MappingEngine, ConfigurationFieldsAreAppliedWhenPresentWhateverTheirValue)
{
    CaptureStdout();
    Choose('vCRD', "lorange", 30);
    Choose('vCRD', "lorange", 0);
    Choose('vCRD', "message", 0);
    EXPECT_EQ(GetCapturedStdout(), "configed\nconfiged\nconfiged\n");
    EXPECT_EQ(output->red.lorange, 0);
    EXPECT_EQ(output->red.controller, 0);
    EXPECT_TRUE(output->red.enabled);

    CaptureStdout();
    Choose('vCRD', "message", 128);
    EXPECT_EQ(GetCapturedStdout(), "off\nconfiged\n");
    EXPECT_FALSE(output->red.enabled);
    EXPECT_EQ(output->red.controller, 128);
    // No other record changed.
    EXPECT_FALSE(output->green.enabled);
    EXPECT_EQ(output->green.lorange, 0);
}

TEST_F(MappingEngine, QuantitiesGoOutInFixedOrder)
{
    Channel(1);
    Choose('vCRD', "message", 21);
    Choose('vCXA', "message", 20);
    Cursor(1.0f, 0, 0, 0.0f);
    EXPECT_EQ(Sent(), (std::vector<ControlChangeEvent>{{0, 20, 127}, {0, 21, 0}}));
}

TEST_F(MappingEngine, ChannelSelectionAndOff)
{
    Channel(16);
    EXPECT_EQ(output->channel, 15);
    Channel(1);
    EXPECT_EQ(output->channel, 0);

    Choose('vCGR', "message", 5);
    CaptureStdout();
    Send(BMessage('toff'));
    EXPECT_EQ(GetCapturedStdout(), "shi\n");
    EXPECT_EQ(output->channel, 128);
    Cursor(0, 0, 0, 0, 0.5f);
    EXPECT_TRUE(Sent().empty());

    Channel(2);
    Cursor(0, 0, 0, 0, 0.5f);
    EXPECT_EQ(Sent(), (std::vector<ControlChangeEvent>{{1, 5, 63}}));
}

TEST_F(MappingEngine, ChannelsOutsideTheMenuAreIgnored)
{
    Channel(4);
    Channel(0);
    Channel(17);
    Channel(-3);
    EXPECT_EQ(output->channel, 3);
}

TEST_F(MappingEngine, QuantityWithoutAValidControllerSendsNothing)
{
    Channel(1);
    // Never given a controller: a range pick switches it on.
    Choose('vCXA', "hirange", 100);
    EXPECT_TRUE(output->x.enabled);
    // Switched off, then a range pick switches it back on with controller 128.
    Choose('vCYA', "message", 128);
    Choose('vCYA', "lorange", 5);
    EXPECT_TRUE(output->y.enabled);
    Cursor(0.5f, 0.5f);
    EXPECT_TRUE(Sent().empty());
    // A forged controller number above 127 is no better.
    Choose('vCBL', "message", 300);
    Cursor(0.5f, 0.5f, 0, 0, 0, 0.5f);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(MappingEngine, ValuesBeyondTheDataRangeAreClamped)
{
    Channel(1);
    Choose('vCXA', "message", 1);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float input : {1.5f, -0.5f, inf, -inf, nan})
        Cursor(input);
    EXPECT_EQ(Sent(), (std::vector<ControlChangeEvent>{{0, 1, 127}, {0, 1, 0}, {0, 1, 127}, {0, 1, 0}}));

    // Forged ranges above 127 are held at 127 as well.
    Choose('vCXA', "hirange", 300);
    Cursor(1.0f);
    EXPECT_EQ(Sent().back(), (ControlChangeEvent{0, 1, 127}));
    for (const ControlChangeEvent& change : Sent()) {
        EXPECT_LE(change.controller, 127);
        EXPECT_LE(change.value, 127);
    }
}

TEST_F(MappingEngine, ButtonToMidiSendsFullValueOnTheRecordsController)
{
    Channel(2);
    Choose('vCXA', "message", 64);
    BMessage ignored('cdat');
    output->ButtonToMidi(output->x, &ignored, "x");
    output->ButtonToMidi(output->y, &ignored, "y"); // no controller: nothing
    EXPECT_EQ(Sent(), (std::vector<ControlChangeEvent>{{1, 64, 127}}));
}

TEST_F(MappingEngine, UnknownCodesAreIgnored)
{
    Channel(1);
    Choose('vCXA', "message", 1);
    Send(BMessage('none'));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(MappingEngine, HighResolutionRowsSendPairsSelectNrpnOnChangeAndSkipUnchangedValues)
{
    constexpr int16 kHorizontal = 1;
    constexpr int16 kVertical = 0;
    Channel(2);
    Choose('vCXA', "message", 40); // no 14-bit partner
    SetRow(kHorizontal, "output", int16(OutputKind::ControlChange14));
    Cursor(0.5f);
    Cursor(0.5f); // a 7-bit repeat, dropped by the producer
    Choose('vCXA', "message", 7);
    Cursor(0.5f); // 8191: MSB 63, LSB 127
    Cursor(0.50001f); // still 8191 in 14 bits: nothing
    Cursor(1.0f);
    EXPECT_EQ(Sent(), (std::vector<ControlChangeEvent>{{1, 40, 63}, {1, 7, 63}, {1, 39, 127}, {1, 7, 127}, {1, 39, 127}}));

    // NRPN: the number is selected once per change, data follows each value.
    RecordingConsumer* nrpn = new RecordingConsumer("nrpn");
    output->producer->Connect(nrpn);
    Choose('vCYA', "message", 1);
    SetRow(kHorizontal, "output", int16(OutputKind::Nrpn14));
    SetRow(kHorizontal, "nrpn", 300); // MSB 2, LSB 44
    SetRow(kVertical, "output", int16(OutputKind::Nrpn14));
    SetRow(kVertical, "nrpn", 300);
    Cursor(0.0f, 1.0f);
    Cursor(1.0f, 1.0f);
    SetRow(kVertical, "nrpn", 5);
    Cursor(0.0f, 0.0f);
    EXPECT_EQ(nrpn->Received(), (std::vector<ControlChangeEvent>{{1, 99, 2}, {1, 98, 44}, {1, 6, 0}, {1, 38, 0},
                                       {1, 6, 127}, {1, 38, 127}, // y: same number, no selection
                                       {1, 6, 127}, {1, 38, 127}, // x at 1.0: y's value is unchanged
                                       {1, 6, 0}, {1, 38, 0}, {1, 99, 0}, {1, 98, 5}, {1, 6, 0}, {1, 38, 0}}));
    nrpn->Release();
}

TEST_F(MappingEngine, SendOnlyThisRowSilencesTheOthersUntilItIsTurnedOff)
{
    Channel(1);
    Choose('vCXA', "message", 1);
    Choose('vCYA', "message", 2);
    BMessage solo(kConfigureRow);
    solo.AddInt16("row", 0); // Vertical
    solo.AddBool("solo", true);
    Send(std::move(solo));
    Cursor(1.0f, 1.0f);
    BMessage other(kConfigureRow);
    other.AddInt16("row", 1); // Horizontal takes the switch over
    other.AddBool("solo", true);
    Send(std::move(other));
    Cursor(0.0f, 0.0f);
    BMessage off(kConfigureRow);
    off.AddInt16("row", 1);
    off.AddBool("solo", false);
    Send(std::move(off));
    Cursor(1.0f, 1.0f);
    EXPECT_EQ(Sent(), (std::vector<ControlChangeEvent>{{0, 2, 127}, {0, 1, 0}, {0, 1, 127}, {0, 2, 127}}));
}

TEST_F(MappingEngine, SmoothingGlidesOnTheWindowsPulseUntilItArrivesAfterARestToo)
{
    // The glide needs the window's loop, as in the program.
    BWindow* window = new BWindow(BRect(0, 0, 400, 320), "glide", B_TITLED_WINDOW, 0);
    window->AddChild(output);
    Channel(1);
    Choose('vCXA', "message", 3);
    SetRow(1, "smoothing", 40);
    window->Show();
    const auto cursor = [&](float x) {
        BMessage message('cdat');
        message.AddFloat("x", x);
        window->PostMessage(&message, output);
    };
    cursor(0.0f);
    cursor(1.0f); // the pointer stops here; the glide goes on
    const std::vector<ControlChangeEvent> sent
        = monitor->WaitUntil([](const auto& events) { return !events.empty() && events.back().value == 127; });
    // A rest of five glide times (the rest is what is tested, nothing is
    // waited for), and a jump back: it glides all the same, as a pen that
    // lands somewhere new must.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    cursor(0.0f);
    const std::vector<ControlChangeEvent> all
        = monitor->WaitUntil([](const auto& events) { return !events.empty() && events.back().value == 0; });
    window->PostMessage(B_QUIT_REQUESTED);
    output = nullptr; // goes with its window
    ASSERT_TRUE(BLooper::WaitForOtherLoopers(nullptr, std::chrono::seconds(10)));
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().value, 127);
    EXPECT_GT(sent.size(), 4u) << "the value jumped instead of gliding";
    for (size_t i = 1; i < sent.size(); ++i)
        EXPECT_GT(sent[i].value, sent[i - 1].value);
    const std::vector<ControlChangeEvent> back(all.begin() + std::ptrdiff_t(sent.size()), all.end());
    ASSERT_FALSE(back.empty());
    EXPECT_EQ(back.back().value, 0);
    EXPECT_GT(back.size(), 4u) << "after a rest the value jumped instead of gliding";
    for (size_t i = 1; i < back.size(); ++i)
        EXPECT_LT(back[i].value, back[i - 1].value);
}
