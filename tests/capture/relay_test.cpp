// The cursor relay on the in-memory pointer and screen: what one cursor data
// message holds, how many each event gives, and how the relay behaves when it
// or its target is busy, or its target has gone.

#include "capture/VCursorRelay.h"
#include "platform/app/AppDefs.h"
#include "platform/input/HeadlessInput.h"
#include "tests/capture/RecordingLooper.h"
#include "tests/capture/RunningRelay.h"
#include "tests/common/PointerEvent.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <semaphore>
#include <string>

namespace {

using namespace std::chrono_literals;

constexpr uint32 kCursorData = 'cdat';
constexpr uint32 kHold = 'hold';
constexpr uint32 kPing = 'ping';

// The relay with two commands of the test's own, handled on its thread:
// 'hold' parks the thread until Release(), so events pile up as behind a
// busy relay; 'ping' tells that everything posted before it was handled.
class ProbeRelay : public VCursorRelay {
public:
    using VCursorRelay::VCursorRelay;

    void MessageReceived(BMessage* message) override
    {
        if (message->what == kHold) {
            fHolding.release();
            EXPECT_TRUE(fRelease.try_acquire_for(RecordingLooper::kPatience)) << "relay held for too long";
            return;
        }
        if (message->what == kPing) {
            fPinged.release();
            return;
        }
        VCursorRelay::MessageReceived(message);
    }

    bool WaitUntilHolding() { return fHolding.try_acquire_for(RecordingLooper::kPatience); }
    void Release() { fRelease.release(); }
    bool WaitForPing() { return fPinged.try_acquire_for(RecordingLooper::kPatience); }

private:
    std::binary_semaphore fHolding { 0 };
    std::binary_semaphore fRelease { 0 };
    std::counting_semaphore<> fPinged { 0 };
};

struct FieldInfo {
    std::string name;
    type_code type;
    uint32 count;
};

// The fields of a message in the order they were added, read from the
// documented flattened layout.
std::vector<FieldInfo> FieldsInOrder(const BMessage& message)
{
    const std::vector<char> bytes = message.Flatten();
    auto read32 = [&](size_t at) {
        uint32 value = 0;
        for (int i = 3; i >= 0; --i)
            value = value << 8 | uint8(bytes.at(at + size_t(i)));
        return value;
    };
    std::vector<FieldInfo> fields;
    const uint32 fieldCount = read32(12);
    size_t at = 16;
    for (uint32 f = 0; f < fieldCount; ++f) {
        const size_t nameLength = uint8(bytes.at(at));
        FieldInfo field { std::string(&bytes.at(at + 1), nameLength), 0, 0 };
        at += 1 + nameLength;
        field.type = read32(at);
        field.count = read32(at + 5);
        at += 9;
        for (uint32 item = 0; item < field.count; ++item)
            at += 4 + read32(at);
        fields.push_back(field);
    }
    return fields;
}

float Channel(int value)
{
    return float(value / 255.0L);
}

class RelayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fInput.Install();
        fLoopers.emplace();
    }

    void TearDown() override
    {
        EXPECT_TRUE(fLoopers->Quit()) << "a looper did not quit";
        fInput.Uninstall();
    }

    // Emits one pointer event and returns the cursor data it gave.
    BMessage CursorDataFor(const BMessage& event)
    {
        const size_t before = fLoopers->target->Count();
        fInput.EmitPointerEvent(event);
        EXPECT_TRUE(fLoopers->target->WaitForCount(before + 1)) << "no cursor data arrived";
        const std::vector<BMessage> messages = fLoopers->target->Messages();
        return messages.size() > before ? messages[before] : BMessage();
    }

    void Ping()
    {
        fLoopers->relayMessenger.SendMessage(kPing);
        ASSERT_TRUE(fLoopers->relay->WaitForPing()) << "relay did not answer";
    }

    HeadlessInput fInput { 1024, 768 };
    // Made once the headless input is installed, since the relay listens to it.
    std::optional<RunningRelay<ProbeRelay>> fLoopers;
};

