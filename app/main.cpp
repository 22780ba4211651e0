#include "app/CommandLine.h"
#include "app/zbApp.h"
#include "platform/display/DesktopDisplay.h"

int main(int argc, char* argv[])
{
    StartOptions options;
    if (const std::optional<int> status = HandleCommandLine(argc, argv, &options))
        return *status;
    // Without a Wayland compositor or an X server there is no screen to show
    // the window on; the platform has said why on standard error.
    if (open_desktop_display() != B_OK)
        return 1;
    zbApp app(options);
    app.Run();
    return 0;
}
