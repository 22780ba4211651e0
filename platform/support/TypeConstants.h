#pragma once

#include "platform/support/SupportDefs.h"

// Type codes of message fields, written as four characters.
enum : type_code {
    B_ANY_TYPE = 'ANYT',
    B_BOOL_TYPE = 'BOOL',
    B_DOUBLE_TYPE = 'DBLE',
    B_FLOAT_TYPE = 'FLOT',
    B_INT8_TYPE = 'BYTE',
    B_INT16_TYPE = 'SHRT',
    B_INT32_TYPE = 'LONG',
    B_INT64_TYPE = 'LLNG',
    B_POINT_TYPE = 'BPNT',
    B_RECT_TYPE = 'RECT',
    B_REF_TYPE = 'RREF',
    B_STRING_TYPE = 'CSTR',
    B_RAW_TYPE = 'RAWT',
};
