#pragma once

#include <cstdint>
#include <string>

// A status with where its number comes from. The library's own codes (Types.h) and
// the host's errno values share small numbers (1 is ERROR_INVALID_FUNCTION and EPERM,
// 6 ERROR_INVALID_HANDLE and ENXIO): the number stays, the origin says how to read it.
struct PortStatus {
    int32_t code = 0;
    bool fromHost = false;

    static PortStatus Own(int32_t code) { return {code, false}; }
    static PortStatus Host(int32_t error) { return {error, error != 0}; }
};

// What went wrong in the library's terms, and in words.
enum class PortErrorKind {
    None,
    NoDevice,
    NoPermission,
    Busy,
    NotSerialPort,
    DeviceGone,
    NotOpen,
    Other
};
struct PortError {
    PortErrorKind kind = PortErrorKind::None;
    std::string text;
};

// The one map from a host error (errno) to the library's kinds and texts.
PortError HostError(int error);
// A status of either origin in the library's kinds and texts.
PortError DescribeStatus(PortStatus status);
// The errno of a failed flock(LOCK_NB), a lock held elsewhere (EWOULDBLOCK) given as
// EBUSY: EWOULDBLOCK keeps its own meaning (a thread that could not be started).
int LockFailure(int error);
