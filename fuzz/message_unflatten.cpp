// Unflattening untrusted bytes: anything may come in, nothing may crash, and
// whatever is accepted reads back and flattens to exactly the same bytes.

#include "platform/app/Message.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BMessage message;
    if (message.Unflatten(reinterpret_cast<const char*>(data), ssize_t(size)) != B_OK)
        return 0;
    const std::vector<char> again = message.Flatten();
    if (again.size() != size || std::memcmp(again.data(), data, size) != 0) {
        std::fprintf(stderr, "an accepted message does not flatten back to its bytes\n");
        std::abort();
    }
    // Reading every field as the program would must be just as safe.
    static std::FILE* nowhere = std::fopen("/dev/null", "w");
    if (nowhere != nullptr)
        message.PrintToStream(nowhere);
    BMessage copy(message);
    copy.AddInt32("added", 1);
    BMessage back;
    const std::vector<char> bytes = copy.Flatten();
    if (back.Unflatten(bytes.data(), ssize_t(bytes.size())) != B_OK) {
        std::fprintf(stderr, "a message built from an accepted one does not read back\n");
        std::abort();
    }
    return 0;
}
