#pragma once

// A private headless GNOME for a test: its own D-Bus session
// (dbus-run-session) and XDG_RUNTIME_DIR, `pipewire`, `wireplumber`, and
// `mutter --headless --wayland` (with Xwayland) with one 1024 x 768 monitor; the
// desktop portal (xdg-desktop-portal with its GNOME backend) is started by
// the bus when first asked, with XDG_CURRENT_DESKTOP=GNOME. Start() points
// this process and the programs it starts at it.
//
// The test sees and moves the pointer through mutter's own remote-desktop
// interface: a session with a screen cast of the monitor, whose stream
// Screen() shows what is on screen; MoveTo and Click act as a person would.

#include "platform/input/PointerBroadcaster.h"
#include "platform/input/ScreenChangeBroadcaster.h"
#include "platform/input/portal/CastScreen.h"
#include "platform/input/portal/PipeWireCastReader.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/DesktopSession.h"

#include <systemd/sd-bus.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>

class HeadlessGnome {
public:
    static constexpr int kWidth = 1024;
    static constexpr int kHeight = 768;

    ~HeadlessGnome() { Stop(); }

    // Empty on success, else why the desktop could not start.
    std::string Start(const std::string& baseName)
    {
        // The bus starts the portals from /usr/libexec.
        const std::string missing = MissingTools({ "dbus-run-session", "pipewire", "wireplumber", "mutter", "setpriv",
            "/usr/libexec/xdg-desktop-portal", "/usr/libexec/xdg-desktop-portal-gnome" });
        if (!missing.empty())
            return missing;
        if (const std::string sessionError = fSession.Start(baseName, "GNOME"); !sessionError.empty())
            return sessionError;
        // With Xwayland: the program's windows are X11 windows for now.
        if (!fMutter.Start({ "setpriv", "--pdeathsig", "TERM", "mutter", "--headless", "--wayland",
                "--wayland-display", "wayland-0", "--virtual-monitor",
                std::to_string(kWidth) + "x" + std::to_string(kHeight) }))
            return "cannot start mutter: " + fMutter.Error();
        // mutter takes its two names one after the other.
        if (!WaitUntil(
                [&] {
                    return !fMutter.Running()
                        || (fSession.HasOwner("org.gnome.Mutter.ScreenCast")
                            && fSession.HasOwner("org.gnome.Mutter.RemoteDesktop"));
                },
                std::chrono::seconds(20))
            || !fMutter.Running())
            return "mutter did not offer its screen cast and remote desktop within 20 s"
                + std::string(fMutter.Running() ? "" : " (it ended)") + ": " + fMutter.Errors();
        setenv("WAYLAND_DISPLAY", "wayland-0", 1);
        // "Using public X11 display :1, (using :2 for managed services)"
        constexpr const char* kX11Display = "Using public X11 display ";
        if (!fMutter.WaitForError(kX11Display, std::chrono::seconds(10)))
            return "mutter named no Xwayland display within 10 s: " + fMutter.Errors();
        const std::string log = fMutter.Errors();
        const size_t name = log.find(kX11Display) + std::strlen(kX11Display);
        fXDisplay = log.substr(name, log.find(',', name) - name);
        // Xwayland lets in the clients that show the cookie mutter wrote.
        for (const auto& entry : std::filesystem::directory_iterator(fSession.RuntimeDirectory())) {
            if (entry.path().filename().string().rfind(".mutter-Xwaylandauth.", 0) == 0)
                setenv("XAUTHORITY", entry.path().c_str(), 1);
        }
        return StartRemoteDesktop();
    }

    void Stop()
    {
        fReader.reset();
        fMutter.Stop();
        fSession.Stop();
    }

    // What is on screen now, as mutter's own screen cast last showed it.
    ScreenSource& Screen() { return fScreen; }

    // The B_RGB32 colour at (x, y) as 0xRRGGBB, or ~0 when nothing was shown yet.
    unsigned ColourAt(int x, int y)
    {
        uint32 word = 0;
        if (fScreen.ReadPixels(x, y, 1, 1, reinterpret_cast<uint8*>(&word), 4) != B_OK)
            return ~0u;
        return word & 0xffffff;
    }

