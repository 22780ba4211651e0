#pragma once

// QuitSignals: while one exists, SIGINT, SIGTERM and SIGHUP ask the
// application to quit in order, as closing its main window does. The signal
// handler only writes the signal's number into a pipe; a thread of its own
// reads it and posts B_QUIT_REQUESTED to the application, whose loop does
// the rest. A second signal while that quit is still under way ends the
// process at once (status 128 + the signal's number), for a quit that hangs.
//
// Thread rules: make and destroy on the thread that runs the application
// (BApplication::Run does); at most one at a time.

#include <thread>

class BApplication;

class QuitSignals {
public:
    explicit QuitSignals(BApplication& application);
    ~QuitSignals();

    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    void Watch(BApplication& application);

    int fPipe[2] = { -1, -1 };
    std::thread fWatcher;
};
