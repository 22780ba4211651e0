#include "app/zbApp.h"

#include "app/zbWindow.h"

zbApp::zbApp(const StartOptions& options) : BApplication("application/x-vnd.qim-zb2.5")
{
    zbWindow* window = new zbWindow(BRect(20, 20, 420, 330), "Zimbrel 2.01", options);
    // Under a session manager the window starts running hidden, and the
    // session's state says whether it shows.
    if (options.session)
        window->Hide();
    window->Show();
}
