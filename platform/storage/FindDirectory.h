#pragma once

// Where the user's settings live: $XDG_CONFIG_HOME when it holds an
// absolute path, else ~/.config (the home folder from $HOME, or from the
// password database when $HOME is unset). No trailing slash.

#include <string>

std::string UserSettingsDirectory();
