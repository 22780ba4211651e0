#include "platform/input/portal/RestoreToken.h"

#include "platform/storage/AtomicFile.h"
#include "platform/storage/BoundedFile.h"
#include "platform/storage/Directory.h"
#include "platform/storage/FindDirectory.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Portals hand out UUIDs (36 characters); room for any other scheme.
constexpr size_t kLongestToken = 256;

} // namespace

std::string RestoreToken::Path()
{
    return UserSettingsDirectory() + "/Zimbrel2 Screen Sharing";
}

bool RestoreToken::Parse(const char* data, size_t size, std::string* token, std::string* why)
{
    if (size > 0 && data[size - 1] == '\n')
        --size;
    if (size == 0) {
        *why = "it holds no token";
        return false;
    }
    if (size > kLongestToken) {
        *why = "it holds " + std::to_string(size) + " bytes, more than a token's " + std::to_string(kLongestToken);
        return false;
    }
    if (!std::all_of(data, data + size, [](char c) { return c > ' ' && c < 0x7f; })) {
        *why = "it holds other bytes than a token's printable characters";
        return false;
    }
    token->assign(data, size);
    return true;
}

std::string RestoreToken::Load()
{
    const BoundedFile file(Path().c_str(), kLongestToken + 1);
    if (file.InitCheck() == B_ENTRY_NOT_FOUND)
        return "";
    std::string token;
    std::string why;
    if (file.InitCheck() != B_OK)
        why = file.Why();
    else if (Parse(file.Bytes().data(), file.Bytes().size(), &token, &why))
        return token;
    Drop(why);
    return "";
}

void RestoreToken::Save(const std::string& token)
{
    // The settings folder itself may not exist yet on a fresh account.
    create_directory(UserSettingsDirectory().c_str(), 0777);
    const std::string path = Path();
    const std::string contents = token + "\n";
    if (const int error = ReplaceFileContents(path.c_str(), contents.data(), contents.size()); error != 0)
        std::fprintf(stderr,
            "zimbrel: cannot keep the screen-sharing permission in %s: %s; the desktop will ask again next "
            "time\n",
            path.c_str(), std::strerror(error));
}

void RestoreToken::Drop(const std::string& why)
{
    const std::string path = Path();
    if (::unlink(path.c_str()) == 0 || errno == ENOENT)
        std::fprintf(stderr, "zimbrel: the screen-sharing permission kept in %s is dropped (%s); the desktop is "
                             "asked afresh\n",
            path.c_str(), why.c_str());
    else
        std::fprintf(stderr, "zimbrel: the screen-sharing permission kept in %s is not used (%s), and cannot be "
                             "removed (%s); the desktop is asked afresh\n",
            path.c_str(), why.c_str(), std::strerror(errno));
}
