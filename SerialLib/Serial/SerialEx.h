#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "SerialLib/Serial/Serial.h"

// A port with a listener thread: from StartListener to StopListener the thread
// waits for port events and hands each one, with the error bits of that moment,
// to OnEvent (called on the listener thread). The listener waits the overlapped
// way, so the port is opened with fOverlapped.
//
// The stop cannot be missed: the listener tests m_fStopping again once its wait is
// pending, and StopListener re-applies the mask, which completes a pending wait.
// A class that implements OnEvent must close the port in its own destructor, so
// the listener never runs while the object is partly destroyed.
class CSerialEx : public CSerial {
  public:
    CSerialEx() = default;
    explicit CSerialEx(IPortLayer& layer) : CSerial(layer) {}
    ~CSerialEx() override;

    int32_t Close() override;
    virtual int32_t StartListener();
    // Waits for the listener to end. The listener always ends promptly after the
    // request (its wait is woken), so `timeoutMs` never needs to cut the wait short;
    // the thread is always joined, never left running against a released object.
    virtual int32_t StopListener(uint32_t timeoutMs);
    virtual void OnEvent(uint32_t eventBits, uint32_t errorBits) = 0;

  protected:
    uint32_t ThreadProc();
    static uint32_t ListenerEntry(CSerialEx* self);
    bool ListenerRunning() const { return m_hThread.joinable(); }

    std::atomic<bool> m_fStopping{false};
    std::thread m_hThread;
    std::atomic<uint32_t> m_dwThreadExitCode{0};
};
