#pragma once

#include "platform/app/Application.h"

// The application object: it opens the main window.
class zbApp : public BApplication {
public:
    zbApp();
};
