#pragma once

// An Xvfb of a test's or benchmark's own. With -displayfd, Xvfb picks a free
// display number itself (so parallel runs never collide) and writes it once
// it accepts connections. A missing Xvfb is an error that names the Debian
// package to install; nothing is skipped in silence.

#include "tests/common/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

class XvfbServer {
public:
    explicit XvfbServer(const std::string& screen = "1024x768x24")
    {
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) {
            fError = "pipe failed";
            return;
        }
        // Only the write end goes to Xvfb.
        fcntl(ready[1], F_SETFD, 0);
        const bool started = fServer.Start({ "Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
            screen, "-nolisten", "tcp", "-noreset" });
        close(ready[1]);
        if (!started) {
            fError = "cannot start Xvfb (" + fServer.Error() + "); install the Debian package xvfb";
            close(ready[0]);
            return;
        }
        std::string number;
        pollfd watched { ready[0], POLLIN, 0 };
        char digit = 0;
        while (poll(&watched, 1, 10000) > 0 && read(ready[0], &digit, 1) == 1 && digit != '\n')
            number += digit;
        close(ready[0]);
        if (number.empty()) {
            fError = "Xvfb did not start within 10 s: " + fServer.Errors();
            fServer.Stop();
            return;
        }
        fName = ":" + number;
    }

    bool IsRunning() const { return !fName.empty(); }
    const std::string& Error() const { return fError; }
    // The display name, such as ":5".
    const std::string& Name() const { return fName; }
    void Stop() { fServer.Stop(); }

private:
    ChildProcess fServer;
    std::string fName;
    std::string fError;
};
