#pragma once

// BoundedFile: the whole content of a file the program reads back by
// itself (its settings, presets, pictures), read at once and checked on the
// way. Only a regular file is read: a FIFO, a device or a folder is refused
// before it is opened, so that nothing can wait for a writer that never
// comes or read without end; the open does not block either, for a file
// swapped for a FIFO in between. A file larger than the limit of its use is
// refused too, and no more than the limit and one byte is ever held.
//
// Thread rules: one thread at a time; the abandon flag may be set from any
// thread, and the read then ends after the chunk under way.

#include "platform/support/SupportDefs.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

class BoundedFile {
public:
    // Reads `path`, its bytes taken as they are (no name encoding is
    // assumed), at most `limit` bytes. With `abandoned`, the read stops
    // when it is set.
    BoundedFile(const char* path, size_t limit, const std::atomic<bool>* abandoned = nullptr);

    // B_OK; B_ENTRY_NOT_FOUND; B_NOT_ALLOWED; B_BAD_VALUE when it is no
    // regular file; B_BAD_DATA when it is larger than the limit; B_IO_ERROR
    // when reading failed; B_ERROR when the read was abandoned.
    status_t InitCheck() const { return fStatus; }
    // Why it was not read, as a clause about the file: "it is a folder".
    const std::string& Why() const { return fWhy; }
    // The content, when InitCheck is B_OK.
    const std::vector<char>& Bytes() const { return fBytes; }

private:
    status_t Fail(status_t status, std::string why);
    status_t Read(const char* path, size_t limit, const std::atomic<bool>* abandoned);

    std::vector<char> fBytes;
    std::string fWhy;
    status_t fStatus = B_NO_INIT;
};
