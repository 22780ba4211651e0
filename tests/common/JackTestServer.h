#pragma once

// A private server that JACK clients reach, started by a test or benchmark:
// jackd with the dummy driver (DummyJackServer) or PipeWire with its JACK
// library (PipeWireServer). Both stop what they started, and a start that
// fails says why instead of passing quietly.

#include <string>
#include <sys/types.h>

class JackTestServer {
public:
    virtual ~JackTestServer() = default;

    // Empty on success, else why the server is not running.
    virtual std::string Start(const std::string& baseName) = 0;
    virtual void Stop() = 0;
    // Ends the server process with `signal`: SIGKILL as a crash would,
    // SIGTERM as a user stopping it does. False when it would not end.
    virtual bool Kill(int signal) = 0;
    // Starts the server again under the same name after Kill, as a user
    // does after changing the buffer size; empty on success.
    virtual std::string Restart() = 0;
    // The server process, for signals that leave it running (SIGSTOP).
    virtual pid_t Pid() const = 0;
    // "jackd" or "PipeWire", for messages.
    virtual const char* Kind() const = 0;
};
