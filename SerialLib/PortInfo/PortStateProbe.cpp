#include "SerialLib/PortInfo/PortStateProbe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "SerialLib/Serial/PortError.h"

// The list's grain of the library's error kinds.
PortAvailability AvailabilityForError(int error) {
    const PortError failure = HostError(error);
    switch (failure.kind) {
        case PortErrorKind::NoPermission:
            return {PortState::NoPermission, {}};
        case PortErrorKind::Busy:  // locked by another program
            return {PortState::Busy, {}};
        default:
            return {PortState::Unavailable, failure.text};
    }
}

PortAvailability ProbePortState(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return AvailabilityForError(errno);
    }
    // The port library holds an open port with an exclusive lock, as do most
    // terminal programs; a lock held elsewhere means the port is busy.
    PortAvailability availability;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        availability = AvailabilityForError(LockFailure(errno));
    }
    ::close(fd);
    return availability;
}
