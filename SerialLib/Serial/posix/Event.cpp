#include "SerialLib/Serial/posix/Event.h"

#include <chrono>

#include "SerialLib/Serial/posix/Types.h"

// Notifies under the lock: a waiter may destroy the event as soon as it sees it
// signalled, so Set must not touch the event after releasing the mutex.
void CEvent::Set() {
    std::lock_guard lock(m_mutex);
    m_signalled = true;
    m_cond.notify_all();
}

void CEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_signalled = false;
}

bool CEvent::IsSet() const {
    std::lock_guard lock(m_mutex);
    return m_signalled;
}

uint32_t CEvent::Wait(uint32_t timeoutMs) {
    std::unique_lock lock(m_mutex);
    if (timeoutMs == INFINITE) {
        m_cond.wait(lock, [this] { return m_signalled; });
        return WAIT_OBJECT_0;
    }
    const bool signalled =
        m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_signalled; });
    return signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}
