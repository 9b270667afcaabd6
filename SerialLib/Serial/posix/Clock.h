#pragma once

#include <cstdint>

// Monotonic milliseconds since an arbitrary start; never goes backwards.
uint64_t MonotonicMs();

// The low 32 bits of MonotonicMs(), for code that keeps 32-bit millisecond stamps
// and compares them by unsigned difference.
uint32_t TimeGetTime();
