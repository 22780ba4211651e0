#include "platform/storage/File.h"

#include "platform/storage/StorageErrors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int OpenFlags(uint32 mode)
{
    // Opening a FIFO or a device would wait for a peer; only regular files
    // are kept open, and on those the flag changes nothing.
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (mode & 0x3) {
    case B_WRITE_ONLY: flags |= O_WRONLY; break;
    case B_READ_WRITE: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
    }
    if (mode & B_CREATE_FILE)
        flags |= O_CREAT;
    if (mode & B_FAIL_IF_EXISTS)
        flags |= O_EXCL;
    if (mode & B_ERASE_FILE)
        flags |= O_TRUNC;
    if (mode & B_OPEN_AT_END)
        flags |= O_APPEND;
    return flags;
}

} // namespace

BFile::BFile(const char* path, uint32 openMode)
{
    SetTo(path, openMode);
}

BFile::BFile(const entry_ref* ref, uint32 openMode)
{
    if (ref == nullptr)
        fStatus = B_BAD_VALUE;
    else
        SetTo(ref->Path().c_str(), openMode);
}

BFile::~BFile()
{
    Unset();
}

status_t BFile::SetTo(const char* path, uint32 openMode)
{
    Unset();
    if (path == nullptr || *path == '\0')
        return fStatus = B_BAD_VALUE;
    do {
        fDescriptor = ::open(path, OpenFlags(openMode), 0666);
    } while (fDescriptor < 0 && errno == EINTR);
    if (fDescriptor < 0)
        return fStatus = StatusFromErrno(errno);
    struct stat info { };
    if (::fstat(fDescriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    return fStatus = B_OK;
}

void BFile::Unset()
{
    if (fDescriptor >= 0)
        ::close(fDescriptor);
    fDescriptor = -1;
    fStatus = B_NO_INIT;
}

ssize_t BFile::Read(void* buffer, size_t size)
{
    if (fStatus != B_OK)
        return fStatus;
    ssize_t done;
    do {
        done = ::read(fDescriptor, buffer, size);
    } while (done < 0 && errno == EINTR);
    return done < 0 ? StatusFromErrno(errno) : done;
}

ssize_t BFile::Write(const void* buffer, size_t size)
{
    if (fStatus != B_OK)
        return fStatus;
    size_t written = 0;
    while (written < size) {
        const ssize_t done = ::write(fDescriptor, static_cast<const char*>(buffer) + written, size - written);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return written > 0 ? ssize_t(written) : StatusFromErrno(errno);
        written += size_t(done);
    }
    return ssize_t(written);
}

bool BFile::IsSameFileAs(const char* path) const
{
    struct stat mine { };
    struct stat other { };
    return fStatus == B_OK && path != nullptr && ::fstat(fDescriptor, &mine) == 0 && ::stat(path, &other) == 0
        && mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}
