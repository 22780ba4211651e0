#include "platform/input/x11/X11KeyGrab.h"

#include "platform/input/x11/X11Connection.h"
#include "platform/support/ThreadName.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// The key combinations that are Pause to a user: with or without Caps Lock
// (LockMask) and Num Lock (Mod2Mask on every common keymap).
constexpr unsigned int kLockCombinations[] = { 0, LockMask, Mod2Mask, LockMask | Mod2Mask };

} // namespace

std::unique_ptr<X11KeyGrab> X11KeyGrab::Grab(const char* displayName, const BMessenger& target, std::string* why)
{
    auto connection = std::make_unique<X11Connection>(displayName);
    if (!connection->IsOpen()) {
        *why = std::string("cannot connect to the X server at DISPLAY=") + displayName;
        return nullptr;
    }
    Display* display = connection->Get();
    const int keycode = XKeysymToKeycode(display, XK_Pause);
    if (keycode == 0) {
        *why = "the keyboard map has no Pause key";
        return nullptr;
    }
    // Asked before the grab, so that the first press already comes without
    // its repeats' releases.
    Bool repeatsDetectable = False;
    XkbSetDetectableAutoRepeat(display, True, &repeatsDetectable);
    const uint64 errorsBefore = connection->ErrorCount();
    for (const unsigned int locks : kLockCombinations)
        XGrabKey(display, keycode, locks, connection->Root(), False, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    if (connection->ErrorCount() != errorsBefore) {
        // A passive grab another client holds is refused with BadAccess.
        *why = "another program holds the Pause key for itself";
        return nullptr;
    }
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        *why = "cannot make the key reader's wake-up";
        return nullptr;
    }
    return std::unique_ptr<X11KeyGrab>(new X11KeyGrab(std::move(connection), keycode, wake, target));
}

X11KeyGrab::X11KeyGrab(std::unique_ptr<X11Connection> connection, int keycode, int wake, const BMessenger& target)
    : fConnection(std::move(connection))
    , fKeycode(keycode)
    , fWake(wake)
    , fTarget(target)
    , fThread(&X11KeyGrab::ThreadMain, this)
{
}

X11KeyGrab::~X11KeyGrab()
{
    const uint64_t stop = 1;
    [[maybe_unused]] const ssize_t written = write(fWake, &stop, sizeof stop);
    fThread.join();
    // Closing the connection releases the grab with it.
    close(fWake);
}

void X11KeyGrab::ThreadMain()
{
    NameCurrentThread("pause-key");
    pollfd watched[2] = {
        { ConnectionNumber(fConnection->Get()), POLLIN, 0 },
        { fWake, POLLIN, 0 },
    };
    while (ReadAvailable()) {
        if (poll(watched, 2, -1) < 0 && errno != EINTR)
            return;
        if (watched[1].revents != 0)
            return;
    }
}

bool X11KeyGrab::ReadAvailable()
{
    Display* display = fConnection->Get();
    for (;;) {
        const int queued = XPending(display);
        if (fConnection->IsLost())
            return false;
        if (queued == 0)
            return true;
        for (int index = 0; index < queued; ++index) {
            XEvent event;
            XNextEvent(display, &event);
            if ((event.type != KeyPress && event.type != KeyRelease) || int(event.xkey.keycode) != fKeycode)
                continue;
            const bool pressed = event.type == KeyPress;
            if (pressed == fHeld)
                continue; // a repeat the server still made
            fHeld = pressed;
            fTarget.SendMessage(pressed ? kGlobalKeyPressed : kGlobalKeyReleased);
        }
    }
}
