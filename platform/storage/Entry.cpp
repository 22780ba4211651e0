#include "platform/storage/Entry.h"

#include "platform/storage/StorageErrors.h"

#include <cerrno>
#include <sys/stat.h>

std::string entry_ref::Path() const
{
    if (name.empty())
        return directory;
    if (directory.empty() || directory.back() == '/')
        return directory + name;
    return directory + "/" + name;
}

BEntry::BEntry(const entry_ref* ref)
{
    struct stat info { };
    if (ref == nullptr)
        fStatus = B_BAD_VALUE;
    else if (::stat(ref->Path().c_str(), &info) != 0)
        fStatus = StatusFromErrno(errno);
    else {
        fStatus = B_OK;
        fIsFile = S_ISREG(info.st_mode);
    }
}
