#include "platform/display/DesktopDisplay.h"

#include "platform/display/qt/QtDesktop.h"
#include "platform/display/qt/QtDisplay.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

namespace {

std::unique_ptr<QtDesktop> sDesktop;

// Qt ends the process when it cannot reach its display; asking the X server
// first lets the program say so itself and end cleanly.
bool XServerAnswers()
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

} // namespace

status_t open_desktop_display()
{
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') {
        std::fprintf(stderr,
            "zimbrel: cannot show a window: no X display (DISPLAY is not set); "
            "Zimbrel needs an X11 session or Xwayland\n");
        return B_ERROR;
    }
    if (!XServerAnswers()) {
        std::fprintf(stderr, "zimbrel: cannot show a window: the X display \"%s\" cannot be reached\n", name);
        return B_ERROR;
    }
    // The pointer is read from the X server too, so Qt must show the windows
    // there, even under a Wayland desktop that Qt would otherwise prefer.
    setenv("QT_QPA_PLATFORM", "xcb", 0);
    sDesktop.reset(); // a previous run's desktop, already torn down
    sDesktop = std::make_unique<QtDesktop>();
    DisplayService::Install(sDesktop->Service());
    BApplication::SetEventLoop(sDesktop.get());
    return B_OK;
}
