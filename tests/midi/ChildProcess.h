#pragma once

// A program started by a test or benchmark (jackd, jack_midi_dump, aseqdump),
// its standard output and error going to a file of its own. Stop() ends it
// (TERM, then KILL after a grace period) and reaps it; the destructor stops
// it too, so a failing test leaves nothing running.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <initializer_list>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

// Polls `condition` every few milliseconds until it holds or time runs out.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The tools among `tools` that are not on PATH, separated by spaces.
inline std::string MissingTools(std::initializer_list<const char*> tools)
{
    std::string missing;
    const char* path = std::getenv("PATH");
    for (const char* tool : tools) {
        bool found = false;
        std::stringstream directories(path ? path : "/usr/bin:/bin");
        for (std::string directory; !found && std::getline(directories, directory, ':');)
            found = access((directory + "/" + tool).c_str(), X_OK) == 0;
        if (!found)
            missing += std::string(missing.empty() ? "" : " ") + tool;
    }
    return missing;
}

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess()
    {
        Stop();
        if (!fLogPath.empty())
            std::remove(fLogPath.c_str());
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0], looked up on PATH. False when it could not be started.
    bool Start(const std::vector<std::string>& argv)
    {
        Stop();
        static int counter = 0;
        if (fLogPath.empty()) {
            fLogPath = "/tmp/zimbrel-child-" + std::to_string(getpid()) + "-" +
                       std::to_string(++counter) + ".log";
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, fLogPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        const int error = posix_spawnp(&fPid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            fPid = -1;
        return error == 0;
    }

    bool Running()
    {
        if (fPid <= 0)
            return false;
        if (waitpid(fPid, &fStatus, WNOHANG) == fPid)
            fPid = -1;
        return fPid > 0;
    }

    void Signal(int signal)
    {
        if (fPid > 0)
            kill(fPid, signal);
    }

    // Sends `signal` and waits for the process to end; false on timeout.
    bool SignalAndWait(int signal, std::chrono::milliseconds timeout)
    {
        Signal(signal);
        return WaitUntil([this] { return !Running(); }, timeout);
    }

    void Stop()
    {
        if (!Running())
            return;
        if (!SignalAndWait(SIGTERM, std::chrono::seconds(3)))
            SignalAndWait(SIGKILL, std::chrono::seconds(3));
    }

    // True when the process ended from a signal it did not handle.
    bool KilledBySignal() const { return fPid <= 0 && WIFSIGNALED(fStatus); }

    // Waits for the process to end by itself; its exit status, or -1.
    int Wait(std::chrono::milliseconds timeout)
    {
        if (!WaitUntil([this] { return !Running(); }, timeout)) {
            Stop();
            return -1;
        }
        return WIFEXITED(fStatus) ? WEXITSTATUS(fStatus) : -1;
    }

    std::string Output() const
    {
        std::ifstream log(fLogPath);
        std::stringstream text;
        text << log.rdbuf();
        return text.str();
    }

private:
    pid_t fPid = -1;
    int fStatus = 0;
    std::string fLogPath;
};

// Runs a tool to completion; its exit status, or -1 when it did not end in time.
inline int RunTool(const std::vector<std::string>& argv, std::string* output = nullptr,
                   std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    ChildProcess tool;
    if (!tool.Start(argv))
        return -1;
    const int status = tool.Wait(timeout);
    if (output)
        *output = tool.Output();
    return status;
}
