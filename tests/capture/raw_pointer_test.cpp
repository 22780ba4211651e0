// From the X server's raw pointer events to pointer messages, without a
// server: batches, button masks, the wheel, and tablet pressure and eraser.

#include "platform/app/AppDefs.h"
#include "platform/input/x11/RawPointerEvents.h"
#include "platform/input/x11/TabletDevices.h"
#include "platform/interface/InterfaceDefs.h"

#include <gtest/gtest.h>

namespace {

using Kind = RawPointerEvents::Kind;

constexpr int kMouse = 6;
constexpr int kPen = 10;
constexpr int kEraser = 11;

TabletDevices Tablets()
{
    TabletDevices tablets;
    // A libinput pen (pressure is its valuator 2) and a wacom eraser
    // (pressure is its valuator 4, x and y are 0 and 1).
    tablets.Reset({
        TabletDevices::Device { kPen, 2, 0.0, 2047.0, false },
        TabletDevices::Device { kEraser, 4, 0.0, 65536.0, true },
    });
    return tablets;
}

TEST(RawPointerEvents, RunsOfMotionBecomeOneMovePressesAndReleasesTheirOwn)
{
    RawPointerEvents batch;
    const TabletDevices tablets;
    batch.Add(Kind::Motion, 0, kMouse);
    batch.Add(Kind::Motion, 0, kMouse);
    batch.Add(Kind::Press, 1, kMouse);
    batch.Add(Kind::Motion, 0, kMouse);
    batch.Add(Kind::Press, 3, kMouse);
    batch.Add(Kind::Release, 1, kMouse);
    batch.Add(Kind::Motion, 0, kMouse);
    batch.Add(Kind::Motion, 0, kMouse);

    // X's button 3 is the right button: the secondary one.
    const std::span<const BMessage> messages = batch.Finish(BPoint(12, 34), 2, tablets, 777);
    const uint32 expectedWhat[]
        = { B_MOUSE_MOVED, B_MOUSE_DOWN, B_MOUSE_MOVED, B_MOUSE_DOWN, B_MOUSE_UP, B_MOUSE_MOVED };
    const int32 expectedButtons[] = { 0, 1, 1, 3, 2, 2 };
    ASSERT_EQ(messages.size(), 6u);
    for (size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].what, expectedWhat[i]) << "message " << i;
        EXPECT_EQ(messages[i].FindInt32("buttons"), expectedButtons[i]) << "message " << i;
        EXPECT_EQ(messages[i].FindPoint("where"), BPoint(12, 34));
        EXPECT_EQ(messages[i].FindInt64("when"), 777);
        EXPECT_FALSE(messages[i].HasFloat("be:tablet_pressure")) << "a mouse is not a tablet";
        EXPECT_FALSE(messages[i].HasBool("be:tablet_eraser"));
    }
    EXPECT_TRUE(batch.IsEmpty());
}

TEST(RawPointerEvents, ServerMaskEndsEachBatchAndStartsTheNext)
{
    RawPointerEvents batch;
    const TabletDevices tablets;
    // The server says the primary button is held (pressed before we looked).
    batch.Add(Kind::Motion, 0, kMouse);
    EXPECT_EQ(batch.Finish(BPoint(), 1, tablets, 0).front().FindInt32("buttons"), 1);

    // X's button 2 is the middle button: the tertiary one.
    batch.Add(Kind::Press, 2, kMouse);
    batch.Add(Kind::Motion, 0, kMouse);
    const std::span<const BMessage> messages = batch.Finish(BPoint(), 5, tablets, 0);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].FindInt32("buttons"), 5);
    EXPECT_EQ(messages[1].FindInt32("buttons"), 5);

    // A release alone: the mouse-up carries the buttons still held.
    batch.Add(Kind::Release, 1, kMouse);
    EXPECT_EQ(batch.Finish(BPoint(), 4, tablets, 0).front().FindInt32("buttons"), 4);
}

TEST(RawPointerEvents, ButtonBitsFollowTheListenersMask)
{
    EXPECT_EQ(RawPointerEvents::ButtonBit(1), B_PRIMARY_MOUSE_BUTTON);
    EXPECT_EQ(RawPointerEvents::ButtonBit(3), B_SECONDARY_MOUSE_BUTTON);
    EXPECT_EQ(RawPointerEvents::ButtonBit(2), B_TERTIARY_MOUSE_BUTTON);
    for (int wheel = 4; wheel <= 7; ++wheel)
        EXPECT_EQ(RawPointerEvents::ButtonBit(wheel), 0) << wheel;
    EXPECT_EQ(RawPointerEvents::ButtonBit(8), 0x80);
    EXPECT_EQ(RawPointerEvents::ButtonBit(0), 0);
    EXPECT_EQ(RawPointerEvents::ButtonBit(40), 0);
}

TEST(RawPointerEvents, WheelClicksAreNotPresses)
{
    RawPointerEvents batch;
    for (int button = 4; button <= 7; ++button) {
        batch.Add(Kind::Press, button, kMouse);
        batch.Add(Kind::Release, button, kMouse);
    }
    EXPECT_TRUE(batch.IsEmpty());

    batch.Add(Kind::Press, 8, kMouse);
    const std::span<const BMessage> messages = batch.Finish(BPoint(), 0x80, TabletDevices(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].what, uint32(B_MOUSE_DOWN));
    EXPECT_EQ(messages[0].FindInt32("buttons"), 0x80);
}

TEST(RawPointerEvents, DiscardedBatchGivesNothing)
{
    RawPointerEvents batch;
    batch.Add(Kind::Press, 1, kMouse);
    batch.Discard();
    EXPECT_TRUE(batch.IsEmpty());
    EXPECT_TRUE(batch.Finish(BPoint(), 0, TabletDevices(), 0).empty());
}

