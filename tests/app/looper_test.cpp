#include "platform/app/AppDefs.h"
#include "platform/app/HostedSource.h"
#include "platform/app/Looper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

// What a looper saw, kept outside it because a looper deletes itself.
struct Journal {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<BMessage> received;
    std::vector<uint32> dispatched;
    std::vector<std::thread::id> threads;
    bool deleted = false;
    int quitRequests = 0;

    template <typename Predicate> bool WaitFor(Predicate done)
    {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 5s, [&] { return done(*this); });
    }
};

class RecordingLooper : public BLooper {
public:
    RecordingLooper(Journal& journal, bool allowQuit = true)
        : BLooper("recorder"), fJournal(journal), fAllowQuit(allowQuit)
    {
    }
    ~RecordingLooper() override
    {
        std::lock_guard guard(fJournal.lock);
        fJournal.deleted = true;
        fJournal.changed.notify_all();
    }

    void DispatchMessage(BMessage* message, BHandler* handler) override
    {
        {
            std::lock_guard guard(fJournal.lock);
            fJournal.dispatched.push_back(message->what);
        }
        BLooper::DispatchMessage(message, handler);
    }
    void MessageReceived(BMessage* message) override
    {
        if (message->what == 'slow')
            std::this_thread::sleep_for(50ms);
        std::lock_guard guard(fJournal.lock);
        fJournal.received.push_back(*message);
        fJournal.threads.push_back(std::this_thread::get_id());
        fJournal.changed.notify_all();
    }
    bool QuitRequested() override
    {
        std::lock_guard guard(fJournal.lock);
        ++fJournal.quitRequests;
        fJournal.changed.notify_all();
        return fAllowQuit;
    }

private:
    Journal& fJournal;
    bool fAllowQuit;
};

} // namespace

TEST(Looper, DeliversInPostingOrderOnItsOwnThread)
{
    Journal journal;
    auto* looper = new RecordingLooper(journal);
    const BMessenger messenger(looper);
    looper->Run();
    for (int32 i = 0; i < 200; ++i) {
        BMessage message('num ');
        message.AddInt32("i", i);
        ASSERT_EQ(messenger.SendMessage(&message), B_OK);
    }
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.received.size() == 200; }));
    for (int32 i = 0; i < 200; ++i)
        EXPECT_EQ(journal.received[size_t(i)].FindInt32("i"), i);
    EXPECT_NE(journal.threads.front(), std::this_thread::get_id());
    EXPECT_EQ(journal.threads.front(), journal.threads.back());
    messenger.SendMessage(B_QUIT_REQUESTED);
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.deleted; }));
}

TEST(Looper, PostingCopiesTheMessage)
{
    Journal journal;
    auto* looper = new RecordingLooper(journal);
    const BMessenger messenger(looper);
    BMessage message('cdat');
    message.AddFloat("x", 0.25f);
    looper->PostMessage(&message);
    message.ReplaceFloat("x", 0.75f); // the caller keeps and changes its own
    looper->Run();
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.received.size() == 1; }));
    EXPECT_EQ(journal.received[0].FindFloat("x"), 0.25f);
    EXPECT_EQ(message.FindFloat("x"), 0.75f);
    messenger.SendMessage(B_QUIT_REQUESTED);
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.deleted; }));
}

TEST(Looper, PostsFromManyThreadsKeepEachSendersOrder)
{
    Journal journal;
    auto* looper = new RecordingLooper(journal);
    const BMessenger messenger(looper);
    looper->Run();
    std::vector<std::thread> senders;
    for (int32 sender = 0; sender < 4; ++sender) {
        senders.emplace_back([&messenger, sender] {
            for (int32 i = 0; i < 100; ++i) {
                BMessage message('num ');
                message.AddInt32("sender", sender);
                message.AddInt32("i", i);
                messenger.SendMessage(&message);
            }
        });
    }
    for (std::thread& sender : senders)
        sender.join();
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.received.size() == 400; }));
    std::vector<int32> next(4, 0);
    for (const BMessage& message : journal.received) {
        const int32 sender = message.FindInt32("sender");
        EXPECT_EQ(message.FindInt32("i"), next[size_t(sender)]++);
    }
    messenger.SendMessage(B_QUIT_REQUESTED);
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.deleted; }));
}

