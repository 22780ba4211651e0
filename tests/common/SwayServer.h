#pragma once

// A headless sway of a test's own: wlroots' headless backend with its
// software renderer and no input devices, one output of 1280 x 720 at
// (0, 0), no Xwayland, and windows floating at the sizes they ask for, with
// no borders, so that a window's content is where swaymsg puts it.
//
// sway refuses to run as root. Under root it runs as "nobody" (on every
// Debian system), in a runtime folder of its own (mode 700, as Wayland
// wants); the test's root-run clients reach its sockets anyway. A sway that
// cannot start is an error that says why, naming the Debian package.

#include "tests/common/ChildProcess.h"

#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

class SwayServer {
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 720;

    SwayServer()
    {
        const std::string missing = MissingTools({ "sway", "swaymsg", "setpriv" });
        if (!missing.empty()) {
            fError = missing;
            return;
        }
        std::string pattern = (std::filesystem::temp_directory_path() / "zimbrel-sway-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            fError = "cannot make sway's runtime folder";
            return;
        }
        fFolder = pattern;
        std::ofstream(fFolder + "/config") << "output HEADLESS-1 resolution " << kWidth << 'x' << kHeight
                                           << " position 0 0\n"
                                              "xwayland disable\n"
                                              "default_border none\n"
                                              "default_floating_border none\n"
                                              "for_window [app_id=\".*\"] floating enable\n";
        std::vector<std::string> argv;
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (nobody == nullptr || chown(fFolder.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
                fError = "cannot hand sway's runtime folder to the user nobody";
                return;
            }
            argv = { "setpriv", "--reuid=" + std::to_string(nobody->pw_uid),
                "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups" };
        }
        const std::vector<std::string> sway = { "env", "-i", "PATH=/usr/sbin:/usr/bin:/sbin:/bin",
            "XDG_RUNTIME_DIR=" + fFolder, "HOME=" + fFolder, "WLR_BACKENDS=headless",
            "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "sway", "-c", fFolder + "/config" };
        argv.insert(argv.end(), sway.begin(), sway.end());
        if (!fServer.Start(argv)) {
            fError = "cannot start sway: " + fServer.Error();
            return;
        }
        if (!WaitUntil(
                [this] {
                    return FindSockets() && Message({ "-t", "get_version" }).status == 0;
                },
                std::chrono::seconds(10))) {
            fError = fServer.Running() ? "sway did not answer within 10 s: " + fServer.Errors()
                                       : "sway ended at start: " + fServer.Errors();
            fServer.Stop();
            fSocket.clear();
        }
    }

    ~SwayServer()
    {
        fServer.Stop();
        std::error_code ignored;
        if (!fFolder.empty())
            std::filesystem::remove_all(fFolder, ignored);
    }

    SwayServer(const SwayServer&) = delete;
    SwayServer& operator=(const SwayServer&) = delete;

    bool IsRunning() const { return !fSocket.empty(); }
    const std::string& Error() const { return fError; }
    // For clients' WAYLAND_DISPLAY: the full path of sway's socket.
    const std::string& Socket() const { return fSocket; }

    // swaymsg with `arguments`, for this sway.
    ToolResult Message(const std::vector<std::string>& arguments) const
    {
        std::vector<std::string> argv { "swaymsg" };
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return RunTool(argv, { { "SWAYSOCK", fIpcSocket } });
    }

private:
    // Both of sway's sockets, once it made them.
    bool FindSockets()
    {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(fFolder, error)) {
            const std::string name = entry.path().filename().string();
            if (!entry.is_socket())
                continue;
            if (name.rfind("wayland-", 0) == 0)
                fSocket = entry.path().string();
            else if (name.rfind("sway-ipc.", 0) == 0)
                fIpcSocket = entry.path().string();
        }
        return !fSocket.empty() && !fIpcSocket.empty();
    }

    ChildProcess fServer;
    std::string fFolder;
    std::string fSocket;
    std::string fIpcSocket;
    std::string fError;
};