TEST(TabletDevices, PressureIsNormalisedFromTheAxisRangeOfEachDriver)
{
    TabletDevices tablets = Tablets();
    // Valuators 0, 1 and 2 changed: x, y and pressure, packed in that order.
    const unsigned char penMask[] = { 0b111 };
    const double penValues[] = { 100.0, 200.0, 1023.5 };
    tablets.Update(kPen, penMask, 1, penValues);
    BMessage pen;
    tablets.AddFields(kPen, &pen);
    EXPECT_FLOAT_EQ(pen.FindFloat("be:tablet_pressure"), 0.5f);
    EXPECT_FALSE(pen.FindBool("be:tablet_eraser"));

    // Valuators 1 and 4 changed; 4 is the second packed value.
    const unsigned char eraserMask[] = { 0b10010 };
    const double eraserValues[] = { 300.0, 65536.0 };
    tablets.Update(kEraser, eraserMask, 1, eraserValues);
    BMessage eraser;
    tablets.AddFields(kEraser, &eraser);
    EXPECT_EQ(eraser.FindFloat("be:tablet_pressure"), 1.0f);
    EXPECT_TRUE(eraser.FindBool("be:tablet_eraser"));
}

TEST(TabletDevices, LastPressureStaysWhenAnEventDoesNotCarryIt)
{
    TabletDevices tablets = Tablets();
    const unsigned char pressureOnly[] = { 0b100 };
    const double pressed[] = { 2047.0 };
    tablets.Update(kPen, pressureOnly, 1, pressed);

    const unsigned char positionOnly[] = { 0b011 };
    const double moved[] = { 5.0, 6.0 };
    tablets.Update(kPen, positionOnly, 1, moved);
    // A mask shorter than the pressure valuator's byte carries no pressure.
    tablets.Update(kPen, positionOnly, 0, moved);
    BMessage message;
    tablets.AddFields(kPen, &message);
    EXPECT_EQ(message.FindFloat("be:tablet_pressure"), 1.0f);

    // Re-reading the devices after a hot-plug keeps what stayed.
    tablets.Reset({ TabletDevices::Device { kPen, 2, 0.0, 2047.0, false } });
    BMessage afterReset;
    tablets.AddFields(kPen, &afterReset);
    EXPECT_EQ(afterReset.FindFloat("be:tablet_pressure"), 1.0f);
    BMessage unplugged;
    tablets.AddFields(kEraser, &unplugged);
    EXPECT_TRUE(unplugged.IsEmpty());
}

TEST(TabletDevices, PressureOutsideTheRangeOrWithoutARangeStaysWithinZeroAndOne)
{
    TabletDevices tablets;
    tablets.Reset({ TabletDevices::Device { 1, 0, 10.0, 20.0, false },
        TabletDevices::Device { 2, 0, 5.0, 5.0, false } });
    const unsigned char mask[] = { 0b1 };
    const double high[] = { 50.0 };
    const double low[] = { -50.0 };
    BMessage message;
    tablets.Update(1, mask, 1, high);
    tablets.AddFields(1, &message);
    EXPECT_EQ(message.FindFloat("be:tablet_pressure"), 1.0f);
    message.MakeEmpty();
    tablets.Update(1, mask, 1, low);
    tablets.AddFields(1, &message);
    EXPECT_EQ(message.FindFloat("be:tablet_pressure"), 0.0f);
    message.MakeEmpty();
    tablets.Update(2, mask, 1, high);
    tablets.AddFields(2, &message);
    EXPECT_EQ(message.FindFloat("be:tablet_pressure"), 0.0f);
}

TEST(TabletDevices, TabletPressureReachesTheMessagesOfItsEvents)
{
    TabletDevices tablets = Tablets();
    const unsigned char mask[] = { 0b100 };
    const double half[] = { 1023.5 };
    tablets.Update(kPen, mask, 1, half);

    RawPointerEvents batch;
    batch.Add(Kind::Press, 1, kPen);
    batch.Add(Kind::Release, 1, kMouse);
    const std::span<const BMessage> messages = batch.Finish(BPoint(), 0, tablets, 0);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_FLOAT_EQ(messages[0].FindFloat("be:tablet_pressure"), 0.5f);
    EXPECT_FALSE(messages[1].HasFloat("be:tablet_pressure"));

    // The next batch is built in the same messages: nothing of the pen stays.
    batch.Add(Kind::Motion, 0, kMouse);
    const std::span<const BMessage> next = batch.Finish(BPoint(), 0, tablets, 0);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_FALSE(next[0].HasFloat("be:tablet_pressure"));
    EXPECT_FALSE(next[0].HasBool("be:tablet_eraser"));
}

TEST(TabletDevices, EraserNamesOfBothDrivers)
{
    EXPECT_TRUE(TabletDevices::IsEraserName("Wacom Intuos Pro M Pen eraser"));
    EXPECT_TRUE(TabletDevices::IsEraserName("Wacom One by Wacom S Pen Eraser (0x80c0a8f1)"));
    EXPECT_TRUE(TabletDevices::IsEraserName("HUION Tablet ERASER"));
    EXPECT_FALSE(TabletDevices::IsEraserName("Wacom Intuos Pro M Pen stylus"));
    EXPECT_FALSE(TabletDevices::IsEraserName("Wacom One by Wacom S Pen (0x80c0a8f1)"));
    EXPECT_FALSE(TabletDevices::IsEraserName("Eraser mouse"));
    EXPECT_FALSE(TabletDevices::IsEraserName("raser"));
    EXPECT_FALSE(TabletDevices::IsEraserName(""));
}

} // namespace
