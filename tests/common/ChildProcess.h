#pragma once

// A program started by a test or benchmark (jackd, jack_midi_dump, Xvfb,
// xdotool, the zimbrel program itself). Its standard output and error go to
// in-memory files (memfd), not pipes, so a chatty program such as
// jack_midi_dump never stalls on output nobody reads yet, and the test can
// read everything printed so far at any moment. Its standard input is a
// pipe the test can write to and close. Stop() ends the program (TERM, then
// KILL after a grace period) and reaps it; the destructor stops it too, so a
// failing test leaves nothing running. Use an object from one thread at a
// time.

#include "tests/common/WaitUntil.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <initializer_list>
#include <map>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess()
    {
        Stop();
        CloseFiles();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0], looked up on PATH, with this process's environment
    // changed by `environment` (an empty value removes the variable). What
    // this object ran before is stopped and its output dropped. False when
    // the program could not be started; Error() says why.
    bool Start(
        const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment = {})
    {
        Stop();
        CloseFiles();
        fStatus.reset();
        int input[2];
        fOutput = memfd_create("child-output", MFD_CLOEXEC);
        fErrors = memfd_create("child-errors", MFD_CLOEXEC);
        if (fOutput < 0 || fErrors < 0 || pipe2(input, O_CLOEXEC) != 0) {
            fError = std::string("cannot make the program's files: ") + std::strerror(errno);
            return false;
        }
        fInput = input[1];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fOutput, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fErrors, STDERR_FILENO);
        std::vector<std::string> variables = Environment(environment);
        std::vector<std::string> arguments = argv;
        const int error = posix_spawnp(&fPid, arguments[0].c_str(), &actions, nullptr,
            Pointers(arguments).data(), Pointers(variables).data());
        posix_spawn_file_actions_destroy(&actions);
        close(input[0]);
        if (error != 0) {
            fPid = -1;
            fError = argv[0] + ": " + std::strerror(error);
            return false;
        }
        fError.clear();
        return true;
    }

    const std::string& Error() const { return fError; }
    pid_t Pid() const { return fPid; }

    // True while the program runs; reaps it once it has ended.
    bool Running()
    {
        int status = 0;
        if (fPid > 0 && waitpid(fPid, &status, WNOHANG) == fPid) {
            fPid = -1;
            fStatus = status;
        }
        return fPid > 0;
    }

    // Sends `signal` and waits for the program to end; false on timeout.
    bool SignalAndWait(int signal, std::chrono::milliseconds timeout)
    {
        if (fPid > 0)
            kill(fPid, signal);
        return WaitUntil([this] { return !Running(); }, timeout);
    }

    // Three seconds for a clean exit (jackd takes its time), then KILL.
    void Stop()
    {
        if (!Running())
            return;
        if (!SignalAndWait(SIGTERM, std::chrono::seconds(3)))
            SignalAndWait(SIGKILL, std::chrono::seconds(3));
    }

    // True when the program ended from a signal it did not handle.
    bool KilledBySignal() const { return fStatus && WIFSIGNALED(*fStatus); }

    // Waits for the program to end by itself; its exit status, or -1 when
    // it died from a signal or had to be stopped after `timeout`.
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        if (!WaitUntil([this] { return !Running(); }, timeout)) {
            Stop();
            return -1;
        }
        return fStatus && WIFEXITED(*fStatus) ? WEXITSTATUS(*fStatus) : -1;
    }

    // False when the program did not take all of `text`.
    bool WriteInput(const std::string& text)
    {
        return fInput >= 0 && write(fInput, text.data(), text.size()) == ssize_t(text.size());
    }

    // The program reads end of file from here on.
    void CloseInput() { CloseFile(fInput); }

    // All the program has printed so far.
    std::string Output() const { return ReadAll(fOutput); }
    std::string Errors() const { return ReadAll(fErrors); }

    // Waits until the program has printed `text`; false when time ran out.
    bool WaitForOutput(
        const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        return WaitUntil([&] { return Output().find(text) != std::string::npos; }, timeout);
    }
    bool WaitForError(
        const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        return WaitUntil([&] { return Errors().find(text) != std::string::npos; }, timeout);
    }

private:
    // This process's environment with `changes` made.
    static std::vector<std::string> Environment(const std::map<std::string, std::string>& changes)
    {
        std::vector<std::string> variables;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            const std::string entry(*variable);
            if (changes.count(entry.substr(0, entry.find('='))) == 0)
                variables.push_back(entry);
        }
        for (const auto& [name, value] : changes) {
            if (!value.empty())
                variables.push_back(name + "=" + value);
        }
        return variables;
    }

    // The null-terminated array of C strings that posix_spawn takes.
    static std::vector<char*> Pointers(std::vector<std::string>& strings)
    {
        std::vector<char*> pointers;
        for (std::string& text : strings)
            pointers.push_back(text.data());
        pointers.push_back(nullptr);
        return pointers;
    }

    static std::string ReadAll(int fd)
    {
        std::string text;
        char buffer[4096];
        ssize_t got = 0;
        while (fd >= 0 && (got = pread(fd, buffer, sizeof buffer, off_t(text.size()))) > 0)
            text.append(buffer, size_t(got));
        return text;
    }

    static void CloseFile(int& fd)
    {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }

    void CloseFiles()
    {
        CloseFile(fInput);
        CloseFile(fOutput);
        CloseFile(fErrors);
    }

    pid_t fPid = -1;
    // The wait status, once the program has ended and been reaped.
    std::optional<int> fStatus;
    int fInput = -1;
    int fOutput = -1;
    int fErrors = -1;
    std::string fError;
};

