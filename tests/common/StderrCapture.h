#pragma once

// Collects what this process writes to standard error, from every thread,
// while the object lives, and lets a test read it at any moment, so that a
// test can wait for a line instead of waiting for a time. Do not mix it with
// gtest's CaptureStderr in the same stretch of a test.

#include "tests/common/WaitUntil.h"

#include <cstdio>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

class StderrCapture {
public:
    StderrCapture()
    {
        std::fflush(stderr);
        fFile = memfd_create("stderr-capture", MFD_CLOEXEC);
        fSaved = dup(STDERR_FILENO);
        if (fFile >= 0 && fSaved >= 0)
            dup2(fFile, STDERR_FILENO);
    }

    ~StderrCapture()
    {
        std::fflush(stderr);
        if (fSaved >= 0) {
            dup2(fSaved, STDERR_FILENO);
            close(fSaved);
        }
        if (fFile >= 0)
            close(fFile);
    }

    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written so far.
    std::string Text() const
    {
        std::fflush(stderr);
        std::string text;
        char buffer[4096];
        for (off_t at = 0;;) {
            const ssize_t got = pread(fFile, buffer, sizeof buffer, at);
            if (got <= 0)
                return text;
            text.append(buffer, size_t(got));
            at += got;
        }
    }

    // Waits until `text` was written; false when time ran out.
    bool WaitFor(const std::string& text, std::chrono::milliseconds timeout) const
    {
        return WaitUntil([&] { return Text().find(text) != std::string::npos; }, timeout);
    }

private:
    int fFile = -1;
    int fSaved = -1;
};
