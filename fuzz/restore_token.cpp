// Reading the kept screen-sharing token from untrusted bytes: nothing may
// crash, a refusal says why and gives no token, and a token that is taken
// is one the session bus can carry (printable ASCII, no spaces) and keeps
// as it is when written back and read again.

#include "platform/input/portal/RestoreToken.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fault(const char* what)
{
    std::fprintf(stderr, "restore token: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string token;
    std::string why;
    if (!RestoreToken::Parse(reinterpret_cast<const char*>(data), size, &token, &why)) {
        if (!token.empty())
            Fault("a refused file gave a token");
        if (why.empty())
            Fault("a refused file gave no reason");
        return 0;
    }
    if (token.empty())
        Fault("an accepted file gave an empty token");
    for (const char c : token)
        if (c <= ' ' || c >= 0x7f)
            Fault("an accepted token holds a byte the bus may refuse");
    const std::string saved = token + "\n";
    std::string again;
    if (!RestoreToken::Parse(saved.data(), saved.size(), &again, &why) || again != token)
        Fault("an accepted token does not save and read again unchanged");
    return 0;
}