TEST_F(RelayTest, CursorDataHoldsEightFieldsInOrderWithTheirTypes)
{
    fInput.Fill(rgb_color { 10, 20, 30, 255 });
    const BMessage data = CursorDataFor(PointerEvent(B_MOUSE_MOVED, 100, 200));

    EXPECT_EQ(data.what, kCursorData);
    const std::vector<FieldInfo> fields = FieldsInOrder(data);
    const std::vector<std::pair<std::string, type_code>> expected = {
        { "red", B_FLOAT_TYPE },
        { "green", B_FLOAT_TYPE },
        { "blue", B_FLOAT_TYPE },
        { "x", B_FLOAT_TYPE },
        { "y", B_FLOAT_TYPE },
        { "pressure", B_FLOAT_TYPE },
        { "eraser", B_BOOL_TYPE },
        { "mouseb", B_INT32_TYPE },
    };
    ASSERT_EQ(fields.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(fields[i].name, expected[i].first) << "field " << i;
        EXPECT_EQ(fields[i].type, expected[i].second) << fields[i].name;
        EXPECT_EQ(fields[i].count, 1u) << fields[i].name;
    }
    EXPECT_EQ(data.FindFloat("red"), Channel(10));
    EXPECT_EQ(data.FindFloat("green"), Channel(20));
    EXPECT_EQ(data.FindFloat("blue"), Channel(30));
    EXPECT_EQ(data.FindFloat("x"), float(100 / 1023.0L));
    EXPECT_EQ(data.FindFloat("y"), float(200 / 767.0L));
}

TEST_F(RelayTest, PositionIsNormalisedAgainstTheScreenAndFollowsItsChanges)
{
    BMessage data = CursorDataFor(PointerEvent(B_MOUSE_MOVED, 0, 0));
    EXPECT_EQ(data.FindFloat("x"), 0.0f);
    EXPECT_EQ(data.FindFloat("y"), 0.0f);

    data = CursorDataFor(PointerEvent(B_MOUSE_MOVED, 1023, 767));
    EXPECT_EQ(data.FindFloat("x"), 1.0f);
    EXPECT_EQ(data.FindFloat("y"), 1.0f);

    // The change reaches the relay as B_SCREEN_CHANGED, queued before the
    // next event.
    fInput.Resize(1280, 1024);
    data = CursorDataFor(PointerEvent(B_MOUSE_MOVED, 1279, 1023));
    EXPECT_EQ(data.FindFloat("x"), 1.0f);
    EXPECT_EQ(data.FindFloat("y"), 1.0f);
    data = CursorDataFor(PointerEvent(B_MOUSE_MOVED, 1023, 767));
    EXPECT_EQ(data.FindFloat("x"), float(1023 / 1279.0L));
    EXPECT_EQ(data.FindFloat("y"), float(767 / 1023.0L));
}

TEST_F(RelayTest, ColourIsThePixelUnderThePointerWithAlphaIgnored)
{
    fInput.Fill(rgb_color { 255, 255, 255, 255 });
    BMessage data = CursorDataFor(PointerEvent(B_MOUSE_MOVED, 5, 5));
    EXPECT_EQ(data.FindFloat("red"), 1.0f);
    EXPECT_EQ(data.FindFloat("green"), 1.0f);
    EXPECT_EQ(data.FindFloat("blue"), 1.0f);

    fInput.SetPixel(500, 300, rgb_color { 255, 128, 0, 255 });
    data = CursorDataFor(PointerEvent(B_MOUSE_MOVED, 500, 300));
    EXPECT_EQ(data.FindFloat("red"), 1.0f);
    EXPECT_EQ(data.FindFloat("green"), float(128 / 255.0L));
    EXPECT_NEAR(data.FindFloat("green"), 0.50196f, 1e-5);
    EXPECT_EQ(data.FindFloat("blue"), 0.0f);

    fInput.SetPixel(501, 300, rgb_color { 255, 128, 0, 0 });
    const BMessage transparent = CursorDataFor(PointerEvent(B_MOUSE_MOVED, 501, 300));
    for (const char* channel : { "red", "green", "blue" })
        EXPECT_EQ(transparent.FindFloat(channel), data.FindFloat(channel)) << channel;

    fInput.SetPixel(0, 0, rgb_color { 0, 0, 0, 255 });
    data = CursorDataFor(PointerEvent(B_MOUSE_MOVED, 0, 0));
    EXPECT_EQ(data.FindFloat("red"), 0.0f);
    EXPECT_EQ(data.FindFloat("green"), 0.0f);
    EXPECT_EQ(data.FindFloat("blue"), 0.0f);
}

