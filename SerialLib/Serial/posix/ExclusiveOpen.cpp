#include "SerialLib/Serial/posix/ExclusiveOpen.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "SerialLib/Serial/PortError.h"

int32_t OpenExclusive(const char* path, UniqueFd& fd) {
    UniqueFd opened(::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!opened.Valid()) {
        return errno;
    }
    if (!::isatty(opened.Get())) {
        return ENOTTY;
    }
    if (::flock(opened.Get(), LOCK_EX | LOCK_NB) != 0 || ::ioctl(opened.Get(), TIOCEXCL) != 0) {
        return LockFailure(errno);
    }
    fd = std::move(opened);
    return 0;
}
