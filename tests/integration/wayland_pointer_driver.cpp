// A pointer for a compositor that has no input devices: one
// zwlr_virtual_pointer_v1 on a wlroots compositor (sway), or KWin's
// org_kde_kwin_fake_input, alive as long as the driver, moved by commands on
// standard input, one per line:
//   move X Y   puts the pointer at (X, Y) of the layout
//   press      presses the left button
//   release    releases it
// Each command is answered with "ok" on standard output once the
// compositor has taken it (a round trip); anything else ends the driver
// with status 1 and the reason on standard error. End of input ends it.
//
//   wayland_pointer_driver WIDTH HEIGHT   (the layout's extent)
//
// One pointer for the whole run, because a virtual pointer that goes at
// once leaves the compositor's surfaces without pointer events.

#include "fake-input-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

namespace {

constexpr uint32_t kLeftButton = 0x110; // BTN_LEFT in linux/input-event-codes.h

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    org_kde_kwin_fake_input* fakeInput = nullptr;
};

void Announced(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals->seat == nullptr)
        globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        globals->pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 3)
        // Version 3 brought absolute motion.
        globals->fakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 3));
}

void Withdrawn(void*, wl_registry*, uint32_t) { }

const wl_registry_listener kRegistryListener { Announced, Withdrawn };

uint32_t Milliseconds()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int Fail(const std::string& why)
{
    std::fprintf(stderr, "wayland_pointer_driver: %s\n", why.c_str());
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3)
        return Fail("usage: wayland_pointer_driver WIDTH HEIGHT");
    const auto width = uint32_t(std::atoi(argv[1]));
    const auto height = uint32_t(std::atoi(argv[2]));
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr)
        return Fail("cannot connect to the Wayland compositor (WAYLAND_DISPLAY)");
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    if (globals.pointers == nullptr && globals.fakeInput == nullptr)
        return Fail("the compositor offers neither zwlr_virtual_pointer_manager_v1 nor org_kde_kwin_fake_input 3");
    zwlr_virtual_pointer_v1* pointer = globals.pointers
        ? zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.pointers, globals.seat)
        : nullptr;
    if (pointer == nullptr)
        org_kde_kwin_fake_input_authenticate(globals.fakeInput, "Zimbrel's tests", "to play the test's pointer");

    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "move") {
            uint32_t x = 0;
            uint32_t y = 0;
            if (!(words >> x >> y))
                return Fail("move needs X and Y: " + line);
            if (pointer)
                zwlr_virtual_pointer_v1_motion_absolute(pointer, Milliseconds(), x, y, width, height);
            else
                org_kde_kwin_fake_input_pointer_motion_absolute(
                    globals.fakeInput, wl_fixed_from_int(int(x)), wl_fixed_from_int(int(y)));
        } else if (command == "press" || command == "release") {
            const uint32_t state
                = command == "press" ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED;
            if (pointer)
                zwlr_virtual_pointer_v1_button(pointer, Milliseconds(), kLeftButton, state);
            else
                org_kde_kwin_fake_input_button(globals.fakeInput, kLeftButton, state);
        } else {
            return Fail("unknown command: " + line);
        }
        if (pointer)
            zwlr_virtual_pointer_v1_frame(pointer);
        if (wl_display_roundtrip(display) < 0)
            return Fail("the compositor went away");
        std::printf("ok\n");
        std::fflush(stdout);
    }
    if (pointer)
        zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_disconnect(display);
    return 0;
}
