#pragma once

#include <atomic>
#include <cstdint>

#include "SerialLib/Serial/posix/Event.h"
#include "SerialLib/Serial/posix/Types.h"

// The record of one overlapped operation. The caller sets hEvent; the port layer
// resets that event when the operation starts and signals it when the operation
// completes. While the operation is in flight Internal is STATUS_PENDING; once it
// has completed Internal holds its status (0 = success) and InternalHigh the byte
// count. A zero-initialised record (`COverlapped ovl{}`) has no operation in flight.
// Copying a record copies its fields; only a record with no operation in flight
// may be overwritten.
struct COverlapped {
    COverlapped() = default;
    COverlapped(const COverlapped& other) { *this = other; }
    COverlapped& operator=(const COverlapped& other) {
        Internal.store(other.Internal.load());
        InternalHigh.store(other.InternalHigh.load());
        hEvent = other.hEvent;
        return *this;
    }

    std::atomic<uint32_t> Internal{0};
    std::atomic<uint32_t> InternalHigh{0};
    CEvent* hEvent = nullptr;
};

inline bool HasOverlappedIoCompleted(const COverlapped* ovl) {
    return ovl->Internal.load(std::memory_order_acquire) != STATUS_PENDING;
}
