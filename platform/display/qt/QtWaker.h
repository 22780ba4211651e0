#pragma once

// Runs a task on the Qt main thread when another thread asks for it. Asks
// that come while a run is already pending are folded into it, and asks
// after Stop do nothing, so a late post from a window thread can never
// reach a torn-down display.
//
// Thread rules: construct, Stop and destroy on the main thread; Wake from
// any thread. The task runs on the main thread.

#include <functional>
#include <mutex>

class QObject;

class QtWaker {
public:
    explicit QtWaker(std::function<void()> task);
    ~QtWaker();

    QtWaker(const QtWaker&) = delete;
    QtWaker& operator=(const QtWaker&) = delete;

    void Wake();
    void Stop();

private:
    std::mutex fLock;
    QObject* fReceiver;
    std::function<void()> fTask;
    bool fPending = false;
};
