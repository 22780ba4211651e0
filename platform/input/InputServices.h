#pragma once

// The set of services that stands between the interface kit and the
// machine's pointer and screen. PointerService::Instance(),
// ScreenChangeNotifier::Instance() and ScreenSource::Instance() return the
// members of the set in force.
//
// The machine's set is made on first use, once per process: under Wayland
// (WAYLAND_DISPLAY set) the desktop portal's screen cast when its probe
// finds cursor metadata (PortalScreenCast); else the X server's when
// DISPLAY reaches one (with a line on standard error, under Wayland, that
// only X11 windows can be seen, and why); otherwise a set that delivers
// nothing and reads no pixels, after one line on standard error that says
// why.

#include "platform/input/GlobalKeyGrab.h"
#include "platform/input/PointerService.h"
#include "platform/input/ScreenChangeNotifier.h"
#include "platform/input/ScreenSource.h"

#include <memory>

class BMessenger;

struct InputServices {
    PointerService& pointer;
    ScreenChangeNotifier& screenChanges;
    ScreenSource& screen;
    // False on a Wayland desktop without the portal's screen cast, where the
    // pointer and the pixels can be followed over X11 windows only (through
    // Xwayland), or nowhere.
    bool wholeDesktop = true;

    // Puts `services` in force instead of the machine's set, which is then
    // never made; nullptr puts the machine's set back. For tests that run
    // windows without an X server. The caller keeps `services` alive while
    // it is in force.
    // Thread rules: call while no window listens to the pointer or to
    // screen changes and no BScreen is in use.
    static void Override(const InputServices* services);
    // The wholeDesktop of the set in force.
    static bool FollowWholeDesktop();
    // Takes the Pause key for the whole desktop on the X server named by
    // DISPLAY, for `target`; or says on standard error why it cannot and
    // gives null: on Wayland (which hands no program the keys typed into
    // other windows), without an X server, or when another program holds
    // the key. With a set put in force by Override nothing is grabbed.
    static std::unique_ptr<GlobalKeyGrab> GrabPauseKey(const BMessenger& target);
};
