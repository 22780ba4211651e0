#include "platform/input/InputServices.h"

#include "platform/input/PointerBroadcaster.h"
#include "platform/input/ScreenChangeBroadcaster.h"
#include "platform/input/UnavailableScreen.h"
#include "platform/input/portal/CastScreen.h"
#include "platform/input/portal/PortalScreenCast.h"
#include "platform/input/x11/X11EventReader.h"
#include "platform/input/x11/X11KeyGrab.h"
#include "platform/input/x11/X11ScreenSource.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace {

std::atomic<const InputServices*> gOverride { nullptr };

bool IsSet(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// The machine's pointer and screen: on Wayland the desktop portal's screen
// cast when it gives the pointer's position, else the X server named by
// DISPLAY, or nothing at all.
class MachineInput {
public:
    MachineInput()
    {
        Connect();
        ScreenSource& screen = fScreenCast != nullptr ? static_cast<ScreenSource&>(fCastScreen)
            : fScreen != nullptr                       ? static_cast<ScreenSource&>(*fScreen)
                                                       : fNoScreen;
        fServices.emplace(InputServices { fPointer, fScreenChanges, screen,
            !IsSet("WAYLAND_DISPLAY") || fScreenCast != nullptr });
    }

    const InputServices& Services() const { return *fServices; }

private:
    void Connect()
    {
        const bool onWayland = IsSet("WAYLAND_DISPLAY");
        // Why the portal cannot follow the whole screen, said with what
        // comes instead.
        std::string noPortal;
        if (onWayland && FollowThroughPortal(&noPortal))
            return;
        if (!IsSet("DISPLAY")) {
            if (onWayland) {
                std::fprintf(stderr,
                    "zimbrel: Wayland session without Xwayland (DISPLAY is not set): Wayland shows no "
                    "program the pointer or other windows' pixels, and %s, so there is no pointer capture\n",
                    noPortal.c_str());
            } else {
                std::fputs("zimbrel: no X server (DISPLAY is not set): no pointer capture\n", stderr);
            }
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
            std::fprintf(stderr,
                "zimbrel: Wayland session through Xwayland: only pointer events over X11 windows can be "
                "seen, and only X11 windows' pixels read, because %s\n",
                noPortal.c_str());
        }
    }

    // The portal sees X11 windows under Xwayland too, so the X server is not
    // read beside it: a motion is never sent twice.
    bool FollowThroughPortal(std::string* why)
    {
        if (!PortalScreenCast::Offered(why))
            return false;
        std::fputs("zimbrel: Wayland session: the whole screen is followed through the desktop's ScreenCast "
                   "portal, which gives the pointer's position and the screen's pixels (not buttons or "
                   "pressure)\n",
            stderr);
        fScreenCast = std::make_unique<PortalScreenCast>(fPointer, fScreenChanges, fCastScreen);
        return true;
    }

    PointerBroadcaster fPointer;
    ScreenChangeBroadcaster fScreenChanges;
    UnavailableScreen fNoScreen;
    CastScreen fCastScreen;
    // Declared after what it feeds, so it stops first.
    std::unique_ptr<PortalScreenCast> fScreenCast;
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

std::unique_ptr<GlobalKeyGrab> InputServices::GrabPauseKey(const BMessenger& target)
{
    if (gOverride.load() != nullptr)
        return nullptr;
    if (IsSet("WAYLAND_DISPLAY")) {
        std::fputs("zimbrel: Wayland session: the Pause key pauses and resumes only while a Zimbrel window has "
                   "the focus, because Wayland hands no program the keys typed into other windows\n",
            stderr);
        return nullptr;
    }
    if (!IsSet("DISPLAY"))
        return nullptr; // already said: no X server
    std::string why;
    std::unique_ptr<X11KeyGrab> grab = X11KeyGrab::Grab(std::getenv("DISPLAY"), target, &why);
    if (grab == nullptr)
        std::fprintf(stderr, "zimbrel: the Pause key pauses and resumes only while a Zimbrel window has the focus: %s\n",
            why.c_str());
    return grab;
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
