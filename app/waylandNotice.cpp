#include "app/waylandNotice.h"

#include "platform/interface/Window.h"

namespace {

// Blue, as the about window's links are, so that it reads as something to click.
constexpr rgb_color kOfferColour { 20, 20, 200, 255 };

} // namespace

waylandNotice::waylandNotice(BRect frame, uint32 command, bool waitForConsent)
    : BStringView(frame, "wayland notice",
        waitForConsent ? "" : "Wayland: the whole screen cannot be followed. Open Picture\u2026",
        B_FOLLOW_LEFT | B_FOLLOW_BOTTOM, B_WILL_DRAW)
    , command(command)
{
    SetHighColor(kOfferColour);
}

void waylandNotice::MouseUp(BPoint /*where*/)
{
    Window()->PostMessage(command);
}
