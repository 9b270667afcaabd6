#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "SerialLib/Serial/posix/PortLayer.h"

// A port layer in memory, for what a pseudo-terminal cannot show: any data bits
// and parity read back, error bits, failures of single platform calls, and event
// waits completed with bits chosen by the test. One FakeDevice plays one device.
struct FakeDevice {
    std::mutex mutex;
    std::condition_variable changed;

    // Driver state.
    DCB dcb{kDcbLength, 9600, 0,        0,          0, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0,
            0,          8,    NOPARITY, ONESTOPBIT, 0};
    COMMTIMEOUTS timeouts;
    uint32_t mask = 0;
    uint32_t errorBits = 0;  // handed out (and cleared) by the next error query
    bool open = false;

    // Results the calls give (0 = success).
    int32_t openResult = 0;
    int32_t setupQueuesResult = 0;
    int32_t getStateResult = 0;
    int32_t setStateResult = 0;
    int32_t setMaskResult = 0;
    int32_t defaultConfigResult = 0;
    int32_t setConfigResult = 0;
    int32_t clearErrorResult = 0;

    // What the calls saw.
    std::vector<std::pair<uint32_t, uint32_t>> setupQueuesCalls;
    int setStateCalls = 0;

    // The pending event wait, if any.
    COverlapped* waitOvl = nullptr;
    uint32_t* waitEvents = nullptr;

    // Waits until an event wait is pending; false after `timeoutMs`.
    bool WaitForPendingWait(int timeoutMs);
    // Completes the pending wait with `bits` (the bits may lie outside the mask).
    void FireEvent(uint32_t bits);
};

class FakePortLayer final : public IPortLayer {
  public:
    explicit FakePortLayer(FakeDevice& device) : m_device(device) {}
    int32_t Open(const char* device, bool overlapped, std::unique_ptr<IPort>& port) override;
    int32_t GetDefaultConfig(const char* device, COMMCONFIG& config, uint32_t& size) override;

  private:
    FakeDevice& m_device;
};
