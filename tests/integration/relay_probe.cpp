// The relay as the program runs it, in a process of its own, for tests that
// need a fresh choice of X server (none, unreachable, Xwayland, one that
// dies). It starts a target and the relay, says "probe: running" on standard
// error, and runs until its standard input closes; each line it reads asks
// it to wait for the first cursor data message and say whether it came. Then
// it asks the relay to quit and tells how many cursor data messages arrived.
// Exit status 0 when every looper quit in time, 2 when one hung.

#include "capture/VCursorRelay.h"
#include "platform/app/AppDefs.h"
#include "tests/capture/RecordingLooper.h"

#include <cstdio>
#include <unistd.h>

int main()
{
    auto* target = new RecordingLooper();
    target->Run();
    const BMessenger targetMessenger(target);
    auto* relay = new VCursorRelay(target);
    const BMessenger relayMessenger(relay);
    relay->Hide();
    relay->Show();
    std::fputs("probe: running\n", stderr);

    char command[64];
    while (read(0, command, sizeof command) > 0)
        std::fputs(target->WaitForCount(1) ? "probe: got cursor data\n" : "probe: no cursor data\n", stderr);

    relayMessenger.SendMessage(B_QUIT_REQUESTED);
    if (!BLooper::WaitForOtherLoopers(target, RecordingLooper::kPatience))
        return 2;
    std::fprintf(stderr, "probe: %zu cursor data messages\n", target->Count());
    targetMessenger.SendMessage(B_QUIT_REQUESTED);
    return BLooper::WaitForOtherLoopers(nullptr, RecordingLooper::kPatience) ? 0 : 2;
}
