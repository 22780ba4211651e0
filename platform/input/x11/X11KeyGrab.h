#pragma once

// The Pause key grabbed on the X server's root window, on a connection of
// its own read by a thread of its own: the server then hands the key to
// this client whichever window has the focus. The grab covers the key with
// Caps Lock and Num Lock on too, which would otherwise make it a different
// key combination. Holding the key makes no repeats: the server is asked to
// report a held key as one press, and the presses it still repeats are
// dropped here.
//
// Thread rules: as GlobalKeyGrab.

#include "platform/app/Messenger.h"
#include "platform/input/GlobalKeyGrab.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

class X11Connection;

class X11KeyGrab final : public GlobalKeyGrab {
public:
    // Grabs Pause on `displayName`'s server for `target`; null, with the
    // reason in `why`, when the server cannot be reached, has no Pause key,
    // or another program holds it.
    static std::unique_ptr<X11KeyGrab> Grab(const char* displayName, const BMessenger& target, std::string* why);
    ~X11KeyGrab() override;

    X11KeyGrab(const X11KeyGrab&) = delete;
    X11KeyGrab& operator=(const X11KeyGrab&) = delete;

private:
    X11KeyGrab(std::unique_ptr<X11Connection> connection, int keycode, int wake, const BMessenger& target);
    void ThreadMain();
    // Sends what the connection holds; false once the connection is lost.
    bool ReadAvailable();

    std::unique_ptr<X11Connection> fConnection;
    const int fKeycode;
    // An eventfd whose count stops the thread.
    const int fWake;
    const BMessenger fTarget;
    bool fHeld = false;
    std::thread fThread;
};
