#pragma once

// Reads the X server's events on a connection and a thread of its own:
// XInput 2 raw pointer events from the whole screen, turned into pointer
// messages (RawPointerEvents) for the pointer broadcaster, and RandR screen
// changes, turned into B_SCREEN_CHANGED for the screen-change broadcaster.
// Raw events reach it even while another program holds a pointer grab.
//
// What it cannot do (no XInput 2.2, a connection that breaks) it says once on
// standard error.
//
// Thread rules: construct and destroy on one thread. The constructor sets
// everything up before the reader thread starts; the destructor wakes the
// thread, which stops at once, and joins it. The broadcasters must outlive
// the reader.

#include "platform/input/PointerBroadcaster.h"
#include "platform/input/ScreenChangeBroadcaster.h"
#include "platform/input/x11/RawPointerEvents.h"
#include "platform/input/x11/TabletDevices.h"

#include <atomic>
#include <memory>
#include <thread>

class X11Connection;
union _XEvent;

class X11EventReader {
public:
    X11EventReader(
        const char* displayName, PointerBroadcaster& pointer, ScreenChangeBroadcaster& screenChanges);
    ~X11EventReader();

    X11EventReader(const X11EventReader&) = delete;
    X11EventReader& operator=(const X11EventReader&) = delete;

    // False when the server has no XInput 2.2 (or the selection failed): no
    // pointer events will come, though screen changes still do.
    bool IsReadingPointer() const { return fReadsPointer; }

private:
    bool SelectPointerEvents();
    void SelectScreenChanges();
    void ReadTabletDevices();
    void ThreadMain();
    void ReadBatch(int count);
    void HandleEvent(_XEvent& event);
    void FinishPointerBatch();
    void BroadcastScreenFrame();

    PointerBroadcaster& fPointer;
    ScreenChangeBroadcaster& fScreenChanges;
    std::unique_ptr<X11Connection> fConnection;
    int fInputOpcode = 0;
    int fRandREventBase = -1;
    bool fReadsPointer = false;
    // The master pointer of the batch's events, asked for the position.
    int fMasterPointer = 0;
    TabletDevices fTablets;
    RawPointerEvents fBatch;

    int fWakeRead = -1;
    int fWakeWrite = -1;
    std::atomic<bool> fStop { false };
    std::thread fThread;
};
