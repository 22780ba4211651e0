#pragma once

// Fixed-width integer names, status codes and the error values that the
// platform layer returns. Every status is an int32: B_OK or a negative error.

#include <cstddef>
#include <cstdint>

using int8 = std::int8_t;
using uint8 = std::uint8_t;
using int16 = std::int16_t;
using uint16 = std::uint16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;
using uchar = unsigned char;

using status_t = int32;
using bigtime_t = int64;
using type_code = uint32;

enum : status_t {
    B_OK = 0,
    B_ERROR = -1,
    B_NO_MEMORY = -2147483646,
    B_BAD_VALUE,
    B_BAD_TYPE,
    B_BAD_INDEX,
    B_NAME_NOT_FOUND,
    B_BAD_DATA,
    B_NO_INIT,
    B_BAD_PORT_ID,
    B_BAD_HANDLER,
    B_MISMATCHED_VALUES,
    B_ENTRY_NOT_FOUND,
    B_TIMED_OUT,
    B_BUSY,
    B_NOT_ALLOWED,
    B_UNSUPPORTED,
    B_IO_ERROR,
};
