#pragma once

#include "platform/app/Application.h"

#include <string>

// The application object: it opens the main window, and with it the canvas
// on `canvasPicture` when that is not empty.
class zbApp : public BApplication {
public:
    explicit zbApp(const std::string& canvasPicture = "");
};
