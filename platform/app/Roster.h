#pragma once

// BRoster: starts applications on the user's behalf. A link is handed to the
// desktop's preferred handler for its kind ("text/html" for web pages,
// "text/x-email" for e-mail) through xdg-open, started directly (never
// through a shell) and not waited for; the platform reaps it when it ends.
//
// Thread rules: any thread. SetSpawnFunction is for tests and must not race
// with Launch.

#include "platform/support/SupportDefs.h"

#include <functional>
#include <string>
#include <vector>

using team_id = int32;

class BRoster {
public:
    // Starts the process `argv` (argv[0] looked up in PATH), sets *team to
    // its process id and returns B_OK, or returns an error.
    using SpawnFunction = std::function<status_t(const std::vector<std::string>& argv, team_id* team)>;

    // Hands args[0] to the preferred handler of `mimeType`. B_BAD_VALUE for
    // a MIME type that has none, an argument count other than 1, or an
    // argument that is empty or starts with '-' (the handler would read it
    // as an option); nothing is started then.
    status_t Launch(const char* mimeType, int argc, const char* const* args, team_id* team = nullptr) const;

    // Replaces how processes are started; null restores posix_spawnp.
    // Returns the function in use before.
    static SpawnFunction SetSpawnFunction(SpawnFunction spawn);
};
