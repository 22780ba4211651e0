#pragma once

// BDirectory: the entries of one folder, and create_directory.
//
// The entries are read once, when the folder is opened, and handed out in
// the bytewise order of their names: a folder's own order on Linux follows
// hashes that differ from one file system to the next. The folder's "." and
// ".." are no entries.
//
// Thread rules: one thread at a time.

#include "platform/storage/Entry.h"
#include "platform/support/SupportDefs.h"

#include <string>
#include <sys/types.h>
#include <vector>

class BDirectory {
public:
    BDirectory() = default;
    explicit BDirectory(const char* path);

    status_t SetTo(const char* path);
    status_t InitCheck() const { return fStatus; }

    int32 CountEntries() const;
    // The next entry, B_ENTRY_NOT_FOUND once every entry was given.
    status_t GetNextRef(entry_ref* ref);
    status_t Rewind();

private:
    std::string fPath;
    std::vector<std::string> fNames;
    size_t fNext = 0;
    status_t fStatus = B_NO_INIT;
};

// Creates the folder `path` with every missing folder above it, each with
// `mode` (less the process's umask). An existing folder is left as it is.
status_t create_directory(const char* path, mode_t mode);
