#include "SerialLib/Serial/SerialWnd.h"

#include <QCoreApplication>

#include "SerialLib/Serial/Diagnostics.h"
#include "SerialLib/Serial/posix/WindowMessage.h"

namespace {
constexpr const char* kTraceSource = "SerialLib/Serial/SerialWnd";
}  // namespace

const uint32_t CSerialWnd::s_uDefaultComMsg = RegisterWindowMessage("CSerialWnd_DefaultComMsg");

CSerialWnd::~CSerialWnd() {
    CloseOnDestruction();
}

void CSerialWnd::CloseOnDestruction() {
    if (ListenerRunning()) {
        SERIAL_TRACE("CSerialWnd::~CSerialWnd - Serial port not closed\n");
        CSerialWnd::Close();
    }
}

int32_t CSerialWnd::Open(const char* device, ISerialNotifyTarget* hwndDest, uint32_t nComMsg,
                         intptr_t lParam, uint32_t dwInQueue, uint32_t dwOutQueue) {
    if (const int32_t status = CSerial::Open(device, dwInQueue, dwOutQueue, true); status != 0) {
        return status;
    }
    m_hwndTarget = hwndDest;
    m_uNotifyMsg = nComMsg != 0 ? nComMsg : s_uDefaultComMsg;
    m_lNotifyParam = lParam;
    if (StartListener() != 0) {
        const PortStatus failure = GetLastStatus();
        Close();
        return Fail(failure);
    }
    return Fail(PortStatus{});
}

int32_t CSerialWnd::Close() {
    m_hwndTarget = nullptr;
    m_uNotifyMsg = 0;
    return CSerialEx::Close();
}

void CSerialWnd::OnEvent(uint32_t eventBits, uint32_t errorBits) {
    ISerialNotifyTarget* target = m_hwndTarget;
    if (target) {
        const auto wParam =
            static_cast<uintptr_t>((eventBits & 0xFFFFu) | ((errorBits & 0xFFFFu) << 16));
        target->PostNotify(m_uNotifyMsg, wParam, m_lNotifyParam);
    }
}

void CQtNotifyTarget::PostNotify(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (QObject* receiver = m_receiver) {
        QCoreApplication::postEvent(receiver, new CSerialMsgEvent(msg, wParam, lParam));
    }
}

CSerialWndObj::~CSerialWndObj() {
    CloseOnDestruction();
}

int32_t CSerialWndObj::Open(const char* device, QObject* window, uint32_t msgId, intptr_t param,
                            uint32_t inQueue, uint32_t outQueue) {
    if (!IsOpen()) {  // an open port keeps its window; the base refuses the second open
        m_windowTarget.SetReceiver(window);
    }
    return CSerialWnd::Open(device, &m_windowTarget, msgId, param, inQueue, outQueue);
}
