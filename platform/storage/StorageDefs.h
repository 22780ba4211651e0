#pragma once

#include "platform/support/SupportDefs.h"

// Open modes of files.
enum : uint32 {
    B_READ_ONLY = 0x0000,
    B_WRITE_ONLY = 0x0001,
    B_READ_WRITE = 0x0002,
    B_CREATE_FILE = 0x0200,
    B_FAIL_IF_EXISTS = 0x0800,
    B_ERASE_FILE = 0x0400,
    B_OPEN_AT_END = 0x0008,
};
