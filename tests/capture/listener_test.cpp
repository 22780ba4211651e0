// How the pointer and screen services post to their listeners: once each,
// newest move only for listeners without pointer history, and never again to
// a looper that has gone.

#include "platform/app/AppDefs.h"
#include "platform/input/ListenerList.h"
#include "platform/input/PointerBroadcaster.h"
#include "platform/input/ScreenChangeBroadcaster.h"
#include "tests/capture/RecordingLooper.h"

#include <gtest/gtest.h>

namespace {

BMessage Move(float x)
{
    BMessage move(B_MOUSE_MOVED);
    move.AddPoint("where", BPoint(x, 0));
    return move;
}

// Drains a looper that was never run, so its queue can be read as it was
// filled.
std::vector<BMessage> Drain(BLooper* looper)
{
    std::vector<BMessage> messages;
    while (std::optional<MessageQueue::Envelope> envelope = looper->Queue()->TryNext())
        messages.push_back(*envelope->message);
    return messages;
}

class ListenerListTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        // Loopers that never ran are deleted at once.
        fWithHistory->Quit();
        fWithoutHistory->Quit();
    }

    ListenerList fList;
    BLooper* fWithHistory = new BLooper("with history");
    BLooper* fWithoutHistory = new BLooper("without history");
};

TEST_F(ListenerListTest, MovesReplaceQueuedMovesOnlyForListenersWithoutHistory)
{
    fList.Add(BMessenger(fWithHistory), false);
    fList.Add(BMessenger(fWithoutHistory), true);

    fList.Post(Move(1));
    BMessage down(B_MOUSE_DOWN);
    fList.Post(down);
    fList.Post(Move(2));
    fList.Post(Move(3));

    const std::vector<BMessage> all = Drain(fWithHistory);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[3].FindPoint("where").x, 3.0f);

    // The move queued before the press stays where it is: the press happened
    // there. Only the moves after the press collapse into the newest.
    const std::vector<BMessage> newest = Drain(fWithoutHistory);
    ASSERT_EQ(newest.size(), 3u);
    EXPECT_EQ(newest[0].what, uint32(B_MOUSE_MOVED));
    EXPECT_EQ(newest[0].FindPoint("where").x, 1.0f);
    EXPECT_EQ(newest[1].what, uint32(B_MOUSE_DOWN));
    EXPECT_EQ(newest[2].what, uint32(B_MOUSE_MOVED));
    EXPECT_EQ(newest[2].FindPoint("where").x, 3.0f);
}

TEST_F(ListenerListTest, PointerMessagesKeepTheirOrderAcrossPressAndRelease)
{
    fList.Add(BMessenger(fWithoutHistory), true);
    fList.Post(Move(1));
    fList.Post(Move(2));
    fList.Post(BMessage(B_MOUSE_DOWN));
    fList.Post(Move(3));
    fList.Post(BMessage(B_MOUSE_UP));
    fList.Post(Move(4));
    fList.Post(Move(5));

    const std::vector<BMessage> queued = Drain(fWithoutHistory);
    const std::vector<std::pair<uint32, float>> expected = { { B_MOUSE_MOVED, 2.0f }, { B_MOUSE_DOWN, 0.0f },
        { B_MOUSE_MOVED, 3.0f }, { B_MOUSE_UP, 0.0f }, { B_MOUSE_MOVED, 5.0f } };
    ASSERT_EQ(queued.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(queued[i].what, expected[i].first) << "message " << i;
        EXPECT_EQ(queued[i].FindPoint("where").x, expected[i].second) << "message " << i;
    }
}

TEST_F(ListenerListTest, PressesAndReleasesAreNeverReplaced)
{
    fList.Add(BMessenger(fWithoutHistory), true);
    for (uint32 what : { uint32(B_MOUSE_DOWN), uint32(B_MOUSE_UP), uint32(B_MOUSE_DOWN), uint32(B_MOUSE_UP) })
        fList.Post(BMessage(what));
    EXPECT_EQ(Drain(fWithoutHistory).size(), 4u);
}

TEST_F(ListenerListTest, ListenerAddedTwiceIsKeptOnceWithItsLatestChoice)
{
    fList.Add(BMessenger(fWithoutHistory), false);
    fList.Add(BMessenger(fWithoutHistory), true);
    EXPECT_EQ(fList.Count(), 1u);
    fList.Post(Move(1));
    fList.Post(Move(2));
    EXPECT_EQ(Drain(fWithoutHistory).size(), 1u);

    fList.Remove(BMessenger(fWithoutHistory));
    fList.Post(Move(3));
    EXPECT_TRUE(Drain(fWithoutHistory).empty());
}

TEST(ListenerListLifetime, LooperThatQuitIsDroppedOnTheNextPost)
{
    ScreenChangeBroadcaster screenChanges;
    auto* leaving = new RecordingLooper();
    auto* staying = new RecordingLooper();
    leaving->Run();
    staying->Run();
    const BMessenger leavingMessenger(leaving);
    const BMessenger stayingMessenger(staying);
    screenChanges.AddListener(leavingMessenger);
    screenChanges.AddListener(stayingMessenger);

    leavingMessenger.SendMessage(B_QUIT_REQUESTED);
    ASSERT_TRUE(BLooper::WaitForOtherLoopers(staying, RecordingLooper::kPatience));
    screenChanges.Broadcast(BRect(0, 0, 799, 599), B_RGB32);
    EXPECT_EQ(screenChanges.CountListeners(), 1u);

    ASSERT_TRUE(staying->WaitForCount(1));
    const BMessage change = staying->Messages().front();
    EXPECT_EQ(change.what, uint32(B_SCREEN_CHANGED));
    EXPECT_EQ(change.FindRect("frame"), BRect(0, 0, 799, 599));
    EXPECT_EQ(change.FindInt32("mode"), int32(B_RGB32));

    stayingMessenger.SendMessage(B_QUIT_REQUESTED);
    EXPECT_TRUE(BLooper::WaitForOtherLoopers(nullptr, RecordingLooper::kPatience));
}

// A window that starts listening after the screen-sharing dialog was
// answered still learns how it went, and only the latest word.
TEST_F(ListenerListTest, PointerStatusReachesEveryListenerAndLaterOnesGetOnlyTheLatest)
{
    PointerBroadcaster pointer;
    pointer.AddListener(BMessenger(fWithHistory), false);
    pointer.SetStatus(kPointerAsking, "asking");
    pointer.SetStatus(kPointerFollowing, "following");
    pointer.AddListener(BMessenger(fWithoutHistory), true);
    pointer.Broadcast(Move(1));

    const std::vector<BMessage> early = Drain(fWithHistory);
    ASSERT_EQ(early.size(), 3u);
    EXPECT_EQ(early[0].FindInt32("state"), kPointerAsking);
    EXPECT_EQ(early[1].FindInt32("state"), kPointerFollowing);
    const std::vector<BMessage> late = Drain(fWithoutHistory);
    ASSERT_EQ(late.size(), 2u);
    EXPECT_EQ(late[0].what, kPointerServiceStatus);
    EXPECT_EQ(late[0].FindInt32("state"), kPointerFollowing);
    EXPECT_STREQ(late[0].FindString("text"), "following");
    EXPECT_EQ(late[1].what, uint32(B_MOUSE_MOVED));
}

} // namespace
