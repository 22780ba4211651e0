#pragma once

// A private PipeWire for a test or benchmark: its own D-Bus session
// (dbus-run-session), its own XDG_RUNTIME_DIR, `pipewire` and `wireplumber`.
// Start() points this process and the tools it starts at it. JACK clients
// reach it only through PipeWire's libjack, so the test program and its
// tools must run under `pw-jack`; Start() checks that they load that
// library and fails with the reason otherwise.
//
// The quantum (frames per cycle) is PipeWire's default unless the clients
// ask for another one with PIPEWIRE_QUANTUM.

#include "tests/common/ChildProcess.h"
#include "tests/common/SessionBus.h"
#include "tests/common/JackTestServer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class PipeWireServer final : public JackTestServer {
public:
    std::string Start(const std::string& baseName) override
    {
        const std::string missing = MissingTools(
            { "dbus-run-session", "pipewire", "wireplumber", "pw-jack", "pw-metadata", "jack_lsp", "setpriv" });
        if (!missing.empty())
            return missing;
        if (!LoadedPipeWiresJack())
            return "this program did not load PipeWire's libjack: run it under pw-jack";
        std::string directory = "/tmp/" + baseName + "-XXXXXX";
        if (mkdtemp(directory.data()) == nullptr)
            return "cannot make a runtime directory for PipeWire";
        fRuntimeDirectory = directory;
        setenv("XDG_RUNTIME_DIR", directory.c_str(), 1);
        // PipeWire's libjack would take a JACK server name for a PipeWire one.
        unsetenv("JACK_DEFAULT_SERVER");
        unsetenv("PIPEWIRE_REMOTE");
        if (const std::string busError = StartSessionBus(fBus); !busError.empty())
            return busError;
        return Restart();
    }

    std::string Restart() override { return Launch(true); }

    // Starts PipeWire again after Kill but not its session manager, as when
    // the server answers a moment before the session manager is up: JACK
    // clients work, metadata is refused. StartSessionManager() brings it.
    std::string RestartWithoutSessionManager() { return Launch(false); }

    // Returns once the session manager has made the "default" metadata
    // store, where PipeWire's libjack keeps JACK metadata: until then the
    // server refuses it.
    std::string StartSessionManager()
    {
        // The session manager gives up when PipeWire goes; start it anew.
        if (!fWirePlumber.Running()
            && !fWirePlumber.Start({ "setpriv", "--pdeathsig", "TERM", "wireplumber" }))
            return "cannot start wireplumber: " + fWirePlumber.Error();
        const bool ready = WaitUntil(
            [this] {
                return !fWirePlumber.Running()
                    || RunTool({ "pw-metadata", "-n", "default" }).output.find("Found \"default\" metadata")
                    != std::string::npos;
            },
            std::chrono::seconds(10));
        if (!ready || !fWirePlumber.Running())
            return "wireplumber did not make PipeWire's \"default\" metadata store within 10 s"
                + std::string(fWirePlumber.Running() ? "" : " (it ended)") + ": " + fWirePlumber.Errors();
        return {};
    }

    bool Kill(int signal) override
    {
        const bool ended = fPipeWire.SignalAndWait(signal, std::chrono::seconds(3));
        // Wait for the session manager to notice, so Restart starts a fresh one.
        WaitUntil([this] { return !fWirePlumber.Running(); }, std::chrono::seconds(3));
        return ended;
    }

    void Stop() override
    {
        fWirePlumber.Stop();
        fPipeWire.Stop();
        fBus.CloseInput();
        fBus.Wait(std::chrono::seconds(3));
        if (!fRuntimeDirectory.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(fRuntimeDirectory, ignored);
            fRuntimeDirectory.clear();
        }
    }

    ~PipeWireServer() override { Stop(); }

    pid_t Pid() const override { return fPipeWire.Pid(); }

    const char* Kind() const override { return "PipeWire"; }

    // True when the JACK library this process loaded, or else the one the
    // programs it starts will load first, is PipeWire's.
    static bool LoadedPipeWiresJack()
    {
        std::ifstream maps("/proc/self/maps");
        for (std::string line; std::getline(maps, line);) {
            if (line.find("libjack.so") != std::string::npos)
                return line.find("pipewire") != std::string::npos;
        }
        const char* path = std::getenv("LD_LIBRARY_PATH");
        std::stringstream directories(path ? path : "");
        // pw-jack names its directory with the loader's ${LIB}, so the name
        // is what tells, not a look at the files.
        for (std::string directory; std::getline(directories, directory, ':');) {
            if (directory.find("pipewire") != std::string::npos)
                return true;
            if (access((directory + "/libjack.so.0").c_str(), R_OK) == 0)
                return false;
        }
        return false;
    }

private:
    std::string Launch(bool withSessionManager)
    {
        if (!fPipeWire.Start({ "setpriv", "--pdeathsig", "TERM", "pipewire" }))
            return "cannot start pipewire: " + fPipeWire.Error();
        // A JACK client that registers a port is what the tests need.
        const bool answers = WaitUntil(
            [this] { return !fPipeWire.Running() || RunTool({ "jack_lsp" }).status == 0; }, std::chrono::seconds(10));
        if (!answers || !fPipeWire.Running())
            return "PipeWire did not answer JACK clients within 10 s" + std::string(fPipeWire.Running() ? "" : " (it ended)")
                + ": " + fPipeWire.Errors();
        return withSessionManager ? StartSessionManager() : std::string();
    }

    std::string fRuntimeDirectory;
    ChildProcess fBus;
    ChildProcess fPipeWire;
    ChildProcess fWirePlumber;
};
