// SIGINT, SIGTERM and SIGHUP during BApplication::Run: each runs in a child
// process of its own (a death test), since the signals are the process's.

#include "platform/app/AppDefs.h"
#include "platform/app/Application.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

constexpr uint32 kRaise = 'rais';

// A window stand-in that says when it is asked to quit, and can take its
// time about it.
class Window : public BLooper {
public:
    explicit Window(std::chrono::seconds hang)
        : BLooper("window")
        , fHang(hang)
    {
    }
    bool QuitRequested() override
    {
        std::fputs("window asked to quit\n", stderr);
        std::this_thread::sleep_for(fHang);
        return true;
    }

private:
    std::chrono::seconds fHang;
};

// Once its loop runs, sends itself `signal`, and again `count` - 1 more
// times from another thread a little later.
class SignalledApplication : public BApplication {
public:
    SignalledApplication(int signal, int count)
        : BApplication("application/x-vnd.zimbrel-test")
        , fSignal(signal)
        , fCount(count)
    {
    }
    void MessageReceived(BMessage* message) override
    {
        if (message->what != kRaise)
            return BApplication::MessageReceived(message);
        kill(getpid(), fSignal);
        std::thread([signal = fSignal, count = fCount] {
            for (int i = 1; i < count; ++i) {
                std::this_thread::sleep_for(300ms);
                kill(getpid(), signal);
            }
        }).detach();
    }

private:
    int fSignal;
    int fCount;
};

[[noreturn]] void RunSignalled(int signal, int count, std::chrono::seconds windowHang)
{
    SignalledApplication application(signal, count);
    (new Window(windowHang))->Run();
    application.PostMessage(kRaise);
    application.Run();
    std::fputs("run returned\n", stderr);
    std::exit(0);
}

class QuitSignals : public testing::TestWithParam<int> {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

} // namespace

TEST_P(QuitSignals, OneSignalQuitsTheApplicationInOrderWithStatusZero)
{
    EXPECT_EXIT(RunSignalled(GetParam(), 1, 0s), testing::ExitedWithCode(0),
        "window asked to quit\n(.|\n)*run returned");
}

TEST_P(QuitSignals, ASecondSignalDuringAHangingQuitEndsAtOnce)
{
    // The window would hold the quit up for the whole window timeout.
    EXPECT_EXIT(
        RunSignalled(GetParam(), 2, 30s), testing::ExitedWithCode(128 + GetParam()), "window asked to quit");
}

INSTANTIATE_TEST_SUITE_P(EachQuitSignal, QuitSignals, testing::Values(SIGINT, SIGTERM, SIGHUP),
    [](const testing::TestParamInfo<int>& info) { return std::string(sigabbrev_np(info.param)); });

TEST(QuitSignalsAfterRun, TheSignalsHaveTheirFormerMeaningAgain)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            {
                SignalledApplication application(SIGUSR1, 0);
                application.PostMessage(B_QUIT_REQUESTED);
                application.Run();
            }
            kill(getpid(), SIGTERM);
            std::this_thread::sleep_for(5s);
            std::exit(0);
        },
        testing::KilledBySignal(SIGTERM), "");
}
