#include "platform/storage/Directory.h"

#include "platform/storage/StorageErrors.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

BDirectory::BDirectory(const char* path)
{
    SetTo(path);
}

status_t BDirectory::SetTo(const char* path)
{
    fPath.clear();
    fNames.clear();
    fNext = 0;
    if (path == nullptr || *path == '\0')
        return fStatus = B_BAD_VALUE;
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(path), ::closedir);
    if (!folder)
        return fStatus = StatusFromErrno(errno);
    while (const dirent* entry = ::readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            fNames.push_back(name);
    }
    std::sort(fNames.begin(), fNames.end());
    fPath = path;
    return fStatus = B_OK;
}

int32 BDirectory::CountEntries() const
{
    return fStatus == B_OK ? int32(fNames.size()) : fStatus;
}

status_t BDirectory::GetNextRef(entry_ref* ref)
{
    if (fStatus != B_OK)
        return fStatus;
    if (ref == nullptr)
        return B_BAD_VALUE;
    if (fNext >= fNames.size())
        return B_ENTRY_NOT_FOUND;
    *ref = entry_ref(fPath, fNames[fNext++]);
    return B_OK;
}

status_t BDirectory::Rewind()
{
    fNext = 0;
    return fStatus;
}

status_t create_directory(const char* path, mode_t mode)
{
    if (path == nullptr || *path == '\0')
        return B_BAD_VALUE;
    const std::string full = path;
    // Every prefix that ends before a slash, then the whole path.
    for (size_t end = full.find('/', 1);; end = full.find('/', end + 1)) {
        const std::string folder = full.substr(0, end);
        if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST)
            return StatusFromErrno(errno);
        if (end == std::string::npos)
            break;
    }
    struct stat info { };
    if (::stat(path, &info) != 0)
        return StatusFromErrno(errno);
    return S_ISDIR(info.st_mode) ? B_OK : B_NOT_ALLOWED;
}