    // Writes the screen as a PPM picture, for a person to look at.
    bool SaveScreen(const std::string& path)
    {
        std::vector<uint32> words(size_t(kWidth) * kHeight);
        if (fScreen.ReadPixels(0, 0, kWidth, kHeight, reinterpret_cast<uint8*>(words.data()), kWidth * 4) != B_OK)
            return false;
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr)
            return false;
        std::fprintf(file, "P6 %d %d 255\n", kWidth, kHeight);
        for (uint32 word : words) {
            const unsigned char rgb[3] = { uint8(word >> 16), uint8(word >> 8), uint8(word) };
            std::fwrite(rgb, 1, 3, file);
        }
        return std::fclose(file) == 0;
    }

    bool MoveTo(int x, int y)
    {
        return Call(fRemoteSession, "org.gnome.Mutter.RemoteDesktop.Session", "NotifyPointerMotionAbsolute", "sdd",
            fStreamPath.c_str(), double(x), double(y));
    }

    bool Click()
    {
        constexpr int kLeftButton = 272; // BTN_LEFT
        return Call(fRemoteSession, "org.gnome.Mutter.RemoteDesktop.Session", "NotifyPointerButton", "ib",
            kLeftButton, 1)
            && Call(fRemoteSession, "org.gnome.Mutter.RemoteDesktop.Session", "NotifyPointerButton", "ib",
                kLeftButton, 0);
    }

    // Whether the portal's "Screen Share" dialog is on screen.
    bool ShowsShareDialog() { return ShownDialog() != nullptr; }

    // Answers the portal's "Screen Share" dialog as a person would: picks
    // the one monitor, then Share. Empty on success, else what went wrong.
    // `shown`, when given, runs once the dialog is on screen, before any click.
    std::string AnswerShareDialog(const std::function<void()>& shown = {})
    {
        const DialogLayout* layout = nullptr;
        WaitUntil([&] { return (layout = ShownDialog()) != nullptr; }, std::chrono::seconds(30));
        if (layout == nullptr)
            return "no sharing dialog showed within 30 s";
        if (shown)
            shown();
        // The first click into the dialog may only bring it forward, so the
        // monitor is clicked until Share shows in the accent blue, and Share
        // until the dialog has gone.
        const auto shareEnabled = [&] { return (ColourAt(layout->shareX, layout->shareY) >> 16) < 0x80; };
        const auto dialogShown = [&] { return ColourAt(layout->bodyX, layout->bodyY) == layout->body; };
        for (int attempt = 0; attempt < 3 && (attempt == 0 || !shareEnabled()); ++attempt) {
            if (!MoveTo(layout->monitorX, layout->monitorY) || !Click())
                return fError;
            WaitUntil(shareEnabled, std::chrono::seconds(3));
        }
        if (!shareEnabled())
            return "picking the monitor did not enable Share";
        // The dialog goes only once the desktop has made the screen cast,
        // which takes a while on a loaded machine.
        for (int attempt = 0; attempt < 3 && dialogShown(); ++attempt) {
            if (!MoveTo(layout->shareX, layout->shareY) || !Click())
                return fError;
            WaitUntil([&] { return !dialogShown(); }, std::chrono::seconds(10));
        }
        return dialogShown() ? "the sharing dialog stayed after Share was clicked three times" : "";
    }

    // Ends the portal's GNOME backend, as a crash would: mutter then ends
    // the screen casts it made, as when the user stops sharing.
    bool EndPortalBackend()
    {
        uint32 pid = 0;
        sd_bus_message* reply = nullptr;
        const bool found = sd_bus_call_method(fSession.Bus(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetConnectionUnixProcessID", nullptr, &reply, "s",
                               "org.freedesktop.impl.portal.desktop.gnome")
                >= 0
            && sd_bus_message_read(reply, "u", &pid) >= 0 && pid > 0;
        sd_bus_message_unref(reply);
        return found && kill(pid_t(pid), SIGTERM) == 0;
    }

    const std::string& Errors() const { return fError; }
    // Xwayland's display name, ":1".
    const std::string& XDisplay() const { return fXDisplay; }
    std::string MutterErrors() const { return fMutter.Errors(); }

private:
    // The sharing dialog, which GNOME 43 and 48 lay out differently: where,
    // on 1024 x 768, a pixel tells the layout as the dialog shows, where its
    // monitor and its Share button lie, and a pixel of its body that no
    // hover changes, with its colour.
    struct DialogLayout {
        int markX, markY;
        unsigned mark;
        int monitorX, monitorY;
        int shareX, shareY;
        int bodyX, bodyY;
        unsigned body;
    };

    const DialogLayout* ShownDialog()
    {
        static constexpr DialogLayout kGnome43 { 600, 410, 0xffffff, 600, 410, 724, 256, 512, 480, 0xfafafa };
        // The monitor is chosen already, and Share in the accent blue.
        static constexpr DialogLayout kGnome48 { 770, 165, 0x3584e4, 512, 420, 770, 165, 300, 620, 0xfafafb };
        for (const DialogLayout* layout : { &kGnome43, &kGnome48 })
            if (ColourAt(layout->markX, layout->markY) == layout->mark)
                return layout;
        return nullptr;
    }

    template <typename... Args>
    bool Call(const std::string& path, const char* interface, const char* method, const char* types, Args... args)
    {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        const int r = sd_bus_call_method(fSession.Bus(), "org.gnome.Mutter.RemoteDesktop", path.c_str(), interface, method,
            &error, nullptr, types, args...);
        if (r < 0)
            fError = std::string(method) + ": " + (error.message ? error.message : std::strerror(-r));
        sd_bus_error_free(&error);
        return r >= 0;
    }

    // A remote-desktop session with a screen cast of the monitor, its cursor
    // as metadata so that the picture shows only the windows.
    std::string StartRemoteDesktop()
    {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        auto failed = [&](const char* step, int r) {
            std::string why = std::string(step) + ": " + (error.message ? error.message : std::strerror(-r));
            sd_bus_error_free(&error);
            sd_bus_message_unref(reply);
            return why;
        };
        const char* path = nullptr;
        int r = sd_bus_call_method(fSession.Bus(), "org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
            "org.gnome.Mutter.RemoteDesktop", "CreateSession", &error, &reply, "");
        if (r < 0 || (r = sd_bus_message_read(reply, "o", &path)) < 0)
            return failed("RemoteDesktop.CreateSession", r);
        fRemoteSession = path;
        reply = sd_bus_message_unref(reply);
        char* sessionId = nullptr;
        r = sd_bus_get_property_string(fSession.Bus(), "org.gnome.Mutter.RemoteDesktop", fRemoteSession.c_str(),
            "org.gnome.Mutter.RemoteDesktop.Session", "SessionId", &error, &sessionId);
        if (r < 0)
            return failed("SessionId", r);
        const std::string id = sessionId;
        std::free(sessionId);
        r = sd_bus_call_method(fSession.Bus(), "org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast",
            "org.gnome.Mutter.ScreenCast", "CreateSession", &error, &reply, "a{sv}", 1, "remote-desktop-session-id",
            "s", id.c_str());
        if (r < 0 || (r = sd_bus_message_read(reply, "o", &path)) < 0)
            return failed("ScreenCast.CreateSession", r);
        const std::string castSession = path;
        reply = sd_bus_message_unref(reply);
        r = sd_bus_call_method(fSession.Bus(), "org.gnome.Mutter.ScreenCast", castSession.c_str(),
            "org.gnome.Mutter.ScreenCast.Session", "RecordMonitor", &error, &reply, "sa{sv}", "Meta-0", 1,
            "cursor-mode", "u", 2u);
        if (r < 0 || (r = sd_bus_message_read(reply, "o", &path)) < 0)
            return failed("RecordMonitor", r);
        fStreamPath = path;
        reply = sd_bus_message_unref(reply);

        uint32 node = 0;
        sd_bus_slot* slot = nullptr;
        sd_bus_match_signal(fSession.Bus(), &slot, "org.gnome.Mutter.ScreenCast", fStreamPath.c_str(),
            "org.gnome.Mutter.ScreenCast.Stream", "PipeWireStreamAdded",
            [](sd_bus_message* m, void* data, sd_bus_error*) {
                sd_bus_message_read(m, "u", static_cast<uint32*>(data));
                return 0;
            },
            &node);
        r = sd_bus_call_method(fSession.Bus(), "org.gnome.Mutter.RemoteDesktop", fRemoteSession.c_str(),
            "org.gnome.Mutter.RemoteDesktop.Session", "Start", &error, nullptr, "");
        if (r < 0)
            return failed("RemoteDesktop.Session.Start", r);
        const bool added = WaitUntil(
            [&] {
                while (sd_bus_process(fSession.Bus(), nullptr) > 0) { }
                return node != 0;
            },
            std::chrono::seconds(10));
        sd_bus_slot_unref(slot);
        if (!added)
            return "mutter's screen cast named no PipeWire stream within 10 s";

        const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::snprintf(
            address.sun_path, sizeof address.sun_path, "%s/pipewire-0", fSession.RuntimeDirectory().c_str());
        if (socket < 0 || connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return std::string("cannot connect to pipewire: ") + std::strerror(errno);
        std::vector<std::unique_ptr<CastStreamCore>> cores;
        cores.push_back(std::make_unique<CastStreamCore>(BPoint(0, 0)));
        CastStreamCore* core = cores.back().get();
        fScreen.SetStreams(std::move(cores));
        fReader = std::make_unique<PipeWireCastReader>(
            socket, std::vector<PipeWireCastReader::Stream> { { node, core } }, fPointer, fScreenChanges, fScreen,
            [] {});
        if (!fReader->Error().empty())
            return "cannot read mutter's screen cast: " + fReader->Error();
        if (!WaitUntil([&] { return ColourAt(0, 0) != ~0u; }, std::chrono::seconds(10)))
            return "mutter's screen cast showed no picture within 10 s";
        return {};
    }

    DesktopSession fSession;
    std::string fError;
    std::string fXDisplay;
    ChildProcess fMutter;
    std::string fRemoteSession;
    std::string fStreamPath;
    PointerBroadcaster fPointer;
    ScreenChangeBroadcaster fScreenChanges;
    CastScreen fScreen;
    std::unique_ptr<PipeWireCastReader> fReader;
};
