#pragma once

// BApplication: the program's application object, a looper whose loop runs
// on the thread that calls Run() (the main thread). There is one at a time,
// reachable as be_app.
//
// Quitting the application first asks every other looper (every window) to
// quit, then Run() returns once they are gone or a few seconds have passed.
//
// Thread rules: construct, Run and destroy on the main thread. Posting to it
// works from any thread.

#include "platform/app/AppInfo.h"
#include "platform/app/Looper.h"

#include <string>

class BApplication : public BLooper {
public:
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

private:
    std::string fSignature;
};

extern BApplication* be_app;
