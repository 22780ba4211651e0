#pragma once

// The whole screen on Wayland, through the desktop portal's ScreenCast
// interface in cursor-metadata mode: the pointer's position comes with every
// motion, and a picture whenever the screen changes.
//
// On its own thread ("portal") it asks for the monitors once (the desktop
// shows its sharing dialog; with the restore token kept in the user's
// settings folder, later starts ask nothing; a token the desktop refuses is
// dropped and the desktop asked afresh), opens the PipeWire remote the
// portal hands out and starts a PipeWireCastReader on it. It notices a
// session that ends (the user stopped sharing), says each step that concerns
// the user on standard error and posts it as the pointer service's status
// (kPointerServiceStatus). After a refusal or an end it asks again when
// the pointer service is asked to (AskConsentAgain). Buttons and pressure do
// not come this way.
//
// The D-Bus side uses sd-bus: one connection and one plain poll loop on this
// thread, with no event loop of a toolkit to run or share.
//
// Thread rules: construct and destroy on one thread; Offered from any
// thread. The destructor closes the session and joins the thread; no call
// to the portal is waited for past the stop. The
// broadcasters and the screen must outlive it.

#include "platform/input/PointerBroadcaster.h"
#include "platform/input/ScreenChangeBroadcaster.h"
#include "platform/input/portal/CastScreen.h"

#include <atomic>
#include <string>
#include <thread>

class PortalScreenCast {
public:
    // True when the session bus has a ScreenCast portal that offers cursor
    // metadata; otherwise false, with the reason in `why` as a clause ("the
    // desktop has no ScreenCast portal (…)").
    static bool Offered(std::string* why);

    PortalScreenCast(PointerBroadcaster& pointer, ScreenChangeBroadcaster& screenChanges, CastScreen& screen);
    ~PortalScreenCast();

    PortalScreenCast(const PortalScreenCast&) = delete;
    PortalScreenCast& operator=(const PortalScreenCast&) = delete;

private:
    class Session;

    void ThreadMain();
    // Waits for the user to ask again (true) or for the stop (false).
    bool WaitToAskAgain();
    void Wake(char why);

    PointerBroadcaster& fPointer;
    ScreenChangeBroadcaster& fScreenChanges;
    CastScreen& fScreen;

    // Wakes the thread: a byte for "stop", "the streams ended" or "ask again".
    int fWakeRead = -1;
    int fWakeWrite = -1;
    std::atomic<bool> fStop { false };
    std::thread fThread;
};
