#include "platform/display/DesktopDisplay.h"

#include "platform/display/qt/QtDesktop.h"
#include "platform/display/qt/QtDisplay.h"

#include <QDir>
#include <QLibraryInfo>
#include <wayland-client.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::unique_ptr<QtDesktop> sDesktop;

bool IsSet(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Qt ends the process when it cannot reach its display; asking the server
// first lets the program say so itself and end cleanly.
bool XServerAnswers()
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

bool CompositorAnswers()
{
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr)
        return false;
    wl_display_disconnect(display);
    return true;
}

// Qt's Wayland platform is a package of its own, which a desktop may lack.
bool QtSpeaksWayland()
{
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
    return !platforms.entryList({ "libqwayland*" }, QDir::Files).isEmpty();
}

// The Qt platform the windows show on, or nullptr after one line on
// standard error that says why none can be reached.
//
// A Wayland desktop gets native Wayland windows: only there does the pen
// reach the canvas through the desktop's own tablet protocol, and the
// windows need no Xwayland at all. The X server comes second: an X11
// session, or Xwayland when Qt cannot speak to the compositor. Either way
// the pointer service reads the X server on its own connection, which
// through Xwayland follows the pointer over X11 windows only.
const char* ChoosePlatform()
{
    std::string notWayland;
    if (IsSet("WAYLAND_DISPLAY")) {
        if (!CompositorAnswers())
            notWayland = std::string("the Wayland compositor at WAYLAND_DISPLAY=")
                + std::getenv("WAYLAND_DISPLAY") + " cannot be reached";
        else if (!QtSpeaksWayland())
            notWayland = "Qt's Wayland platform is not installed (Debian package qt6-wayland)";
        else
            return "wayland";
    }
    if (IsSet("DISPLAY") && XServerAnswers()) {
        if (!notWayland.empty())
            std::fprintf(stderr, "zimbrel: %s: the windows show through Xwayland\n", notWayland.c_str());
        return "xcb";
    }
    const std::string x11 = IsSet("DISPLAY")
        ? std::string("the X display \"") + std::getenv("DISPLAY") + "\" cannot be reached"
        : std::string("no X display (DISPLAY is not set)");
    if (notWayland.empty() && !IsSet("WAYLAND_DISPLAY"))
        notWayland = "no Wayland display (WAYLAND_DISPLAY is not set)";
    std::fprintf(stderr, "zimbrel: cannot show a window: %s, and %s\n", notWayland.c_str(), x11.c_str());
    return nullptr;
}

} // namespace

status_t open_desktop_display()
{
    // A platform the user named is theirs to answer for, as with any Qt
    // program.
    if (!IsSet("QT_QPA_PLATFORM")) {
        const char* platform = ChoosePlatform();
        if (platform == nullptr)
            return B_ERROR;
        setenv("QT_QPA_PLATFORM", platform, 1);
    }
    sDesktop.reset(); // a previous run's desktop, already torn down
    sDesktop = std::make_unique<QtDesktop>();
    DisplayService::Install(sDesktop->Service());
    BApplication::SetEventLoop(sDesktop.get());
    return B_OK;
}
