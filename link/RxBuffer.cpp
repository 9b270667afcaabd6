#include "link/RxBuffer.h"

#include <cstring>

#include "link/Commands.h"

namespace {
int32_t Next(int32_t pos) {
    return (pos + 1) % RxBuffer::kSize;
}
}  // namespace

void RxBuffer::Clear() {
    std::lock_guard lock(m_mutex);
    std::memset(m_data, 0, sizeof m_data);
    m_readPos = 0;
    m_writePos = 0;
    m_dropped = 0;
}

int RxBuffer::Append(const uint8_t* src, int n) {
    std::lock_guard lock(m_mutex);
    int stored = 0;
    for (int i = 0; i < n; ++i) {
        const int32_t next = Next(m_writePos);
        if (next == m_readPos) {
            // Full: keep the unread bytes, count the newcomer as lost.
            ++m_dropped;
            continue;
        }
        m_data[m_writePos] = src[i];
        m_writePos = next;
        ++stored;
    }
    return stored;
}

bool RxBuffer::Deliver(const uint8_t* chunk, int n) {
    if (n == 0) {
        return false;
    }
    Append(chunk, n);
    return m_wakeOnFirstData.exchange(false) ||
           std::memchr(chunk, kCr, static_cast<size_t>(n)) != nullptr || Queued() >= kSize / 2;
}

int RxBuffer::TakeAll(uint8_t* dst, int capacity) {
    std::lock_guard lock(m_mutex);
    int count = 0;
    while (m_readPos != m_writePos && count < capacity) {
        dst[count++] = m_data[m_readPos];
        m_readPos = Next(m_readPos);
    }
    return count;
}

int RxBuffer::Dropped() const {
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

int RxBuffer::Queued() const {
    std::lock_guard lock(m_mutex);
    return (m_writePos - m_readPos + kSize) % kSize;
}
