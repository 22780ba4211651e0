#include "platform/storage/BoundedFile.h"

#include "platform/storage/StorageErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large enough to read a picture quickly, small enough that an abandoned
// read ends at once.
constexpr size_t kChunk = 256 * 1024;

// What a file that is not a regular one is, for the reason given.
std::string Kind(mode_t mode)
{
    if (S_ISDIR(mode))
        return "it is a folder, not a file";
    if (S_ISFIFO(mode))
        return "it is a FIFO, not a file";
    if (S_ISSOCK(mode))
        return "it is a socket, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device, not a file";
    return "it is not a regular file";
}

std::string ByteCount(unsigned long long count)
{
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

} // namespace

BoundedFile::BoundedFile(const char* path, size_t limit, const std::atomic<bool>* abandoned)
{
    fStatus = Read(path, limit, abandoned);
}

status_t BoundedFile::Fail(status_t status, std::string why)
{
    fBytes.clear();
    fBytes.shrink_to_fit();
    fWhy = std::move(why);
    return status;
}

status_t BoundedFile::Read(const char* path, size_t limit, const std::atomic<bool>* abandoned)
{
    if (path == nullptr || *path == '\0')
        return Fail(B_BAD_VALUE, "no file was named");
    const auto systemFailure = [this](int error, const char* doing) {
        const status_t status = StatusFromErrno(error);
        if (status == B_ENTRY_NOT_FOUND)
            return Fail(status, "it does not exist");
        if (status == B_NOT_ALLOWED)
            return Fail(status, std::string("it may not be read (") + std::strerror(error) + ")");
        return Fail(status, std::string("it cannot be ") + doing + " (" + std::strerror(error) + ")");
    };
    struct stat before { };
    if (::stat(path, &before) != 0)
        return systemFailure(errno, "opened");
    if (!S_ISREG(before.st_mode))
        return Fail(B_BAD_VALUE, Kind(before.st_mode));
    int descriptor;
    do {
        descriptor = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        return systemFailure(errno, "opened");
    struct Closer {
        int descriptor;
        ~Closer() { ::close(descriptor); }
    } closer { descriptor };
    struct stat info { };
    if (::fstat(descriptor, &info) != 0)
        return systemFailure(errno, "opened");
    if (!S_ISREG(info.st_mode))
        return Fail(B_BAD_VALUE, Kind(info.st_mode));
    if ((unsigned long long)info.st_size > limit)
        return Fail(B_BAD_DATA, "it is too large (" + ByteCount((unsigned long long)info.st_size) + ", at most "
            + std::to_string(limit) + ")");
    // One byte more than the limit tells a file that grew, or one whose
    // size the file system does not know (as in /proc), from one that fits.
    fBytes.reserve(std::min(limit, size_t(info.st_size)) + 1);
    for (;;) {
        if (abandoned != nullptr && abandoned->load())
            return Fail(B_ERROR, "its reading was abandoned");
        const size_t filled = fBytes.size();
        const size_t want = std::min(kChunk, limit + 1 - filled);
        fBytes.resize(filled + want);
        const ssize_t done = ::read(descriptor, fBytes.data() + filled, want);
        if (done < 0 && errno == EINTR) {
            fBytes.resize(filled);
            continue;
        }
        if (done < 0)
            return systemFailure(errno, "read");
        fBytes.resize(filled + size_t(done));
        if (done == 0)
            break;
        if (fBytes.size() > limit)
            return Fail(B_BAD_DATA, "it is too large (more than " + ByteCount(limit) + ")");
    }
    return B_OK;
}
