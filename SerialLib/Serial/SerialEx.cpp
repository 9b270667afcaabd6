#include "SerialLib/Serial/SerialEx.h"

#include <system_error>

#include "SerialLib/Serial/Diagnostics.h"

namespace {
constexpr const char* kTraceSource = "SerialLib/Serial/SerialEx";
}  // namespace

CSerialEx::~CSerialEx() {
    if (ListenerRunning()) {
        SERIAL_TRACE("CSerialEx::~CSerialEx - Serial port not closed\n");
        CSerialEx::Close();
    }
}

int32_t CSerialEx::Close() {
    StopListener(INFINITE);
    return CSerial::Close();
}

int32_t CSerialEx::StartListener() {
    if (!ListenerRunning()) {
        SERIAL_ASSERT(!m_fStopping);
        try {
            m_hThread = std::thread(ListenerEntry, this);
        } catch (const std::system_error& e) {
            SERIAL_TRACE("CSerialEx::StartListener - Unable to start COMM watcher thread\n");
            return Fail(PortStatus::Host(e.code().value()));
        }
    }
    return Fail(PortStatus{});
}

int32_t CSerialEx::StopListener(uint32_t /*timeoutMs*/) {
    if (ListenerRunning()) {
        if (std::this_thread::get_id() == m_hThread.get_id()) {
            // From OnEvent the thread would wait for its own end.
            SERIAL_ASSERT(std::this_thread::get_id() != m_hThread.get_id());
            return 0;
        }
        m_fStopping = true;
        SetMask(GetEventMask());
        m_hThread.join();
        m_fStopping = false;
    }
    return Fail(PortStatus{});
}

uint32_t CSerialEx::ListenerEntry(CSerialEx* self) {
    const uint32_t code = self->ThreadProc();
    self->m_dwThreadExitCode = code;
    return code;
}

uint32_t CSerialEx::ThreadProc() {
    // The record lives as long as the loop: the port no longer touches it once the
    // wait it started has completed or been cancelled.
    CEvent done;
    COverlapped ovl;
    ovl.hEvent = &done;
    for (;;) {
        done.Reset();
        if (const int32_t status = StartOwnWait(&ovl); status != 0) {
            return static_cast<uint32_t>(status);
        }
        if (m_fStopping) {  // a stop requested before the wait was pending
            CancelPendingIo(&ovl);
            return 0;
        }
        AwaitOwnWait(&ovl, INFINITE);
        if (m_fStopping) {
            return 0;
        }
        const uint32_t events = GetEventType();
        uint32_t errors = 0;
        if (const PortStatus status = ClearCommError(&errors); status.code != 0) {
            Fail(status);
            SERIAL_TRACE("CSerialEx::ThreadProc - Unable to obtain COM status\n");
            errors = 0;
        }
        if (events != 0) {
            OnEvent(events, errors);
        }
    }
}
