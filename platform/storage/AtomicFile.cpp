#include "platform/storage/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// Retries a system call that a signal interrupted.
template <typename Call> auto Retrying(Call call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

int WriteAll(int descriptor, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t done = Retrying([&] { return ::write(descriptor, data, size); });
        if (done < 0)
            return errno;
        if (done == 0)
            return EIO;
        data += done;
        size -= size_t(done);
    }
    return 0;
}

// Creates a fresh temporary file beside `path`; its permissions are those a
// new file of the process gets (0666 less the umask), as for the target.
int CreateTemporary(const std::string& path, std::string* temporary)
{
    static std::atomic<unsigned> counter { 0 };
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporary
            = folder + "." + leaf + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        const int descriptor = Retrying(
            [&] { return ::open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
        if (descriptor >= 0 || errno != EEXIST)
            return descriptor;
    }
    errno = EEXIST;
    return -1;
}

// Makes a rename in `path`'s folder survive a power cut. Best effort: a
// folder that cannot be flushed does not undo the rename.
void SyncFolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int descriptor
        = Retrying([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (descriptor < 0)
        return;
    ::fsync(descriptor);
    ::close(descriptor);
}

} // namespace

int ReplaceFileContents(const char* path, const void* data, size_t size)
{
    if (path == nullptr || *path == '\0' || (data == nullptr && size > 0))
        return EINVAL;
    const std::string target = path;
    if (target.back() == '/')
        return EISDIR;
    std::string temporary;
    const int descriptor = CreateTemporary(target, &temporary);
    if (descriptor < 0)
        return errno;
    int error = WriteAll(descriptor, static_cast<const char*>(data), size);
    if (error == 0 && ::fsync(descriptor) != 0)
        error = errno;
    if (::close(descriptor) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    SyncFolderOf(target);
    return 0;
}
