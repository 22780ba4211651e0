#include "platform/app/Roster.h"

#include "platform/support/ThreadName.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

// The MIME types whose preferred handler the desktop knows through
// xdg-open, which picks the browser or mail program from the link itself.
constexpr const char* kLinkTypes[] = { "text/html", "text/x-email" };
constexpr const char* kOpener = "xdg-open";

status_t SpawnDetached(const std::vector<std::string>& argv, team_id* team)
{
    std::vector<char*> pointers;
    for (const std::string& argument : argv)
        pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);

    pid_t child = 0;
    const int error = posix_spawnp(&child, pointers[0], nullptr, nullptr, pointers.data(), environ);
    if (error != 0) {
        std::fprintf(stderr, "zimbrel: cannot start %s: %s\n", pointers[0], std::strerror(error));
        return error == ENOENT ? B_ENTRY_NOT_FOUND : B_ERROR;
    }
    // Nobody waits for the handler, but it must not linger as a zombie.
    std::thread([child] {
        NameCurrentThread("launch-wait");
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) { }
    }).detach();
    *team = team_id(child);
    return B_OK;
}

BRoster::SpawnFunction& Spawner()
{
    static BRoster::SpawnFunction spawn = SpawnDetached;
    return spawn;
}

bool IsLinkType(const char* mimeType)
{
    for (const char* type : kLinkTypes)
        if (std::strcmp(type, mimeType) == 0)
            return true;
    return false;
}

} // namespace

status_t BRoster::Launch(const char* mimeType, int argc, const char* const* args, team_id* team) const
{
    if (mimeType == nullptr || !IsLinkType(mimeType) || argc != 1 || args == nullptr || args[0] == nullptr
        || args[0][0] == '\0' || args[0][0] == '-')
        return B_BAD_VALUE;
    team_id started = -1;
    const status_t status = Spawner()({ kOpener, args[0] }, &started);
    if (status == B_OK && team != nullptr)
        *team = started;
    return status;
}

BRoster::SpawnFunction BRoster::SetSpawnFunction(SpawnFunction spawn)
{
    SpawnFunction previous = Spawner();
    Spawner() = spawn ? std::move(spawn) : SpawnFunction(SpawnDetached);
    return previous;
}
