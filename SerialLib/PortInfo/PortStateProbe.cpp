#include "SerialLib/PortInfo/PortStateProbe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

PortAvailability FromOpenError(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return {PortState::NoPermission, {}};
        case EBUSY:  // held with TIOCEXCL by another program
            return {PortState::Busy, {}};
        default:
            return {PortState::Unavailable, std::strerror(error)};
    }
}

}  // namespace

PortAvailability ProbePortState(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return FromOpenError(errno);
    }
    // The port library holds an open port with an exclusive lock, as do most
    // terminal programs; a lock held elsewhere means the port is busy.
    PortAvailability availability;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        availability = error == EWOULDBLOCK
                           ? PortAvailability{PortState::Busy, {}}
                           : PortAvailability{PortState::Unavailable, std::strerror(error)};
    }
    ::close(fd);
    return availability;
}
