#include "platform/storage/Entry.h"

std::string entry_ref::Path() const
{
    if (name.empty())
        return directory;
    if (directory.empty() || directory.back() == '/')
        return directory + name;
    return directory + "/" + name;
}
