#pragma once

#include "app/CommandLine.h"
#include "platform/app/Application.h"

// The application object: it opens the main window with what the command
// line asked for.
class zbApp : public BApplication {
public:
    explicit zbApp(const StartOptions& options = {});
};