TEST(Looper, DispatchSeesEveryMessageAndQuitGoesThroughQuitRequested)
{
    Journal journal;
    auto* looper = new RecordingLooper(journal);
    const BMessenger messenger(looper);
    looper->Run();
    messenger.SendMessage('one ');
    messenger.SendMessage(B_QUIT_REQUESTED);
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.deleted; }));
    EXPECT_EQ(journal.dispatched, (std::vector<uint32>{'one ', B_QUIT_REQUESTED}));
    EXPECT_EQ(journal.quitRequests, 1);
    // Quit requests never reach MessageReceived.
    ASSERT_EQ(journal.received.size(), 1u);
}

TEST(Looper, RefusedQuitKeepsTheLoopRunning)
{
    Journal journal;
    auto* looper = new RecordingLooper(journal, false);
    const BMessenger messenger(looper);
    looper->Run();
    messenger.SendMessage(B_QUIT_REQUESTED);
    messenger.SendMessage('more');
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.received.size() == 1; }));
    EXPECT_FALSE(journal.deleted);
    EXPECT_EQ(journal.quitRequests, 1);
    looper->Quit(); // quits without asking
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.deleted; }));
    EXPECT_EQ(journal.quitRequests, 1);
}

TEST(Messenger, SendingToALooperThatIsGoneFailsHarmlessly)
{
    Journal journal;
    auto* looper = new RecordingLooper(journal);
    const BMessenger messenger(looper);
    looper->Run();
    EXPECT_TRUE(messenger.IsValid());
    messenger.SendMessage(B_QUIT_REQUESTED);
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.deleted; }));
    BMessage late('cdat');
    EXPECT_EQ(messenger.SendMessage(&late), B_BAD_PORT_ID);
    EXPECT_EQ(messenger.SendReplacingQueued(late), B_BAD_PORT_ID);
    EXPECT_FALSE(messenger.IsValid());
    EXPECT_EQ(BMessenger().SendMessage('none'), B_BAD_PORT_ID);
}

TEST(Messenger, ReplacingQueuedKeepsOnlyTheNewestUndeliveredMove)
{
    Journal journal;
    auto* looper = new RecordingLooper(journal);
    const BMessenger messenger(looper);
    looper->Run();
    // Keep the looper busy so the moves below queue up behind this one.
    messenger.SendMessage('slow');
    for (int32 i = 0; i < 50; ++i) {
        BMessage move(B_MOUSE_MOVED);
        move.AddInt32("i", i);
        messenger.SendReplacingQueued(move);
    }
    BMessage click(B_MOUSE_DOWN);
    messenger.SendMessage(&click);
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.received.size() == 3; }));
    EXPECT_EQ(journal.received[1].what, uint32(B_MOUSE_MOVED));
    EXPECT_EQ(journal.received[1].FindInt32("i"), 49);
    EXPECT_EQ(journal.received[2].what, uint32(B_MOUSE_DOWN));
    EXPECT_LE(looper->Queue()->PeakLength(), 3u);
    messenger.SendMessage(B_QUIT_REQUESTED);
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.deleted; }));
}

TEST(Messenger, PlainPostsAreNeverReplaced)
{
    Journal journal;
    auto* looper = new RecordingLooper(journal);
    const BMessenger messenger(looper);
    looper->Run();
    messenger.SendMessage('slow');
    for (int32 i = 0; i < 5; ++i)
        messenger.SendMessage(B_MOUSE_MOVED);
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.received.size() == 6; }));
    messenger.SendMessage(B_QUIT_REQUESTED);
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.deleted; }));
}

