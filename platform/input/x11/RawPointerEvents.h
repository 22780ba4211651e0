#pragma once

// Turns the X server's raw pointer events, a batch at a time, into the
// messages pointer listeners get. Raw events carry no screen position, so a
// batch ends with one query of the pointer, and every message of the batch
// gets that position. Each run of motions becomes one B_MOUSE_MOVED; each
// press and release of buttons 1-3 and 8 up becomes its own B_MOUSE_DOWN or
// B_MOUSE_UP. Buttons 4-7 are the scroll wheel's clicks, not presses.
//
// The button mask of each message is followed from the presses and releases
// of the batch; the last message carries the server's own mask, which also
// sets the starting point for the next batch.
//
// Plain values in, messages out: tested without a server. Once the batches
// have been as long as they will be, building messages allocates nothing.
//
// Thread rules: used by one thread (the reader's).

#include "platform/app/Message.h"
#include "platform/input/x11/TabletDevices.h"
#include "platform/support/Point.h"

#include <span>
#include <vector>

class RawPointerEvents {
public:
    enum class Kind { Motion, Press, Release };

    // Adds one raw event. `button` is the X button number of a press or
    // release; `sourceDevice` the device that made the event.
    void Add(Kind kind, int button, int sourceDevice);
    bool IsEmpty() const { return fEvents.empty(); }

    // The listeners' mask bit of X button `button`: B_PRIMARY_MOUSE_BUTTON,
    // B_SECONDARY_MOUSE_BUTTON (X's right button, 3), B_TERTIARY_MOUSE_BUTTON
    // (X's middle button, 2), bit n-1 for buttons 8 and up, none for the wheel.
    static int32 ButtonBit(int button);

    // Ends the batch: the messages of its events, in order. `where` is the
    // pointer's position and `serverButtons` the server's mask (made of
    // ButtonBit values) after the last event; `when` the time stamp for all.
    // The messages are valid until the next Finish, which builds its own in
    // their memory.
    std::span<const BMessage> Finish(
        BPoint where, int32 serverButtons, const TabletDevices& tablets, bigtime_t when);
    // Ends the batch without messages, when the pointer could not be asked.
    void Discard() { fEvents.clear(); }

private:
    struct Event {
        Kind kind;
        int button;
        int sourceDevice;
    };

    std::vector<Event> fEvents;
    std::vector<BMessage> fMessages;
    int32 fButtons = 0;
};
