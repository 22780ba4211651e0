#pragma once

#include "platform/storage/Entry.h"

#include <string>

// What the platform knows of a running application.
struct app_info {
    std::string signature;
    entry_ref ref; // the application's executable file
};
