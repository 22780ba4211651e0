#pragma once

// The system-wide pointer: every pointer event on the screen, wherever the
// pointer is, delivered to the windows that asked for them.
//
// Each listener receives B_MOUSE_DOWN, B_MOUSE_MOVED and B_MOUSE_UP messages
// with "when" (int64, microseconds of the monotonic clock), "where" (point,
// whole screen pixels with the origin at the screen's top-left corner),
// "buttons" (int32 mask, bit n-1 for button n, so the primary button is 1;
// on a mouse-up the buttons still held) and, for events from a tablet tool,
// "be:tablet_pressure" (float, 0.0..1.0) and "be:tablet_eraser" (bool).
// A service that tells devices apart adds "be:device" (int32), the id of
// the device that made the event, which DeviceIsNamed knows by name. A
// listener that asks for no pointer history gets each mouse-moved message as
// a replacement for one it has not taken yet, so it never works through
// stale positions. A listener whose looper has quit is forgotten.
//
// Thread rules: any thread may add or remove listeners; messages are posted
// from the service's own thread.

#include "platform/app/Messenger.h"

#include <string>
#include <string_view>
#include <vector>

// A service that needs the desktop's consent to follow the pointer (the
// screen-cast portal on Wayland) also tells its listeners how that stands:
// kPointerServiceStatus with "state" (int32, a PointerServiceState) and
// "text" (string, one sentence for the user), whenever it changes, and the
// latest one to each listener as it is added. Other services post none.
constexpr uint32 kPointerServiceStatus = 'zpst';

enum PointerServiceState : int32 {
    // The desktop's sharing dialog is open.
    kPointerAsking = 1,
    kPointerFollowing,
    // The user declined, or the desktop could not share.
    kPointerRefused,
    // The user stopped sharing from the desktop.
    kPointerEnded,
};

class PointerService {
public:
    // The service in force (see InputServices.h): the X server's when one is
    // reachable, otherwise one that delivers nothing.
    static PointerService& Instance();

    virtual ~PointerService() = default;

    virtual void AddListener(const BMessenger& listener, bool noPointerHistory) = 0;
    virtual void RemoveListener(const BMessenger& listener) = 0;

    // True when following the pointer takes the desktop's consent; its
    // status then comes as kPointerServiceStatus.
    virtual bool AsksConsent() const = 0;
    // Asks for the desktop's consent again, after the user refused it or
    // stopped sharing. Does nothing while it is being asked or is given,
    // nor in a service that needs none.
    virtual void AskConsentAgain() = 0;

    // Whether events carry "be:device": the X server's devices do, a
    // desktop's screen sharing gives none.
    virtual bool TellsDevicesApart() const = 0;
    // The names of the pointing devices as they stand now, in the system's
    // order, each once.
    virtual std::vector<std::string> DeviceNames() const = 0;
    // Whether the device `id` (a "be:device" value) is named `name` now. A
    // device unplugged and plugged in again may come back under another id,
    // which answers the same. Allocates nothing.
    virtual bool DeviceIsNamed(int32 id, std::string_view name) const = 0;
};
