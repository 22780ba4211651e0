#pragma once

// One connection to the X server that never lets Xlib speak or end the
// process: the server's error replies on it are counted instead of printed,
// and a broken connection (the server went away) marks it lost instead of
// calling exit(). The handlers that make this so are installed once per
// process; connections that are not X11Connection objects keep whatever
// handler was there before.
//
// Thread rules: a connection is used by one thread at a time; its owner
// serialises. IsLost() and ErrorCount() may be read from any thread.

#include "platform/support/Rect.h"
#include "platform/support/SupportDefs.h"

#include <X11/Xlib.h>

#include <atomic>

class X11Connection {
public:
    // Connects to `displayName`; IsOpen() tells whether that worked.
    explicit X11Connection(const char* displayName);
    ~X11Connection();

    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    bool IsOpen() const { return fDisplay != nullptr; }
    Display* Get() const { return fDisplay; }
    Window Root() const { return DefaultRootWindow(fDisplay); }
    // The root window's extent in inclusive pixels (one round trip), or an
    // invalid rectangle when the server does not answer.
    BRect RootFrame() const;

    // True once the connection broke. No Xlib call may be made on it then:
    // Xlib keeps a broken display locked by the thread that found the break.
    bool IsLost() const { return fLost.load(); }
    // How many error replies the server has sent on this connection.
    uint64 ErrorCount() const { return fErrors.load(); }

private:
    // Xlib's process-wide handlers, which find the connection by display.
    static int OnError(Display* display, XErrorEvent* error);
    static int OnIOError(Display* display);

    Display* fDisplay = nullptr;
    std::atomic<bool> fLost { false };
    std::atomic<uint64> fErrors { 0 };
};
