#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// A manual-reset event, created non-signalled. Set() wakes every waiter and the
// event stays signalled until Reset(). Thread-safe.
class CEvent {
  public:
    CEvent() = default;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // 0 once signalled, WAIT_TIMEOUT (0x102) when `timeoutMs` ran out first;
    // INFINITE waits without limit.
    uint32_t Wait(uint32_t timeoutMs);

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_signalled = false;
};
