#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "SerialLib/Serial/posix/Overlapped.h"
#include "SerialLib/Serial/posix/Types.h"

// The seam between the port class and the platform. Every operation returns 0 on
// success, ERROR_IO_PENDING when an overlapped operation was started and will
// complete later through its record, ERROR_OPERATION_ABORTED for an operation
// cancelled, ERROR_INVALID_HANDLE once the port is closed, and for every other
// failure the errno the host reported (Open gives 0 or an errno only).
//
// Transfers and waits given a record may complete at once (result 0, record marked
// completed, the caller signals the event) or be pending (result ERROR_IO_PENDING;
// the layer later fills the record and signals its event). Without a record they
// block until done.
class IPort {
  public:
    virtual ~IPort() = default;
    // Aborts every pending operation (ERROR_OPERATION_ABORTED) and releases the
    // device; afterwards every operation fails with ERROR_INVALID_HANDLE.
    virtual void Close() = 0;

    virtual int32_t SetupQueues(uint32_t inQueue, uint32_t outQueue) = 0;
    virtual int32_t SetConfig(const COMMCONFIG& config, uint32_t size) = 0;
    virtual int32_t GetState(DCB& dcb) = 0;
    virtual int32_t SetState(const DCB& dcb) = 0;
    virtual int32_t GetTimeouts(COMMTIMEOUTS& timeouts) = 0;
    virtual int32_t SetTimeouts(const COMMTIMEOUTS& timeouts) = 0;
    // Completes a pending event wait at once with no event bits.
    virtual int32_t SetMask(uint32_t mask) = 0;
    // `events` receives the delivered bits when the wait completes.
    virtual int32_t WaitEvent(uint32_t* events, COverlapped* ovl) = 0;
    virtual int32_t Read(void* buffer, size_t len, uint32_t* count, COverlapped* ovl) = 0;
    virtual int32_t Write(const void* data, size_t len, uint32_t* count, COverlapped* ovl) = 0;
    // Aborts the operation in flight on `ovl` (ERROR_OPERATION_ABORTED); once this
    // returns the layer no longer touches the record or its buffer.
    virtual int32_t Cancel(COverlapped* ovl) = 0;
    // CE_ bits that occurred since the last call.
    virtual int32_t ClearError(uint32_t* errors) = 0;

    // Like WaitEvent, for a thread that completes the wait itself through
    // AwaitCompletion: the layer need not watch the device for it meanwhile.
    virtual int32_t StartOwnWait(uint32_t* events, COverlapped* ovl) {
        return WaitEvent(events, ovl);
    }
    // Blocks until the operation on `ovl` has completed (0) or `timeoutMs` ran out
    // (WAIT_TIMEOUT, still pending). A layer may do the operation's work on the
    // calling thread, which saves a thread hand-off per completion.
    virtual uint32_t AwaitCompletion(COverlapped* ovl, uint32_t timeoutMs) {
        return ovl->hEvent->Wait(timeoutMs);
    }
};

class IPortLayer {
  public:
    virtual ~IPortLayer() = default;
    // Opens `device` exclusively; on success `port` holds it.
    virtual int32_t Open(const char* device, bool overlapped, std::unique_ptr<IPort>& port) = 0;
    virtual int32_t GetDefaultConfig(const char* device, COMMCONFIG& config, uint32_t& size) = 0;
};

// The POSIX termios layer, shared by every port object that is not given another.
IPortLayer& DefaultPortLayer();
