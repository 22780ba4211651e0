#pragma once

// The programs the relay's integration tests and benchmark start: an Xvfb of
// their own (on a display number Xvfb picks itself, so parallel runs never
// collide), X tools such as xrandr, and the relay probe. Each is stopped
// (TERM, then KILL) and reaped when its object goes, so a failing test leaves
// nothing running. A program that is not installed is an error that names
// the Debian package to install; nothing is skipped in silence.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace relay_test {

using namespace std::chrono_literals;

// A started program with its standard input, output and error on pipes.
class ChildProcess {
public:
    // Starts `argv[0]` from PATH with the current environment changed by
    // `environment` (an empty value removes the variable).
    explicit ChildProcess(
        const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment = {})
    {
        int input[2];
        int output[2];
        int errors[2];
        if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0) {
            fError = std::string("pipe: ") + std::strerror(errno);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
        posix_spawn_file_actions_adddup2(&actions, errors[1], 2);

        std::vector<std::string> variables;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            const std::string entry(*variable);
            if (environment.count(entry.substr(0, entry.find('='))) == 0)
                variables.push_back(entry);
        }
        for (const auto& [name, value] : environment) {
            if (!value.empty())
                variables.push_back(name + "=" + value);
        }
        std::vector<char*> envp;
        for (std::string& variable : variables)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        std::vector<std::string> arguments = argv;
        std::vector<char*> args;
        for (std::string& argument : arguments)
            args.push_back(argument.data());
        args.push_back(nullptr);

        const int spawned = posix_spawnp(&fPid, args[0], &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(input[0]);
        close(output[1]);
        close(errors[1]);
        fInput = input[1];
        fOutput = output[0];
        fErrors = errors[0];
        if (spawned != 0) {
            fPid = -1;
            fError = argv[0] + ": " + std::strerror(spawned);
        }
    }

    ~ChildProcess()
    {
        Stop();
        for (int fd : { fInput, fOutput, fErrors }) {
            if (fd >= 0)
                close(fd);
        }
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool IsStarted() const { return fPid > 0; }
    const std::string& Error() const { return fError; }
    pid_t Pid() const { return fPid; }

    void WriteInput(const std::string& text)
    {
        if (fInput >= 0 && write(fInput, text.data(), text.size()) != ssize_t(text.size()))
            fError = "cannot write to the program";
    }

    void CloseInput()
    {
        if (fInput >= 0)
            close(fInput);
        fInput = -1;
    }

    // Reads standard error until it holds `text`; false when time ran out.
    bool WaitForError(const std::string& text, std::chrono::milliseconds timeout = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (fErrorText.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ReadSome(fErrors, fErrorText, int(left.count())))
                return fErrorText.find(text) != std::string::npos;
        }
        return true;
    }

    // Waits for the program to end and collects the rest of its output.
    // Its exit status, or -1 when it had to be killed after `timeout`.
    int Wait(std::chrono::milliseconds timeout = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            const bool outputOpen = ReadSome(fOutput, fOutputText, 0);
            const bool errorsOpen = ReadSome(fErrors, fErrorText, 0);
            int status = 0;
            if (waitpid(fPid, &status, WNOHANG) == fPid) {
                while (ReadSome(fOutput, fOutputText, 100)) { }
                while (ReadSome(fErrors, fErrorText, 100)) { }
                fPid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (!outputOpen && !errorsOpen)
                std::this_thread::sleep_for(2ms);
            else
                ReadSome(fErrors, fErrorText, 5);
        }
        Stop();
        return -1;
    }

    const std::string& Output() const { return fOutputText; }
    const std::string& Errors() const { return fErrorText; }

    // Ends the program: TERM, and KILL if it has not gone within a second.
    void Stop()
    {
        if (fPid <= 0)
            return;
        kill(fPid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + 1s;
        while (waitpid(fPid, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(fPid, SIGKILL);
                waitpid(fPid, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(2ms);
        }
        fPid = -1;
    }

private:
    // Appends what `fd` holds within `timeoutMs`; false at end of file or
    // when nothing came.
    static bool ReadSome(int fd, std::string& text, int timeoutMs)
    {
        pollfd watched { fd, POLLIN, 0 };
        if (poll(&watched, 1, timeoutMs) <= 0)
            return false;
        char buffer[4096];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        text.append(buffer, size_t(got));
        return true;
    }

    pid_t fPid = -1;
    int fInput = -1;
    int fOutput = -1;
    int fErrors = -1;
    std::string fError;
    std::string fOutputText;
    std::string fErrorText;
};

// An Xvfb of our own: `-displayfd` makes Xvfb pick a free display number and
// write it once the server accepts connections.
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
        fServer = std::make_unique<ChildProcess>(std::vector<std::string> { "Xvfb", "-displayfd",
            std::to_string(ready[1]), "-screen", "0", screen, "-nolisten", "tcp", "-noreset" });
        close(ready[1]);
        if (!fServer->IsStarted()) {
            fError = "cannot start Xvfb (" + fServer->Error() + "); install the Debian package xvfb";
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
            fError = "Xvfb did not start within 10 s: " + fServer->Errors();
            fServer->Stop();
            return;
        }
        fName = ":" + number;
    }

    bool IsRunning() const { return !fName.empty(); }
    const std::string& Error() const { return fError; }
    // The display name, such as ":5".
    const std::string& Name() const { return fName; }
    void Stop() { fServer->Stop(); }

private:
    std::unique_ptr<ChildProcess> fServer;
    std::string fName;
    std::string fError;
};

// Runs an X tool against `display` to its end. Empty when it worked,
// otherwise what went wrong, naming the package for a missing tool.
inline std::string RunTool(
    const std::vector<std::string>& argv, const std::string& display, const char* package)
{
    ChildProcess tool(argv, { { "DISPLAY", display } });
    if (!tool.IsStarted())
        return "cannot run " + argv[0] + " (" + tool.Error() + "); install the Debian package " + package;
    tool.CloseInput();
    const int status = tool.Wait();
    if (status != 0)
        return argv[0] + " failed with status " + std::to_string(status) + ": " + tool.Errors();
    return "";
}

} // namespace relay_test