TEST_F(RelayTest, PixelThatCannotBeReadGivesBlack)
{
    fInput.Fill(rgb_color { 200, 200, 200, 255 });
    const BMessage data = CursorDataFor(PointerEvent(B_MOUSE_MOVED, 5000, -3));
    EXPECT_EQ(data.FindFloat("red"), 0.0f);
    EXPECT_EQ(data.FindFloat("green"), 0.0f);
    EXPECT_EQ(data.FindFloat("blue"), 0.0f);
}

TEST_F(RelayTest, TabletFieldsAndButtonsAreCopied)
{
    BMessage mouse = PointerEvent(B_MOUSE_DOWN, 10, 10, B_PRIMARY_MOUSE_BUTTON);
    BMessage data = CursorDataFor(mouse);
    EXPECT_EQ(data.FindFloat("pressure"), 0.0f);
    EXPECT_FALSE(data.FindBool("eraser"));
    EXPECT_EQ(data.FindInt32("mouseb"), 1);

    BMessage pen = PointerEvent(B_MOUSE_MOVED, 10, 10, B_PRIMARY_MOUSE_BUTTON | B_TERTIARY_MOUSE_BUTTON);
    pen.AddFloat("be:tablet_pressure", 0.375f);
    pen.AddBool("be:tablet_eraser", true);
    data = CursorDataFor(pen);
    EXPECT_EQ(data.FindFloat("pressure"), 0.375f);
    EXPECT_TRUE(data.FindBool("eraser"));
    EXPECT_EQ(data.FindInt32("mouseb"), 5);

    BMessage bare(B_MOUSE_UP);
    data = CursorDataFor(bare);
    EXPECT_EQ(data.FindFloat("x"), 0.0f);
    EXPECT_EQ(data.FindInt32("mouseb"), 0);
    EXPECT_EQ(FieldsInOrder(data).size(), 8u);
}

TEST_F(RelayTest, EachPointerEventGivesExactlyOneMessageAndNothingElseGivesAny)
{
    fInput.EmitPointerEvent(PointerEvent(B_MOUSE_DOWN, 1, 1, 1));
    Ping();
    fInput.EmitPointerEvent(PointerEvent(B_MOUSE_MOVED, 2, 2, 1));
    Ping();
    fInput.EmitPointerEvent(PointerEvent(B_MOUSE_UP, 3, 3, 0));
    Ping();
    for (uint32 other : { uint32(B_KEY_DOWN), uint32(B_KEY_UP), uint32('abcd'), uint32(B_ABOUT_REQUESTED) })
        fLoopers->relayMessenger.SendMessage(other);
    Ping();
    // The last event is a marker: everything before it has arrived with it.
    fInput.EmitPointerEvent(PointerEvent(B_MOUSE_MOVED, 9, 9, 0));
    ASSERT_TRUE(fLoopers->target->WaitForCount(4));
    Ping();

    const std::vector<BMessage> messages = fLoopers->target->Messages();
    ASSERT_EQ(messages.size(), 4u);
    const float expectedX[]
        = { float(1 / 1023.0L), float(2 / 1023.0L), float(3 / 1023.0L), float(9 / 1023.0L) };
    const int32 expectedButtons[] = { 1, 1, 0, 0 };
    for (size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].what, kCursorData);
        EXPECT_EQ(messages[i].FindFloat("x"), expectedX[i]) << "message " << i;
        EXPECT_EQ(messages[i].FindInt32("mouseb"), expectedButtons[i]) << "message " << i;
    }
}

