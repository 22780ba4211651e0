#include "platform/support/SupportDefs.h"

const char* strstatus(status_t status)
{
    switch (status) {
    case B_OK: return "no error";
    case B_ERROR: return "general error";
    case B_NO_MEMORY: return "out of memory";
    case B_BAD_VALUE: return "bad value";
    case B_BAD_TYPE: return "bad type";
    case B_BAD_INDEX: return "index out of range";
    case B_NAME_NOT_FOUND: return "name not found";
    case B_BAD_DATA: return "malformed data";
    case B_NO_INIT: return "not initialised";
    case B_BAD_PORT_ID: return "receiver is gone";
    case B_BAD_HANDLER: return "bad handler";
    case B_MISMATCHED_VALUES: return "mismatched values";
    case B_ENTRY_NOT_FOUND: return "entry not found";
    case B_TIMED_OUT: return "timed out";
    case B_BUSY: return "busy";
    case B_NOT_ALLOWED: return "not allowed";
    case B_UNSUPPORTED: return "unsupported";
    case B_IO_ERROR: return "input/output error";
    default: return "unknown error";
    }
}
