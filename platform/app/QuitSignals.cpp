#include "platform/app/QuitSignals.h"

#include "platform/app/AppDefs.h"
#include "platform/app/Application.h"
#include "platform/support/ThreadName.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <iterator>
#include <unistd.h>

namespace {

constexpr int kQuitSignals[] = { SIGINT, SIGTERM, SIGHUP };
// Written by the destructor to end the watcher; no signal has number 0.
constexpr unsigned char kStopWatching = 0;

int sWriteEnd = -1;
volatile sig_atomic_t sQuitAsked = 0;
struct sigaction sPrevious[std::size(kQuitSignals)];

void OnQuitSignal(int number)
{
    if (sQuitAsked)
        _exit(128 + number);
    sQuitAsked = 1;
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = write(sWriteEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(BApplication& application)
{
    if (pipe2(fPipe, O_CLOEXEC) != 0) {
        std::perror("zimbrel: cannot watch for quit signals");
        return;
    }
    sWriteEnd = fPipe[1];
    sQuitAsked = 0;
    fWatcher = std::thread(&QuitSignals::Watch, this, std::ref(application));
    struct sigaction action { };
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kQuitSignals); ++i)
        sigaction(kQuitSignals[i], &action, &sPrevious[i]);
}

QuitSignals::~QuitSignals()
{
    if (!fWatcher.joinable())
        return;
    for (size_t i = 0; i < std::size(kQuitSignals); ++i)
        sigaction(kQuitSignals[i], &sPrevious[i], nullptr);
    [[maybe_unused]] const ssize_t written = write(fPipe[1], &kStopWatching, 1);
    fWatcher.join();
    sWriteEnd = -1;
    close(fPipe[0]);
    close(fPipe[1]);
}

void QuitSignals::Watch(BApplication& application)
{
    NameCurrentThread("signal-watch");
    for (;;) {
        unsigned char number = kStopWatching;
        const ssize_t got = read(fPipe[0], &number, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != 1 || number == kStopWatching)
            return;
        application.PostMessage(B_QUIT_REQUESTED);
    }
}
