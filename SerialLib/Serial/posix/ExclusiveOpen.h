#pragma once

#include <cstdint>

#include "SerialLib/Serial/posix/UniqueFd.h"

// Opens the serial device at `path` for this process alone, as every port of the
// tool is opened: open(O_RDWR|O_NOCTTY|O_NONBLOCK), then an exclusive flock (which
// holds against root too) and TIOCEXCL. A device held elsewhere, also by this
// process, fails with EBUSY; something that is no terminal with ENOTTY. Returns 0
// with `fd` holding the device, or the errno.
int32_t OpenExclusive(const char* path, UniqueFd& fd);
