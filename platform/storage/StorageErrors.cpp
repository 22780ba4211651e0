#include "platform/storage/StorageErrors.h"

#include <cerrno>

status_t StatusFromErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR: return B_ENTRY_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return B_NOT_ALLOWED;
    case EISDIR:
    case EINVAL:
    case ENAMETOOLONG: return B_BAD_VALUE;
    case EEXIST: return B_NOT_ALLOWED;
    case ENOMEM: return B_NO_MEMORY;
    default: return B_IO_ERROR;
    }
}
