#include "platform/input/InputServices.h"

#include "platform/input/PointerBroadcaster.h"
#include "platform/input/ScreenChangeBroadcaster.h"
#include "platform/input/UnavailableScreen.h"
#include "platform/input/x11/X11EventReader.h"
#include "platform/input/x11/X11ScreenSource.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

std::atomic<const InputServices*> gOverride { nullptr };

bool IsSet(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// The machine's pointer and screen: the X server named by DISPLAY, or
// nothing at all.
class MachineInput {
public:
    MachineInput()
    {
        Connect();
        fServices.emplace(InputServices { fPointer, fScreenChanges,
            fScreen != nullptr ? static_cast<ScreenSource&>(*fScreen) : fNoScreen,
            !IsSet("WAYLAND_DISPLAY") });
    }

    const InputServices& Services() const { return *fServices; }

private:
    void Connect()
    {
        const bool onWayland = IsSet("WAYLAND_DISPLAY");
        if (!IsSet("DISPLAY")) {
            std::fputs(onWayland ? "zimbrel: Wayland session without Xwayland (DISPLAY is not set): "
                                   "Wayland shows no program the pointer or other windows' pixels, "
                                   "so there is no pointer capture\n"
                                 : "zimbrel: no X server (DISPLAY is not set): no pointer capture\n",
                stderr);
            return;
        }
        const char* display = std::getenv("DISPLAY");
        fScreen = X11ScreenSource::Open(display);
        if (fScreen == nullptr) {
            std::fprintf(stderr,
                "zimbrel: cannot connect to the X server at DISPLAY=%s: no pointer capture\n", display);
            return;
        }
        fReader = std::make_unique<X11EventReader>(display, fPointer, fScreenChanges);
        if (onWayland && fReader->IsReadingPointer()) {
            std::fputs("zimbrel: Wayland session through Xwayland: only pointer events over X11 windows "
                       "can be seen, and only X11 windows' pixels read\n",
                stderr);
        }
    }

    PointerBroadcaster fPointer;
    ScreenChangeBroadcaster fScreenChanges;
    UnavailableScreen fNoScreen;
    std::unique_ptr<X11ScreenSource> fScreen;
    // Declared after the broadcasters it posts to, so it stops first.
    std::unique_ptr<X11EventReader> fReader;
    std::optional<InputServices> fServices;
};

const InputServices& InForce()
{
    if (const InputServices* services = gOverride.load())
        return *services;
    static MachineInput machine;
    return machine.Services();
}

} // namespace

void InputServices::Override(const InputServices* services)
{
    gOverride.store(services);
}

bool InputServices::FollowWholeDesktop()
{
    return InForce().wholeDesktop;
}

PointerService& PointerService::Instance()
{
    return InForce().pointer;
}

ScreenChangeNotifier& ScreenChangeNotifier::Instance()
{
    return InForce().screenChanges;
}

ScreenSource& ScreenSource::Instance()
{
    return InForce().screen;
}
