#pragma once

// What a private headless Wayland desktop for a test stands on: its own
// XDG_RUNTIME_DIR (mode 700), D-Bus session bus, `pipewire` and
// `wireplumber`, with this process pointed at them. The compositor is the
// desktop's own (HeadlessGnome, HeadlessKde), started once Start() is done
// and stopped before Stop(). The bus starts the desktop portal when first
// asked, in a session that says it is Wayland: the portal backends of GNOME
// (48) and KDE serve screen casts only then, and read it once, as they start.

#include "tests/common/ChildProcess.h"
#include "tests/common/SessionBus.h"

#include <systemd/sd-bus.h>

#include <filesystem>
#include <string>

class DesktopSession {
public:
    ~DesktopSession() { Stop(); }

    // Empty on success, else why the session could not start. `desktop`
    // goes to XDG_CURRENT_DESKTOP, which picks the portal's backend.
    std::string Start(const std::string& baseName, const char* desktop)
    {
        std::string directory = "/tmp/" + baseName + "-XXXXXX";
        if (mkdtemp(directory.data()) == nullptr)
            return "cannot make a runtime directory";
        fRuntimeDirectory = directory;
        setenv("XDG_RUNTIME_DIR", directory.c_str(), 1);
        setenv("XDG_CURRENT_DESKTOP", desktop, 1);
        unsetenv("PIPEWIRE_REMOTE");
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        if (const std::string busError = StartSessionBus(fBus, { { "XDG_SESSION_TYPE", "wayland" } });
            !busError.empty())
            return busError;
        if (!fPipeWire.Start({ "setpriv", "--pdeathsig", "TERM", "pipewire" }))
            return "cannot start pipewire: " + fPipeWire.Error();
        if (!WaitUntil([&] { return std::filesystem::exists(fRuntimeDirectory + "/pipewire-0"); },
                std::chrono::seconds(10)))
            return "pipewire made no socket within 10 s: " + fPipeWire.Errors();
        if (!fWirePlumber.Start({ "setpriv", "--pdeathsig", "TERM", "wireplumber" }))
            return "cannot start wireplumber: " + fWirePlumber.Error();
        if (sd_bus_open_user(&fDBus) < 0)
            return "cannot connect to the private session bus";
        return {};
    }

    void Stop()
    {
        if (fDBus != nullptr)
            fDBus = sd_bus_flush_close_unref(fDBus);
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

    // The test's own connection to the session bus.
    sd_bus* Bus() const { return fDBus; }
    const std::string& RuntimeDirectory() const { return fRuntimeDirectory; }

    // Whether a program on the bus owns `name`.
    bool HasOwner(const char* name) const
    {
        int has = 0;
        sd_bus_message* reply = nullptr;
        const bool ok = sd_bus_call_method(fDBus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus", "NameHasOwner", nullptr, &reply, "s", name)
                >= 0
            && sd_bus_message_read(reply, "b", &has) >= 0;
        sd_bus_message_unref(reply);
        return ok && has;
    }

private:
    std::string fRuntimeDirectory;
    ChildProcess fBus;
    ChildProcess fPipeWire;
    ChildProcess fWirePlumber;
    sd_bus* fDBus = nullptr;
};
