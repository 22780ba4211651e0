#include "app/CommandLine.h"
#include "app/zbApp.h"
#include "platform/display/DesktopDisplay.h"
#include "platform/midi/MidiRoster.h"

#include <cstdio>
#include <cstdlib>

namespace {

// A session manager that started the program names it, and its MIDI client,
// before anything opens.
void JoinSessionManager(const char* executable, StartOptions* options)
{
    const char* url = std::getenv("NSM_URL");
    if (url == nullptr || *url == '\0')
        return;
    std::string why;
    std::unique_ptr<SessionClient> session
        = SessionClient::Join(url, "Zimbrel", executable, &options->sessionOpen, &why);
    if (!session) {
        std::fprintf(stderr, "Not under a session manager: %s; Zimbrel runs on its own.\n", why.c_str());
        return;
    }
    const char* clientId = options->sessionOpen.FindString("client id");
    std::fprintf(stderr, "Session manager %s: session \"%s\", MIDI client \"%s\", state in %s\n",
        session->ManagerName().c_str(), options->sessionOpen.FindString("display name"), clientId,
        options->sessionOpen.FindString("path"));
    BMidiRoster::SetClientName(clientId);
    options->session = std::move(session);
}

} // namespace

int main(int argc, char* argv[])
{
    StartOptions options;
    if (const std::optional<int> status = HandleCommandLine(argc, argv, &options))
        return *status;
    JoinSessionManager(argv[0], &options);
    // Without a Wayland compositor or an X server there is no screen to show
    // the window on; the platform has said why on standard error.
    if (open_desktop_display() != B_OK)
        return 1;
    zbApp app(options);
    app.Run();
    return 0;
}