// The Debian release the tests run on ("12", "13", ...), from
// /etc/os-release; empty elsewhere.
inline std::string DebianRelease()
{
    std::ifstream release("/etc/os-release");
    bool debian = false;
    std::string version;
    for (std::string line; std::getline(release, line);) {
        debian = debian || line == "ID=debian";
        if (line.rfind("VERSION_ID=", 0) == 0)
            version = line.substr(11);
    }
    version.erase(std::remove(version.begin(), version.end(), '"'), version.end());
    return debian ? version : std::string();
}

// The Debian package that brings `tool` on `release`.
inline std::string PackageOfTool(const std::string& tool, const std::string& release)
{
    // Debian 13 moved JACK's example clients out of jackd2.
    static const std::map<std::string, std::string> packages {
        { "jackd", "jackd2" }, { "jack_midi_dump", "jack-example-tools" },
        { "jack_lsp", "jack-example-tools" }, { "jack_connect", "jack-example-tools" },
        { "jack_disconnect", "jack-example-tools" }, { "jack_property", "jack-example-tools" },
        { "setpriv", "util-linux" }, { "pgrep", "procps" }, { "stdbuf", "coreutils" },
        { "xdotool", "xdotool" }, { "grim", "grim" }, { "sway", "sway" }, { "swaymsg", "sway" },
        { "aseqdump", "alsa-utils" }, { "aconnect", "alsa-utils" }, { "pipewire", "pipewire-bin" },
        { "pw-metadata", "pipewire-bin" }, { "wireplumber", "wireplumber" }, { "pw-jack", "pipewire-jack" },
        { "dbus-run-session", "dbus-daemon" }, { "mutter", "mutter" }, { "Xorg", "xserver-xorg-core" },
        { "Xvfb", "xvfb" }, { "xrandr", "x11-xserver-utils" }, { "kwin_wayland", "kwin-wayland" },
        { "ray_control", "raysession" }, { "ray-daemon", "raysession" },
        { "/usr/libexec/xdg-desktop-portal", "xdg-desktop-portal" },
        { "/usr/libexec/xdg-desktop-portal-gnome", "xdg-desktop-portal-gnome" },
        { "/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde", "xdg-desktop-portal-kde" },
    };
    if (tool.rfind("jack_", 0) == 0 && release == "12")
        return "jackd2";
    const auto found = packages.find(tool);
    return found == packages.end() ? "?" : found->second;
}

// Where `tool` (a name on PATH, or an absolute path) is, when it can be run;
// empty otherwise.
inline std::string FindTool(const char* tool)
{
    if (tool[0] == '/')
        return access(tool, X_OK) == 0 ? tool : "";
    const char* path = std::getenv("PATH");
    std::stringstream directories(path ? path : "/usr/bin:/bin");
    for (std::string directory; std::getline(directories, directory, ':');)
        if (access((directory + "/" + tool).c_str(), X_OK) == 0)
            return directory + "/" + tool;
    return "";
}

// Empty when every one of `tools` (a name on PATH, or an absolute path) can
// be run; else which cannot, and the Debian packages that bring them on the
// release the tests run on.
inline std::string MissingTools(std::initializer_list<const char*> tools)
{
    std::string missing;
    std::vector<std::string> packages;
    const std::string release = DebianRelease();
    for (const char* tool : tools) {
        if (!FindTool(tool).empty())
            continue;
        missing += std::string(missing.empty() ? "" : " ") + tool;
        const std::string package = PackageOfTool(tool, release);
        if (std::find(packages.begin(), packages.end(), package) == packages.end())
            packages.push_back(package);
    }
    if (missing.empty())
        return missing;
    std::string message = "missing tool(s): " + missing + " (Debian" + (release.empty() ? "" : " " + release)
        + (packages.size() == 1 ? " package " : " packages ");
    for (size_t i = 0; i < packages.size(); ++i)
        message += (i ? ", " : "") + packages[i];
    return message + ")";
}

// How a tool run to its end went.
struct ToolResult {
    // The exit status; -1 when the tool could not start (`errors` says
    // why), died from a signal or did not end in time.
    int status = -1;
    std::string output;
    std::string errors;
};

// Runs a tool with its standard input closed until it ends, stopping it
// after `timeout`.
inline ToolResult RunTool(const std::vector<std::string>& argv,
    const std::map<std::string, std::string>& environment = {},
    std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    ChildProcess tool;
    if (!tool.Start(argv, environment))
        return { -1, "", tool.Error() };
    tool.CloseInput();
    const int status = tool.Wait(timeout);
    return { status, tool.Output(), tool.Errors() };
}

// How often `part` occurs in a program's output, counting overlaps.
inline size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}
