#pragma once

#include "platform/interface/StringView.h"

// The main window's line under the panel on a Wayland desktop, where the
// whole screen cannot be followed. It offers the canvas instead: a click
// asks the window to open a picture.
class waylandNotice : public BStringView {
public:
    // `frame` is the line's place in the window; clicks post `command`
    // to the window.
    waylandNotice(BRect frame, uint32 command);

    void MouseUp(BPoint where) override;

private:
    uint32 command;
};
