#pragma once

// BFile: an open regular file. Closed when destroyed.
// Thread rules: one thread at a time.

#include "platform/storage/Entry.h"
#include "platform/storage/StorageDefs.h"

#include <sys/types.h>

class BFile {
public:
    BFile() = default;
    BFile(const char* path, uint32 openMode);
    BFile(const entry_ref* ref, uint32 openMode);
    ~BFile();

    BFile(const BFile&) = delete;
    BFile& operator=(const BFile&) = delete;

    status_t SetTo(const char* path, uint32 openMode);
    status_t InitCheck() const { return fStatus; }
    void Unset();

    // Byte counts, or a negative status.
    ssize_t Read(void* buffer, size_t size);
    ssize_t Write(const void* buffer, size_t size);

    // True when this file and `path` are the same file on disk.
    bool IsSameFileAs(const char* path) const;

private:
    int fDescriptor = -1;
    status_t fStatus = B_NO_INIT;
};