TEST_F(RelayTest, BusyRelayGetsOnlyTheNewestMoveButEveryPress)
{
    fLoopers->relayMessenger.SendMessage(kHold);
    ASSERT_TRUE(fLoopers->relay->WaitUntilHolding());
    for (int i = 0; i < 500; ++i)
        fInput.EmitPointerEvent(PointerEvent(B_MOUSE_MOVED, float(i), 7));
    EXPECT_LE(fLoopers->relay->Queue()->PeakLength(), 1u) << "mouse-moved messages piled up";
    fInput.EmitPointerEvent(PointerEvent(B_MOUSE_DOWN, 600, 7, 1));
    fInput.EmitPointerEvent(PointerEvent(B_MOUSE_UP, 601, 7, 0));
    fLoopers->relay->Release();

    ASSERT_TRUE(fLoopers->target->WaitForCount(3));
    Ping();
    const std::vector<BMessage> messages = fLoopers->target->Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].FindFloat("x"), float(499 / 1023.0L)) << "not the newest position";
    EXPECT_EQ(messages[1].FindInt32("mouseb"), 1);
    EXPECT_EQ(messages[2].FindFloat("x"), float(601 / 1023.0L));
}

// A target parked on 'hold' until Release(), as a main window busy with
// something else.
class BusyTarget : public RecordingLooper {
public:
    void MessageReceived(BMessage* message) override
    {
        if (message->what != kHold) {
            RecordingLooper::MessageReceived(message);
            return;
        }
        fHolding.release();
        EXPECT_TRUE(fRelease.try_acquire_for(kPatience)) << "target held for too long";
    }

    bool WaitUntilHolding() { return fHolding.try_acquire_for(kPatience); }
    void Release() { fRelease.release(); }

private:
    std::binary_semaphore fHolding { 0 };
    std::binary_semaphore fRelease { 0 };
};

TEST(RelayToABusyTarget, OnlyTheNewestMotionWaitsButEveryPressAndReleaseInOrder)
{
    HeadlessInput input { 1024, 768 };
    input.Install();
    {
        RunningRelay<ProbeRelay, BusyTarget> loopers;
        loopers.targetMessenger.SendMessage(kHold);
        ASSERT_TRUE(loopers.target->WaitUntilHolding());
        // Each event is handled by the relay before the next, so that only
        // the target's queue can merge them.
        const auto emit = [&](uint32 what, int x, int32 buttons) {
            input.EmitPointerEvent(PointerEvent(what, float(x), 7, buttons));
            loopers.relayMessenger.SendMessage(kPing);
            EXPECT_TRUE(loopers.relay->WaitForPing()) << "relay did not answer";
        };
        for (int x = 0; x < 50; ++x)
            emit(B_MOUSE_MOVED, x, 0);
        emit(B_MOUSE_DOWN, 100, 1);
        for (int x = 200; x < 250; ++x)
            emit(B_MOUSE_MOVED, x, 1);
        emit(B_MOUSE_UP, 300, 0);
        emit(B_MOUSE_MOVED, 400, 0);
        EXPECT_LE(loopers.target->Queue()->PeakLength(), 5u) << "cursor data piled up";
        loopers.target->Release();

        ASSERT_TRUE(loopers.target->WaitForCount(5));
        loopers.targetMessenger.SendMessage(kPing);
        ASSERT_TRUE(loopers.target->WaitFor([](const BMessage& m) { return m.what == kPing; }));
        const std::vector<BMessage> messages = loopers.target->Messages();
        ASSERT_EQ(messages.size(), 6u);
        const int expectedX[] = { 49, 100, 249, 300, 400 };
        const int32 expectedButtons[] = { 0, 1, 1, 0, 0 };
        for (size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(messages[i].what, kCursorData);
            EXPECT_EQ(messages[i].FindFloat("x"), float(expectedX[i] / 1023.0L)) << "message " << i;
            EXPECT_EQ(messages[i].FindInt32("mouseb"), expectedButtons[i]) << "message " << i;
        }
        EXPECT_TRUE(loopers.Quit());
    }
    input.Uninstall();
}

