#pragma once

// A private headless KDE Plasma for a test: its own D-Bus session and
// XDG_RUNTIME_DIR, `pipewire`, `wireplumber` and `kwin_wayland --virtual`
// with one 1024 x 768 output; the desktop portal (xdg-desktop-portal with
// its KDE backend) is started by the bus when first asked. KWin runs with
// its permission checks off, so that the test's pointer (KWin's fake-input
// protocol, through wayland_pointer_driver) needs no consent. Start()
// points this process and the programs it starts at it.
//
// Without a GPU, KWin composites with QPainter, and then offers neither
// screenshots nor screen casts: the test learns where windows are from a
// KWin script instead, which prints their geometry to KWin's log.
//
// Debian's kwin_wayland carries a file capability that this sandbox cannot
// grant, so a copy of it runs (a copy's name must end in "kwin_wayland").

#include "tests/common/ChildProcess.h"
#include "tests/common/DesktopSession.h"

#include <systemd/sd-bus.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

class HeadlessKde {
public:
    static constexpr int kWidth = 1024;
    static constexpr int kHeight = 768;

    // A window's content, on screen.
    struct Rectangle {
        int x, y, width, height;
    };

    ~HeadlessKde() { Stop(); }

    // Empty on success, else why the desktop could not start.
    std::string Start(const std::string& baseName)
    {
        // The bus starts the portals from these.
        const std::string missing = MissingTools({ "dbus-run-session", "pipewire", "wireplumber", "kwin_wayland",
            "setpriv", "/usr/libexec/xdg-desktop-portal", "/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde" });
        if (!missing.empty())
            return missing;
        if (const std::string sessionError = fSession.Start(baseName, "KDE"); !sessionError.empty())
            return sessionError;
        // A copy, as the packaged binary's file capability cannot be granted.
        const std::string kwin = fSession.RuntimeDirectory() + "/kwin_wayland";
        std::error_code error;
        std::filesystem::copy_file(FindTool("kwin_wayland"), kwin, error);
        if (error)
            return "cannot copy kwin_wayland: " + error.message();
        if (!fKWin.Start({ "setpriv", "--pdeathsig", "TERM", kwin, "--virtual",
                             "--no-lockscreen", "--width", std::to_string(kWidth), "--height",
                             std::to_string(kHeight), "--socket", "wayland-0" },
                { { "XDG_SESSION_TYPE", "wayland" }, { "KWIN_WAYLAND_NO_PERMISSION_CHECKS", "1" },
                    { "QT_LOGGING_RULES", "kwin_scripting=true" } }))
            return "cannot start kwin_wayland: " + fKWin.Error();
        if (!WaitUntil([&] { return !fKWin.Running() || fSession.HasOwner("org.kde.KWin"); }, std::chrono::seconds(30))
            || !fKWin.Running())
            return "KWin did not come up within 30 s" + std::string(fKWin.Running() ? "" : " (it ended)") + ": "
                + fKWin.Errors();
        setenv("WAYLAND_DISPLAY", "wayland-0", 1);
        return {};
    }

    void Stop()
    {
        fKWin.Stop();
        fSession.Stop();
    }

    // The content of the first window whose title starts with `title`, as
    // KWin has it now; nothing while there is none (Errors() says why when
    // KWin could not be asked).
    std::optional<Rectangle> WindowContent(const std::string& title)
    {
        return AboutWindow(title, "");
    }

    // Moves the first window whose title starts with `title` so that its
    // frame's top left corner is at (x, y), above the others; its content
    // afterwards, or nothing when there is no such window.
    std::optional<Rectangle> PlaceWindow(const std::string& title, int x, int y)
    {
        return AboutWindow(title,
            "w.frameGeometry = { x: " + std::to_string(x) + ", y: " + std::to_string(y)
                + ", width: w.frameGeometry.width, height: w.frameGeometry.height };\n"
                  "workspace.activeWindow = w;\n");
    }

    const std::string& Errors() const { return fError; }
    std::string KWinErrors() const { return fKWin.Errors(); }

private:
    // Runs `action` (JavaScript on the window `w`) in KWin on the first
    // window whose title starts with `title`, and then reads its content.
    std::optional<Rectangle> AboutWindow(const std::string& title, const std::string& action)
    {
        const std::string tag = "zimbrel-window-" + std::to_string(++fQueries);
        const std::string script = fSession.RuntimeDirectory() + "/" + tag + ".js";
        std::ofstream(script) << "for (const w of workspace.windowList())\n"
                                 "    if (w.caption.startsWith(" << Quoted(title) << ")) {\n"
                              << action
                              << "        const g = w.clientGeometry;\n"
                                 "        print('" << tag << " ' + g.x + ' ' + g.y + ' ' + g.width + ' ' + g.height);\n"
                                 "        break;\n"
                                 "    }\n"
                                 "print('" << tag << " done');\n";
        int32 id = -1;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        int r = sd_bus_call_method(fSession.Bus(), "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "loadScript",
            &error, &reply, "ss", script.c_str(), tag.c_str());
        if (r >= 0)
            r = sd_bus_message_read(reply, "i", &id);
        reply = sd_bus_message_unref(reply);
        if (r >= 0 && id >= 0)
            r = sd_bus_call_method(fSession.Bus(), "org.kde.KWin", ("/Scripting/Script" + std::to_string(id)).c_str(),
                "org.kde.kwin.Script", "run", &error, nullptr, "");
        if (r < 0 || id < 0) {
            fError = std::string("KWin's scripting: ")
                + (error.message ? error.message : r < 0 ? std::strerror(-r) : "no script id");
            sd_bus_error_free(&error);
            return std::nullopt;
        }
        const bool done = fKWin.WaitForError(tag + " done", std::chrono::seconds(5));
        sd_bus_call_method(fSession.Bus(), "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "unloadScript", nullptr,
            nullptr, "s", tag.c_str());
        const std::string log = fKWin.Errors();
        const size_t at = log.find(tag + " ");
        Rectangle content {};
        if (!done || at == std::string::npos
            || std::sscanf(log.c_str() + at + tag.size(), " %d %d %d %d", &content.x, &content.y, &content.width,
                   &content.height)
                != 4)
            return std::nullopt;
        return content;
    }

    static std::string Quoted(const std::string& text)
    {
        std::string quoted = "'";
        for (char c : text)
            quoted += c == '\'' || c == '\\' ? std::string("\\") + c : std::string(1, c);
        return quoted + "'";
    }

    DesktopSession fSession;
    std::string fError;
    int fQueries = 0;
    ChildProcess fKWin;
};
