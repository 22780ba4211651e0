#pragma once

// A private D-Bus session bus for a test's desktop services, its address put
// into this process's DBUS_SESSION_BUS_ADDRESS for what it starts next.

#include "tests/common/ChildProcess.h"

#include <cstdlib>
#include <map>
#include <string>

// Starts the bus in `bus`; empty on success, else why it did not start.
// The session lasts while its command reads standard input: closing `bus`'s
// input ends it, and dbus-run-session then ends its bus daemon itself.
// Ending dbus-run-session with a signal would leave the daemon behind.
// `environment` goes to the services the bus starts, and not to this process.
inline std::string StartSessionBus(ChildProcess& bus, const std::map<std::string, std::string>& environment = {})
{
    if (!bus.Start({ "setpriv", "--pdeathsig", "TERM", "dbus-run-session", "--", "sh", "-c",
                       "echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec cat >/dev/null" },
            environment))
        return "cannot start dbus-run-session: " + bus.Error();
    if (!bus.WaitForOutput("\n", std::chrono::seconds(10)))
        return "dbus-run-session gave no bus address: " + bus.Errors();
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.Output().substr(0, bus.Output().find('\n')).c_str(), 1);
    return "";
}
