#pragma once

// The test's pointer on a Wayland compositor without input devices:
// wayland_pointer_driver (a virtual pointer on sway, fake input on KWin),
// alive for the whole test, each command answered once the compositor took
// it.

#include "tests/common/ChildProcess.h"

#include <map>
#include <string>

class WaylandPointer {
public:
    // False when the driver could not start; Error() says why.
    bool Start(int width, int height, const std::map<std::string, std::string>& environment = {})
    {
        return fDriver.Start({ ZIMBREL_WAYLAND_POINTER, std::to_string(width), std::to_string(height) }, environment);
    }

    bool MoveTo(int x, int y) { return Command("move " + std::to_string(x) + " " + std::to_string(y)); }
    bool ClickAt(int x, int y) { return MoveTo(x, y) && Command("press") && Command("release"); }

    std::string Error() const { return fDriver.Error() + fDriver.Errors(); }

private:
    bool Command(const std::string& command)
    {
        const size_t answered = Occurrences(fDriver.Output(), "ok\n");
        return fDriver.WriteInput(command + "\n")
            && WaitUntil([&] { return Occurrences(fDriver.Output(), "ok\n") > answered; }, std::chrono::seconds(5));
    }

    ChildProcess fDriver;
};
