#pragma once

#include "platform/support/SupportDefs.h"

// The platform status that stands for a system call's errno value.
status_t StatusFromErrno(int error);
