#pragma once

#include <string>

#include "SerialLib/PortInfo/PortInfo.h"

struct PortAvailability {
    PortState state = PortState::Usable;
    std::string detail;  // the error in words when the state is Unavailable
};

// What a failed open or lock (its errno) says of the port: no permission, busy
// (locked by another program), or unavailable with the error's words.
PortAvailability AvailabilityForError(int error);

// Tells whether the device at `path` can be opened now, the way the port library
// opens it: a brief non-blocking open and an exclusive lock, both let go at once.
// Nothing is read, written or set on the line.
PortAvailability ProbePortState(const std::string& path);
