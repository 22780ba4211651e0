#include "platform/storage/FindDirectory.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

std::string HomeDirectory()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return "/";
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

std::string UserSettingsDirectory()
{
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/')
        return WithoutTrailingSlashes(config);
    return WithoutTrailingSlashes(HomeDirectory()) + "/.config";
}
