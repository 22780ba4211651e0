#pragma once

// A real X server of a test's or benchmark's own: Xorg with the dummy video
// driver (no graphics hardware) and X.Org's inputtest input driver, which
// gives a pen as tablet drivers do: a stylus and an eraser, each its own
// absolute device with proximity and an "Abs Pressure" axis, driven through
// a socket each (see InputTestDevice.h). Like XvfbServer it picks a free
// display number itself (-displayfd), keeps its files in a folder of its
// own, and says why, naming the Debian package, when it cannot start.
// Xorg needs root.

#include "tests/common/ChildProcess.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <unistd.h>

class XorgServer {
public:
    // The devices' names, which tell Qt and the program's pointer reader
    // which tool each one is.
    static constexpr const char* kStylus = "Zimbrel Test Pen stylus";
    static constexpr const char* kEraser = "Zimbrel Test Pen eraser";

    explicit XorgServer(int width = 1024, int height = 768)
        : fWidth(width)
        , fHeight(height)
    {
        fError = Missing();
        if (!fError.empty())
            return;
        std::string folder = (std::filesystem::temp_directory_path() / "zimbrel-xorg-XXXXXX").string();
        if (::mkdtemp(folder.data()) == nullptr) {
            fError = "cannot make a folder for Xorg's files";
            return;
        }
        fFolder = folder;
        std::filesystem::create_directory(fFolder + "/conf.d");
        std::ofstream(fFolder + "/xorg.conf") << Config();
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) {
            fError = "pipe failed";
            return;
        }
        fcntl(ready[1], F_SETFD, 0);
        // -configdir: the machine's own xorg.conf.d must not add devices.
        const bool started = fServer.Start({ "Xorg", "-displayfd", std::to_string(ready[1]), "-config",
            fFolder + "/xorg.conf", "-configdir", fFolder + "/conf.d", "-logfile", fFolder + "/Xorg.log",
            "-nolisten", "tcp", "-noreset", "-novtswitch", "-sharevts" });
        close(ready[1]);
        if (!started) {
            fError
                = "cannot start Xorg (" + fServer.Error() + "); install the Debian package xserver-xorg-core";
            close(ready[0]);
            return;
        }
        std::string number;
        pollfd watched { ready[0], POLLIN, 0 };
        char digit = 0;
        while (poll(&watched, 1, 20000) > 0 && read(ready[0], &digit, 1) == 1 && digit != '\n')
            number += digit;
        close(ready[0]);
        if (number.empty()) {
            fError = "Xorg did not start within 20 s (it needs root): " + fServer.Errors() + LogErrors();
            fServer.Stop();
            return;
        }
        fName = ":" + number;
    }

    ~XorgServer()
    {
        fServer.Stop();
        if (!fFolder.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(fFolder, ignored);
        }
    }

    XorgServer(const XorgServer&) = delete;
    XorgServer& operator=(const XorgServer&) = delete;

    bool IsRunning() const { return !fName.empty(); }
    const std::string& Error() const { return fError; }
    // The display name, such as ":5".
    const std::string& Name() const { return fName; }
    int Width() const { return fWidth; }
    int Height() const { return fHeight; }
    // The inputtest socket of the stylus or the eraser.
    std::string StylusSocket() const { return fFolder + "/stylus"; }
    std::string EraserSocket() const { return fFolder + "/eraser"; }

private:
    // What Xorg, its dummy driver or the inputtest driver lacks, or "".
    static std::string Missing()
    {
        if (const std::string missing = MissingTools({ "Xorg" }); !missing.empty())
            return missing;
        for (const auto& [module, package] :
            { std::pair { "drivers/dummy_drv.so", "xserver-xorg-video-dummy" },
                std::pair { "input/inputtest_drv.so", "xserver-xorg-core" } })
            if (!std::filesystem::exists(std::string("/usr/lib/xorg/modules/") + module))
                return std::string("Xorg's ") + module + " is missing: install the Debian package " + package;
        return {};
    }

    std::string Config() const
    {
        const std::string mode = std::to_string(fWidth) + "x" + std::to_string(fHeight);
        std::ostringstream config;
        // No devices but the pen's (and X's own XTEST devices, which
        // xdotool uses).
        config << "Section \"ServerFlags\"\n"
                  "  Option \"AutoAddDevices\" \"false\"\n"
                  "  Option \"AutoEnableDevices\" \"false\"\n"
                  "EndSection\n"
                  "Section \"Device\"\n  Identifier \"dummy\"\n  Driver \"dummy\"\n  VideoRam "
                  "65536\nEndSection\n"
                  "Section \"Monitor\"\n  Identifier \"monitor\"\n  HorizSync 5.0 - 1000.0\n"
                  "  VertRefresh 5.0 - 200.0\n"
               << "  Modeline \"" << mode << "\" 65.00 " << fWidth << ' ' << fWidth + 24 << ' '
               << fWidth + 160 << ' ' << fWidth + 320 << ' ' << fHeight << ' ' << fHeight + 3 << ' '
               << fHeight + 9 << ' ' << fHeight + 38 << " -hsync -vsync\n"
               << "EndSection\n"
                  "Section \"Screen\"\n  Identifier \"screen\"\n  Device \"dummy\"\n  Monitor \"monitor\"\n"
                  "  DefaultDepth 24\n  SubSection \"Display\"\n    Depth 24\n"
               << "    Modes \"" << mode << "\"\n    Virtual " << fWidth << ' ' << fHeight << "\n"
               << "  EndSubSection\nEndSection\n";
        for (const auto& [name, socket] :
            { std::pair { kStylus, StylusSocket() }, { kEraser, EraserSocket() } })
            config << "Section \"InputDevice\"\n  Identifier \"" << name << "\"\n  Driver \"inputtest\"\n"
                   << "  Option \"SocketPath\" \"" << socket << "\"\n"
                   << "  Option \"DeviceType\" \"PointerAbsoluteProximity\"\n"
                   << "  Option \"PointerHasPressure\" \"true\"\nEndSection\n";
        config << "Section \"ServerLayout\"\n  Identifier \"layout\"\n  Screen \"screen\"\n"
               << "  InputDevice \"" << kStylus << "\"\n  InputDevice \"" << kEraser << "\"\nEndSection\n";
        return config.str();
    }

    // The error lines of Xorg's log.
    std::string LogErrors() const
    {
        std::ifstream log(fFolder + "/Xorg.log");
        std::string errors;
        for (std::string line; std::getline(log, line);)
            if (line.find("(EE)") != std::string::npos)
                errors += "\n" + line;
        return errors;
    }

    int fWidth;
    int fHeight;
    ChildProcess fServer;
    std::string fFolder;
    std::string fName;
    std::string fError;
};
