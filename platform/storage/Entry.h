#pragma once

// entry_ref names an entry of a folder; BEntry says what the entry is.
//
// Thread rules: one thread at a time.

#include "platform/support/SupportDefs.h"

#include <string>

// Names one entry of a folder: the folder's absolute path and the entry's leaf
// name. The entry itself need not exist.
struct entry_ref {
    entry_ref() = default;
    entry_ref(std::string directory, std::string name)
        : directory(std::move(directory)), name(std::move(name))
    {
    }

    // "directory/name", or "" for an empty reference.
    std::string Path() const;

    bool operator==(const entry_ref&) const = default;

    std::string directory;
    std::string name;
};

// One entry as it is on disk now. A symbolic link is an entry of its own,
// not what it names: nothing is followed.
class BEntry {
public:
    explicit BEntry(const entry_ref* ref);

    // B_OK, or why the entry cannot be looked at (B_ENTRY_NOT_FOUND, ...).
    status_t InitCheck() const { return fStatus; }
    // A regular file, or a link to one (not a folder, FIFO, device or
    // socket, nor a link to one).
    bool IsFile() const { return fStatus == B_OK && fIsFile; }

private:
    status_t fStatus = B_NO_INIT;
    bool fIsFile = false;
};
