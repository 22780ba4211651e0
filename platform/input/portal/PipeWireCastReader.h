#pragma once

// Reads a screen cast's PipeWire streams on a thread of its own ("screen-
// cast") over the connection the portal handed out, and feeds each buffer to
// its stream's core: a pointer move becomes a B_MOUSE_MOVED for the pointer
// broadcaster, a new size a B_SCREEN_CHANGED for the screen-change
// broadcaster. Buttons and pressure do not come this way.
//
// When the streams end (the user stopped sharing, PipeWire went away) the
// cores are told and `ended` is called once, on the reader's thread.
//
// Thread rules: construct and destroy on one thread. The constructor sets
// everything up before the thread starts; the destructor wakes the thread,
// joins it and then frees the PipeWire objects. The broadcasters, the screen
// and the cores must outlive the reader.

#include "platform/input/PointerBroadcaster.h"
#include "platform/input/ScreenChangeBroadcaster.h"
#include "platform/input/portal/CastScreen.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

struct pw_loop;
struct pw_context;
struct pw_core;
struct spa_source;

class PipeWireCastReader {
public:
    struct Stream {
        uint32 node = 0;
        CastStreamCore* core = nullptr;
    };

    // Takes `pipeWireFd` (closed on failure too). On failure Error() says why
    // and no thread runs.
    PipeWireCastReader(int pipeWireFd, const std::vector<Stream>& streams, PointerBroadcaster& pointer,
        ScreenChangeBroadcaster& screenChanges, CastScreen& screen, std::function<void()> ended);
    ~PipeWireCastReader();

    PipeWireCastReader(const PipeWireCastReader&) = delete;
    PipeWireCastReader& operator=(const PipeWireCastReader&) = delete;

    const std::string& Error() const { return fError; }

private:
    class StreamReader;

    void ThreadMain();
    // On the reader's thread.
    void StreamFormatChanged();
    void StreamEnded(const char* why);

    PointerBroadcaster& fPointer;
    ScreenChangeBroadcaster& fScreenChanges;
    CastScreen& fScreen;
    std::function<void()> fEnded;
    bool fEndReported = false;
    std::string fError;

    pw_loop* fLoop = nullptr;
    pw_context* fContext = nullptr;
    pw_core* fCore = nullptr;
    spa_source* fWake = nullptr;
    std::vector<std::unique_ptr<StreamReader>> fStreams;
    struct CoreListener;
    std::unique_ptr<CoreListener> fCoreListener;

    std::atomic<bool> fStop { false };
    std::thread fThread;
};
