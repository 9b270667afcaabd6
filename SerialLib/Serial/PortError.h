#pragma once

#include <cstdint>
#include <string>

// A status of the port library with where its number comes from. The library's
// own codes (Types.h) and the host's errno values share small numbers: 1 is both
// ERROR_INVALID_FUNCTION and EPERM, 6 both ERROR_INVALID_HANDLE and ENXIO. The
// number stays as it is; the origin says how to read it.
struct PortStatus {
    int32_t code = 0;
    bool fromHost = false;  // an errno as the host reported it

    static PortStatus Own(int32_t code) { return {code, false}; }
    static PortStatus Host(int32_t error) { return {error, error != 0}; }
};

// What went wrong, in the library's terms.
enum class PortErrorKind {
    None,
    NoDevice,  // nothing at the path, or no hardware behind it
    NoPermission,
    Busy,           // held by another program
    NotSerialPort,  // a file, FIFO or device that is no terminal
    DeviceGone,     // the device stopped answering (unplugged)
    NotOpen,        // the port object is closed
    Other,
};

struct PortError {
    PortErrorKind kind = PortErrorKind::None;
    std::string text;  // the host's words for its errors, the library's for its own
};

// The one map from a host error (errno) to the library's kinds and texts.
PortError HostError(int error);

// The errno of a failed flock(LOCK_NB): a lock held elsewhere (EWOULDBLOCK) is EBUSY,
// so EWOULDBLOCK keeps its own meaning (a thread that could not be started).
int LockFailure(int error);

// A status of either origin in the library's kinds and texts.
PortError DescribeStatus(PortStatus status);
