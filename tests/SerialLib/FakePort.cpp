#include "FakePort.h"

#include <chrono>

namespace {

void CompleteWait(FakeDevice& d, uint32_t bits, int32_t status) {
    *d.waitEvents = bits;
    CEvent* done = d.waitOvl->hEvent;
    d.waitOvl->Internal.store(static_cast<uint32_t>(status));
    d.waitOvl = nullptr;
    d.waitEvents = nullptr;
    if (done) {
        done->Set();
    }
}

class FakePort final : public IPort {
  public:
    explicit FakePort(FakeDevice& device) : m_d(device) {}
    ~FakePort() override { Close(); }

    void Close() override {
        std::lock_guard lock(m_d.mutex);
        if (m_d.waitOvl) {
            CompleteWait(m_d, 0, ERROR_OPERATION_ABORTED);
        }
        m_d.open = false;
    }
    int32_t SetupQueues(uint32_t in, uint32_t out) override {
        std::lock_guard lock(m_d.mutex);
        m_d.setupQueuesCalls.emplace_back(in, out);
        return m_d.setupQueuesResult;
    }
    int32_t SetConfig(const COMMCONFIG& config, uint32_t) override {
        std::lock_guard lock(m_d.mutex);
        if (m_d.setConfigResult == 0) {
            m_d.dcb = config.dcb;
        }
        return m_d.setConfigResult;
    }
    int32_t GetState(DCB& dcb) override {
        std::lock_guard lock(m_d.mutex);
        if (m_d.getStateResult == 0) {
            dcb = m_d.dcb;
        }
        return m_d.getStateResult;
    }
    int32_t SetState(const DCB& dcb) override {
        std::lock_guard lock(m_d.mutex);
        ++m_d.setStateCalls;
        if (m_d.setStateResult == 0) {
            m_d.dcb = dcb;
        }
        return m_d.setStateResult;
    }
    int32_t GetTimeouts(COMMTIMEOUTS& timeouts) override {
        std::lock_guard lock(m_d.mutex);
        timeouts = m_d.timeouts;
        return 0;
    }
    int32_t SetTimeouts(const COMMTIMEOUTS& timeouts) override {
        std::lock_guard lock(m_d.mutex);
        m_d.timeouts = timeouts;
        return 0;
    }
    int32_t SetMask(uint32_t mask) override {
        std::lock_guard lock(m_d.mutex);
        if (m_d.setMaskResult != 0) {
            return m_d.setMaskResult;
        }
        m_d.mask = mask;
        if (m_d.waitOvl) {
            CompleteWait(m_d, 0, 0);
        }
        return 0;
    }
    int32_t WaitEvent(uint32_t* events, COverlapped* ovl) override {
        if (!ovl) {
            return ERROR_INVALID_FUNCTION;  // the fake serves overlapped ports only
        }
        {
            std::lock_guard lock(m_d.mutex);
            if (ovl->hEvent) {
                ovl->hEvent->Reset();
            }
            ovl->Internal.store(STATUS_PENDING);
            m_d.waitOvl = ovl;
            m_d.waitEvents = events;
        }
        m_d.changed.notify_all();
        return ERROR_IO_PENDING;
    }
    int32_t Read(void*, size_t, uint32_t* count, COverlapped*) override {
        *count = 0;
        return 0;
    }
    int32_t Write(const void*, size_t len, uint32_t* count, COverlapped*) override {
        *count = static_cast<uint32_t>(len);
        return 0;
    }
    int32_t Cancel(COverlapped* ovl) override {
        std::lock_guard lock(m_d.mutex);
        if (m_d.waitOvl == ovl) {
            CompleteWait(m_d, 0, ERROR_OPERATION_ABORTED);
        }
        return 0;
    }
    int32_t ClearError(uint32_t* errors) override {
        std::lock_guard lock(m_d.mutex);
        *errors = m_d.clearErrorResult == 0 ? m_d.errorBits : 0;
        m_d.errorBits = 0;
        return m_d.clearErrorResult;
    }

  private:
    FakeDevice& m_d;
};

}  // namespace

bool FakeDevice::WaitForPendingWait(int timeoutMs) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [this] { return waitOvl != nullptr; });
}

void FakeDevice::FireEvent(uint32_t bits) {
    std::lock_guard lock(mutex);
    if (waitOvl) {
        CompleteWait(*this, bits, 0);
    }
}

int32_t FakePortLayer::Open(const char*, bool, std::unique_ptr<IPort>& port) {
    std::lock_guard lock(m_device.mutex);
    if (m_device.openResult != 0) {
        return m_device.openResult;
    }
    if (m_device.open) {
        return EBUSY;
    }
    m_device.open = true;
    port = std::make_unique<FakePort>(m_device);
    return 0;
}

int32_t FakePortLayer::GetDefaultConfig(const char*, COMMCONFIG& config, uint32_t& size) {
    std::lock_guard lock(m_device.mutex);
    if (m_device.defaultConfigResult == 0) {
        config.dcb = m_device.dcb;
        size = kCommConfigSize;
    }
    return m_device.defaultConfigResult;
}
