#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

// The receive queue: a 512-byte ring filled by the window thread and emptied by
// the worker. It holds at most 511 unread bytes; bytes that arrive when it is
// full are dropped (and counted) rather than overwriting unread ones. Each
// operation holds a short lock, so they are atomic with respect to each other.
class RxBuffer {
  public:
    static constexpr int kSize = 512;

    void Clear();
    // Queues n bytes in order; returns how many fitted.
    int Append(const uint8_t* src, int n);
    // Queues a chunk read from the port; true when the worker should be woken for it:
    // the first bytes after WakeOnFirstData, a CR, or a queue half full. Waking it for
    // every other byte of a line only costs time.
    bool Deliver(const uint8_t* chunk, int n);
    // Whether the next chunk wakes the worker whatever it holds.
    void WakeOnFirstData(bool wake) { m_wakeOnFirstData = wake; }
    // Moves every queued byte to dst, at most `capacity` of them; returns the count.
    // Bytes that do not fit stay queued.
    int TakeAll(uint8_t* dst, int capacity);
    // Bytes dropped since the last Clear because the ring was full.
    int Dropped() const;
    // Bytes waiting to be taken.
    int Queued() const;

  private:
    mutable std::mutex m_mutex;
    uint8_t m_data[kSize] = {};
    int32_t m_readPos = 0;
    int32_t m_writePos = 0;
    int m_dropped = 0;
    std::atomic<bool> m_wakeOnFirstData{false};
};
