#pragma once

#include <string>

#include "SerialLib/PortInfo/PortInfo.h"

struct PortAvailability {
    PortState state = PortState::Usable;
    std::string detail;  // the error in words when the state is Unavailable
};

// Tells whether the device at `path` can be opened now, the way the port library
// opens it: a brief non-blocking open and an exclusive lock, both let go at once.
// Nothing is read, written or set on the line.
PortAvailability ProbePortState(const std::string& path);
