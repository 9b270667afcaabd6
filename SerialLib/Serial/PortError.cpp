#include "SerialLib/Serial/PortError.h"

#include <cerrno>
#include <cstring>

#include "SerialLib/Serial/posix/Types.h"

namespace {

PortError OwnError(int32_t code) {
    switch (code) {
        case ERROR_INVALID_HANDLE:
            return {PortErrorKind::NotOpen, "the port is not open"};
        case ERROR_INVALID_FUNCTION:
            return {PortErrorKind::Other, "not possible on a port opened without overlapped I/O"};
        case ERROR_ALREADY_INITIALIZED:
            return {PortErrorKind::Other, "the port is already open"};
        case ERROR_TIMEOUT:
            return {PortErrorKind::Other, "timed out"};
        case ERROR_OPERATION_ABORTED:
            return {PortErrorKind::Other, "cancelled"};
        default:  // E_INVALIDARG, the last of the library's failure codes
            return {PortErrorKind::Other, "invalid argument"};
    }
}

PortErrorKind HostErrorKind(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return PortErrorKind::NoDevice;
        case EACCES:
        case EPERM:
            return PortErrorKind::NoPermission;
        case EBUSY:
            return PortErrorKind::Busy;
        case ENOTTY:
            return PortErrorKind::NotSerialPort;
        case EIO:
            return PortErrorKind::DeviceGone;
        default:
            return PortErrorKind::Other;
    }
}

}  // namespace

PortError HostError(int error) {
    const PortErrorKind kind = HostErrorKind(error);
    // The host's words for ENOTTY ("Inappropriate ioctl for device") mislead here.
    return {kind,
            kind == PortErrorKind::NotSerialPort ? "not a serial port" : std::strerror(error)};
}

PortError DescribeStatus(PortStatus status) {
    if (status.code == 0) {
        return {};
    }
    return status.fromHost ? HostError(status.code) : OwnError(status.code);
}

int LockFailure(int error) {
    return error == EWOULDBLOCK ? EBUSY : error;
}
