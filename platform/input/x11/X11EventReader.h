#pragma once

// Reads the X server's events on a connection of its own: XInput 2 raw
// pointer events from the whole screen, turned into pointer messages
// (RawPointerEvents) for the pointer broadcaster, and RandR screen changes,
// turned into B_SCREEN_CHANGED for the screen-change broadcaster. Raw events
// reach it even while another program holds a pointer grab.
//
// It reads on a thread of its own until a pointer listener is added whose
// looper can host it (HostedSource.h); from then on it reads on that
// looper's thread, so that a motion wakes the listener once rather than
// this thread and then the listener. When the host's looper quits, reading
// goes back to the reader's own thread.
//
// What it cannot do (no XInput 2.2, a connection that breaks) it says once on
// standard error.
//
// Thread rules: construct and destroy on one thread. The constructor sets
// everything up before reading starts; the destructor stops the reading
// wherever it is and waits until it has stopped. The broadcasters must
// outlive the reader.

#include "platform/app/Messenger.h"
#include "platform/input/PointerBroadcaster.h"
#include "platform/input/ScreenChangeBroadcaster.h"
#include "platform/input/x11/RawPointerEvents.h"
#include "platform/input/x11/TabletDevices.h"

#include <atomic>
#include <memory>
#include <mutex>
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
    class Hosting;

    bool SelectPointerEvents();
    void SelectScreenChanges();
    void ReadDevices();
    void ThreadMain();
    // Reads everything the connection holds; false once it is lost.
    bool ReadAvailable();
    void ReadBatch(int count);
    void HandleEvent(_XEvent& event);
    void FinishPointerBatch();
    void BroadcastScreenFrame();
    // Under fPlaceLock.
    void StartOwnThread();
    void StopOwnThread();
    // Moves the reading onto `listener`'s looper when it can host it.
    void MoveOnto(const BMessenger& listener);
    void HostClosed(const Hosting* hosting);

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

    // Where the connection is read: on fThread, or by fHost's looper.
    std::mutex fPlaceLock;
    std::thread fThread;
    std::shared_ptr<Hosting> fHosting;
    BMessenger fHost;
};
