#pragma once

// Opens the display the product shows its windows on: Qt 6 Widgets, as
// native Wayland windows where WAYLAND_DISPLAY reaches a compositor and Qt
// has its Wayland platform, otherwise on the X server named by $DISPLAY
// (X11, or Xwayland under a Wayland desktop); QT_QPA_PLATFORM, when set,
// chooses instead. Call it first thing in main, on the main thread, before
// the application object exists. It installs the display for every window
// made afterwards and the event loop that BApplication::Run drives on the
// main thread; that Run closes the display again when it returns.
//
// When neither can be reached it prints one line saying so on standard
// error and returns B_ERROR; the program should then end with status 1.

#include "platform/support/SupportDefs.h"

status_t open_desktop_display();
