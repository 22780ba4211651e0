#pragma once

// BApplication: the program's application object, a looper whose loop runs
// on the thread that calls Run() (the main thread). There is one at a time,
// reachable as be_app.
//
// When a display whose toolkit owns the main thread's event loop (Qt) is in
// use, it installs an EventLoop before Run: Run then runs that loop, which
// dispatches the application's messages as they arrive. Without one, Run
// simply waits for messages.
//
// Quitting the application first asks every other looper (every window) to
// quit, then Run() returns once they are gone or kWindowQuitTimeout passed.
// While Run runs, SIGINT, SIGTERM and SIGHUP quit the application the same
// way (see QuitSignals).
//
// Thread rules: construct, Run and destroy on the main thread, and install
// the event loop there. Posting to the application works from any thread.

#include "platform/app/AppInfo.h"
#include "platform/app/Looper.h"

#include <chrono>
#include <string>

class BApplication : public BLooper {
public:
    // How long quitting waits for the windows to finish.
    static constexpr std::chrono::seconds kWindowQuitTimeout { 5 };

    class EventLoop {
    public:
        virtual ~EventLoop() = default;
        // Runs on the main thread until the application has quit and its
        // windows are gone (or kWindowQuitTimeout passed). Whenever the
        // application's queue wakes it (its wake handler), it must call
        // DispatchPending.
        virtual void Run(BApplication& application) = 0;

    protected:
        // Dispatches the application's queued messages; false once the
        // application has quit.
        static bool DispatchPending(BApplication& application) { return application.DispatchQueued(); }
    };

    explicit BApplication(const char* signature);
    ~BApplication() override;

    // Runs the loop until the application quits.
    status_t Run() override;
    // Ends the loop; from another thread this posts the request.
    void Quit() override;
    // Asks every window to quit; always true.
    bool QuitRequested() override;

    status_t GetAppInfo(app_info* info) const;
    const char* Signature() const { return fSignature.c_str(); }

    // Makes Run use `loop` (null: wait for messages). The caller keeps it
    // alive until Run returns.
    static void SetEventLoop(EventLoop* loop);

private:
    std::string fSignature;
};

extern BApplication* be_app;
