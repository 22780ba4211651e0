#pragma once

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
