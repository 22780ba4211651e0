#include "app/zbApp.h"
#include "platform/display/DesktopDisplay.h"

int main()
{
    // Without an X server there is no screen to show the window on and no
    // pointer to follow; the platform has said why on standard error.
    if (open_desktop_display() != B_OK)
        return 1;
    zbApp app;
    app.Run();
    return 0;
}
