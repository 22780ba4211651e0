#pragma once

// What the interface tests share: a fresh headless display per test, an
// event log that window threads write and the test waits on, and a window
// that records its hooks. Every wait is bounded, so a lost message fails the
// test instead of hanging it.

#include "platform/app/AppDefs.h"
#include "platform/display/HeadlessDisplay.h"
#include "platform/interface/Window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

inline constexpr std::chrono::seconds kPatience { 5 };

class EventLog {
public:
    void Add(std::string entry)
    {
        {
            std::lock_guard lock(fLock);
            fEntries.push_back(std::move(entry));
        }
        fChanged.notify_all();
    }

    // True once `entry` was logged; false when the wait ran out.
    bool WaitFor(const std::string& entry)
    {
        std::unique_lock lock(fLock);
        return fChanged.wait_for(lock, kPatience,
            [&] { return std::find(fEntries.begin(), fEntries.end(), entry) != fEntries.end(); });
    }

    std::vector<std::string> Entries() const
    {
        std::lock_guard lock(fLock);
        return fEntries;
    }

    void Clear()
    {
        std::lock_guard lock(fLock);
        fEntries.clear();
    }

private:
    mutable std::mutex fLock;
    std::condition_variable fChanged;
    std::vector<std::string> fEntries;
};

// Holds a thread until the test opens it (or the patience runs out).
class Latch {
public:
    void Open()
    {
        {
            std::lock_guard lock(fLock);
            fOpen = true;
        }
        fOpened.notify_all();
    }

    void Wait()
    {
        std::unique_lock lock(fLock);
        fOpened.wait_for(lock, kPatience, [&] { return fOpen; });
    }

private:
    std::mutex fLock;
    std::condition_variable fOpened;
    bool fOpen = false;
};

// Commands a test posts to a RecordingWindow so that it acts on its own
// thread, as the thread rules ask.
enum : uint32 {
    kShowCommand = 'tSHO',
    kHideCommand = 'tHID',
    kRunTask = 'tRUN',
};

// A window that logs its hooks and every message that reaches its handler,
// and "deleted" when it goes.
class RecordingWindow : public BWindow {
public:
    RecordingWindow(EventLog& log, const char* title, BRect frame = BRect(20, 20, 420, 330))
        : BWindow(frame, title, B_TITLED_WINDOW, B_NOT_ZOOMABLE)
        , fLog(log)
    {
    }
    ~RecordingWindow() override { fLog.Add("deleted"); }

    void MessageReceived(BMessage* message) override
    {
        switch (message->what) {
        case kShowCommand: Show(); break;
        case kHideCommand: Hide(); break;
        case kRunTask: RunNextTask(); break;
        default:
            fLog.Add(std::string("message ") + Code(message->what)
                + (IsLooperThread() ? " on window thread" : " ON ANOTHER THREAD"));
            received.push_back(*message);
            break;
        }
    }
    bool QuitRequested() override
    {
        fLog.Add("QuitRequested");
        return allowQuit;
    }
    void MenusBeginning() override
    {
        fLog.Add("MenusBeginning");
        if (onMenusBeginning)
            onMenusBeginning();
    }
    void MenusEnded() override
    {
        fLog.Add("MenusEnded");
        if (onMenusEnded)
            onMenusEnded();
    }

    // Has the window's thread run `task`, in order with what else is posted.
    void RunTask(std::function<void()> task)
    {
        {
            std::lock_guard lock(fTasksLock);
            fTasks.push_back(std::move(task));
        }
        PostMessage(kRunTask);
    }

    static std::string Code(uint32 what)
    {
        return { char(what >> 24), char(what >> 16), char(what >> 8), char(what) };
    }

    // Set before Show; read after the window settled.
    bool allowQuit = true;
    std::function<void()> onMenusBeginning;
    std::function<void()> onMenusEnded;
    std::vector<BMessage> received;

private:
    void RunNextTask()
    {
        std::function<void()> task;
        {
            std::lock_guard lock(fTasksLock);
            task = std::move(fTasks.front());
            fTasks.pop_front();
        }
        task();
    }

    EventLog& fLog;
    std::mutex fTasksLock;
    std::deque<std::function<void()>> fTasks;
};

class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override { DisplayService::Install(display); }
    void TearDown() override
    {
        // Windows a test left running must go before the next test starts.
        for (const BMessenger& looper : BLooper::LiveLoopers())
            looper.SendMessage(B_QUIT_REQUESTED);
        EXPECT_TRUE(BLooper::WaitForOtherLoopers(nullptr, kPatience)) << "a window did not quit";
        DisplayService::Install(nullptr);
    }

    // Closes a running window through its close box and waits until it is
    // deleted.
    void Close(PeerId window)
    {
        display->PressCloseBox(window);
        ASSERT_TRUE(log.WaitFor("deleted"));
    }

    std::shared_ptr<HeadlessDisplay> display = std::make_shared<HeadlessDisplay>();
    // Outlives TearDown, which waits for every window (and its views, which
    // log as they go) to be gone.
    EventLog log;
};
