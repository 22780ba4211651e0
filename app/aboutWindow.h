#pragma once

#include "platform/interface/Window.h"

// The about window: the product line and the author's two links.
class aboutWindow : public BWindow {
public:
    aboutWindow(BRect frame, const char* title);
    ~aboutWindow() override;

    bool QuitRequested() override;
};