TEST(Looper, MessagesForAHandlerThatLeftAreDropped)
{
    Journal journal;
    auto* looper = new RecordingLooper(journal);
    const BMessenger messenger(looper);

    struct Counter : BHandler {
        std::atomic<int> count{0};
        void MessageReceived(BMessage*) override { ++count; }
    };
    Counter counter;
    looper->AddHandler(&counter);
    BMessage message('hit ');
    looper->PostMessage(&message, &counter);
    looper->RemoveHandler(&counter);
    looper->PostMessage('mark');
    looper->Run();
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.received.size() == 1; }));
    EXPECT_EQ(counter.count, 0);
    BMessage stray('hit ');
    EXPECT_EQ(looper->PostMessage(&stray, &counter), B_BAD_HANDLER);
    messenger.SendMessage(B_QUIT_REQUESTED);
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.deleted; }));
}

TEST(Looper, QuitBeforeRunDeletesAtOnce)
{
    Journal journal;
    auto* looper = new RecordingLooper(journal);
    looper->Quit();
    EXPECT_TRUE(journal.deleted);
}

namespace {

// One end of a pipe read as a looper's hosted source: each byte read is
// posted to the looper, as the X server's reader posts pointer events.
class PipeSource final : public HostedSource {
public:
    explicit PipeSource(const BMessenger& looper) : fLooper(looper) { EXPECT_EQ(pipe(fPipe), 0); }
    ~PipeSource() override
    {
        close(fPipe[0]);
        close(fPipe[1]);
    }

    void Write(char byte) { ASSERT_EQ(write(fPipe[1], &byte, 1), 1); }

    int Descriptor() const override { return fPipe[0]; }
    bool Read() override
    {
        char byte = 0;
        if (read(fPipe[0], &byte, 1) == 1) {
            BMessage read('byte');
            read.AddInt32("byte", byte);
            read.AddBool("looper thread", looperThread == std::this_thread::get_id());
            fLooper.SendMessage(&read);
        }
        return true;
    }
    void HostClosed() override { ++closings; }

    std::atomic<std::thread::id> looperThread;
    std::atomic<int> closings { 0 };

private:
    BMessenger fLooper;
    int fPipe[2] = { -1, -1 };
};

} // namespace

TEST(Looper, HostedSourceIsReadOnTheLoopersThreadBesideItsMessagesUntilItQuits)
{
    Journal journal;
    auto* looper = new RecordingLooper(journal);
    const BMessenger messenger(looper);
    auto source = std::make_shared<PipeSource>(messenger);
    ASSERT_TRUE(messenger.Host(source));
    EXPECT_FALSE(messenger.Host(std::make_shared<PipeSource>(messenger))) << "a second source was taken";
    looper->Run();
    messenger.SendMessage('frst');
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.received.size() == 1; }));
    source->looperThread = journal.threads[0];

    const auto bytesRead = [&] {
        std::string bytes;
        for (const BMessage& message : journal.received)
            if (message.what == 'byte' && message.FindBool("looper thread"))
                bytes += char(message.FindInt32("byte"));
        return bytes;
    };
    source->Write('a');
    ASSERT_TRUE(journal.WaitFor([&](Journal&) { return bytesRead() == "a"; }));
    // A post wakes the looper while it watches the source.
    messenger.SendMessage('scnd');
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.received.back().what == 'scnd'; }));

    // Stopped and hosted again: the byte written meanwhile is read once.
    messenger.StopHosting(source.get());
    source->Write('b');
    ASSERT_TRUE(messenger.Host(source));
    ASSERT_TRUE(journal.WaitFor([&](Journal&) { return bytesRead() == "ab"; }));

    messenger.SendMessage(B_QUIT_REQUESTED);
    ASSERT_TRUE(journal.WaitFor([](Journal& j) { return j.deleted; }));
    EXPECT_EQ(source->closings.load(), 1);
    EXPECT_FALSE(messenger.Host(source)) << "a looper that quit took a source";
}
