#pragma once

#include "platform/interface/StringView.h"

// The main window's line under the panel on a Wayland desktop, which says
// whether the whole screen can be followed. It offers the canvas: a click
// asks the window to open a picture.
class waylandNotice : public BStringView {
public:
    // `frame` is the line's place in the window; clicks post `command`
    // to the window. With `waitForConsent` the line stays empty until the
    // window sets what the desktop's screen sharing says; otherwise it says
    // that the whole screen cannot be followed.
    waylandNotice(BRect frame, uint32 command, bool waitForConsent);

    void MouseUp(BPoint where) override;

private:
    uint32 command;
};