TEST_F(RelayTest, PostingToATargetThatHasQuitFailsHarmlessly)
{
    fLoopers->targetMessenger.SendMessage(B_QUIT_REQUESTED);
    const auto deadline = std::chrono::steady_clock::now() + RecordingLooper::kPatience;
    while (fLoopers->targetMessenger.IsValid() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_FALSE(fLoopers->targetMessenger.IsValid()) << "target did not quit";

    for (uint32 what : { uint32(B_MOUSE_DOWN), uint32(B_MOUSE_MOVED), uint32(B_MOUSE_UP) })
        fInput.EmitPointerEvent(PointerEvent(what, 4, 4));
    Ping();
    EXPECT_TRUE(fLoopers->relayMessenger.IsValid());
    EXPECT_EQ(fInput.CountPointerListeners(), 1u);
}

TEST(RelayLifetime, RelayThatQuitNoLongerListensToThePointer)
{
    HeadlessInput input(640, 480);
    input.Install();
    auto* target = new RecordingLooper();
    target->Run();
    auto* relay = new VCursorRelay(target);
    relay->Hide();
    relay->Show();
    EXPECT_EQ(input.CountPointerListeners(), 1u);

    BMessenger(relay).SendMessage(B_QUIT_REQUESTED);
    BMessenger targetMessenger(target);
    ASSERT_TRUE(BLooper::WaitForOtherLoopers(target, RecordingLooper::kPatience));
    input.EmitPointerEvent(PointerEvent(B_MOUSE_MOVED, 1, 1));
    EXPECT_EQ(input.CountPointerListeners(), 0u);

    targetMessenger.SendMessage(B_QUIT_REQUESTED);
    EXPECT_TRUE(BLooper::WaitForOtherLoopers(nullptr, RecordingLooper::kPatience));
}

} // namespace

// The canvas silences the relay over its frame, or everywhere while the
// pointer is over a canvas whose place is unknown; the pointer service's
// status goes on to the target all the same.
TEST_F(RelayTest, SilencedRelayPostsNothingThereAndPassesTheStatusOn)
{
    const auto silence = [&](const char* field) {
        BMessage message(kRelaySilence);
        if (field == std::string("frame"))
            message.AddRect("frame", BRect(0, 0, 99, 99));
        else if (field == std::string("everywhere"))
            message.AddBool("everywhere", true);
        fLoopers->relayMessenger.SendMessage(&message);
        Ping();
    };
    const auto move = [&](float x) {
        fInput.EmitPointerEvent(PointerEvent(B_MOUSE_MOVED, x, 50));
        Ping();
    };
    silence("frame");
    move(50);
    move(150);
    // Taken before the next motion, which would otherwise replace it.
    ASSERT_TRUE(fLoopers->target->WaitForCount(1));
    silence("everywhere");
    move(300);
    silence("");
    move(400);
    fInput.SetPointerStatus(kPointerRefused, "refused");
    ASSERT_TRUE(fLoopers->target->WaitForCount(3));
    Ping();

    const std::vector<BMessage> messages = fLoopers->target->Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].FindFloat("x"), float(150 / 1023.0L));
    EXPECT_EQ(messages[1].FindFloat("x"), float(400 / 1023.0L));
    EXPECT_EQ(messages[2].what, kPointerServiceStatus);
    EXPECT_STREQ(messages[2].FindString("text"), "refused");
}
