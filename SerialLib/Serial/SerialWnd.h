#pragma once

#include <QEvent>
#include <QObject>
#include <atomic>
#include <cstdint>

#include "SerialLib/Serial/SerialEx.h"

// Where a CSerialWnd posts its notifications (the "window handle"). PostNotify
// queues the message without waiting for it to be handled.
class ISerialNotifyTarget {
  public:
    virtual ~ISerialNotifyTarget() = default;
    virtual void PostNotify(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
};

// A port whose listener posts each event to a target: first parameter = event bits
// in the low half, error bits in the high half; second parameter = the value given
// to Open.
class CSerialWnd : public CSerialEx {
  public:
    // The id of the registered message "CSerialWnd_DefaultComMsg".
    static const uint32_t s_uDefaultComMsg;

    CSerialWnd() = default;
    explicit CSerialWnd(IPortLayer& layer) : CSerialEx(layer) {}
    ~CSerialWnd() override;

    using CSerialEx::Open;
    // nComMsg 0 posts s_uDefaultComMsg.
    virtual int32_t Open(const char* device, ISerialNotifyTarget* hwndDest, uint32_t nComMsg,
                         intptr_t lParam, uint32_t dwInQueue, uint32_t dwOutQueue);
    int32_t Close() override;
    void OnEvent(uint32_t eventBits, uint32_t errorBits) override;

  protected:
    // Closes a port left open at destruction, with the destructor's trace.
    void CloseOnDestruction();

    std::atomic<ISerialNotifyTarget*> m_hwndTarget{nullptr};
    std::atomic<uint32_t> m_uNotifyMsg{0};
    std::atomic<intptr_t> m_lNotifyParam{0};
};

// The posted notification: a QEvent of type msg carrying both parameters. The
// parameters are written on the listener thread and read on the receiver's; the
// release/acquire pair makes that hand-over visible to checkers that cannot see
// inside Qt's own event queue.
class CSerialMsgEvent : public QEvent {
  public:
    CSerialMsgEvent(uint32_t msg, uintptr_t wParam, intptr_t lParam)
        : QEvent(static_cast<QEvent::Type>(msg)) {
        m_wParam.store(wParam, std::memory_order_release);
        m_lParam.store(lParam, std::memory_order_release);
    }

    uintptr_t wParam() const { return m_wParam.load(std::memory_order_acquire); }
    intptr_t lParam() const { return m_lParam.load(std::memory_order_acquire); }
    // The QEvent type of s_uDefaultComMsg.
    static QEvent::Type DefaultType() {
        return static_cast<QEvent::Type>(CSerialWnd::s_uDefaultComMsg);
    }

  private:
    std::atomic<uintptr_t> m_wParam;
    std::atomic<intptr_t> m_lParam;
};

// Posts notifications to a QObject; they are handled on that object's thread by
// its event() as CSerialMsgEvent. The object must outlive the open port.
class CQtNotifyTarget final : public ISerialNotifyTarget {
  public:
    void SetReceiver(QObject* receiver) { m_receiver = receiver; }
    void PostNotify(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

  private:
    std::atomic<QObject*> m_receiver{nullptr};
};

// The port object of a window: opened with a QObject instead of a raw target.
class CSerialWndObj : public CSerialWnd {
  public:
    CSerialWndObj() = default;
    explicit CSerialWndObj(IPortLayer& layer) : CSerialWnd(layer) {}
    ~CSerialWndObj() override;

    using CSerialWnd::Open;
    virtual int32_t Open(const char* device, QObject* window, uint32_t msgId, intptr_t param,
                         uint32_t inQueue, uint32_t outQueue);
    // With the default message, 0 as its parameter and the driver's own queue sizes.
    int32_t Open(const char* device, QObject* window) { return Open(device, window, 0, 0, 0, 0); }

  private:
    CQtNotifyTarget m_windowTarget;  // the window object's notification handle
};
