#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "SerialLib/Serial/PortError.h"
#include "SerialLib/Serial/posix/Event.h"
#include "SerialLib/Serial/posix/Overlapped.h"
#include "SerialLib/Serial/posix/PortLayer.h"
#include "SerialLib/Serial/posix/Types.h"

// One serial port: exclusive open, line settings, flow control, read time-outs,
// the event mask and event character, reads, writes and event waits. Line state
// lives in the port layer and is read back from it on every get. Every failure is
// reported as a status (also kept, with its origin, as the last error) and a
// diagnostics trace.
//
// The port and its internal event are held by shared pointers taken under a short
// lock, so an operation on one thread may overlap Close on another: it then works
// on the port it took (which Close has already shut) and fails cleanly.
class CSerial {
  public:
    enum HandshakeMode {
        HandshakeInvalid = -1,
        HandshakeOff = 0,
        HandshakeHardware = 1,
        HandshakeSoftware = 2,
    };
    enum ReadTimeoutMode {
        ReadNonBlocking = 0,
        ReadBlocking = 1,
    };

    static constexpr uint32_t kDefaultEventMask = EV_BREAK | EV_ERR | EV_RXCHAR;

    CSerial();
    explicit CSerial(IPortLayer& layer);
    CSerial(const CSerial&) = delete;
    CSerial& operator=(const CSerial&) = delete;
    virtual ~CSerial();

    virtual int32_t Open(const char* device, uint32_t dwInQueue, uint32_t dwOutQueue,
                         bool fOverlapped);
    virtual int32_t Close();
    virtual int32_t Setup(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits);
    virtual int32_t SetEventChar(uint8_t eventChar, bool adjustMask);
    virtual int32_t SetMask(uint32_t mask);
    virtual int32_t WaitEvent(COverlapped* lpOverlapped, uint32_t timeoutMs);
    virtual int32_t SetupHandshaking(HandshakeMode mode);
    virtual int32_t SetupReadTimeouts(ReadTimeoutMode mode);
    virtual int32_t GetBaudrate();
    virtual int32_t GetDataBits();
    virtual int32_t GetParity();
    virtual int32_t GetStopBits();
    virtual HandshakeMode GetHandshaking();
    virtual uint32_t GetEventMask();
    virtual uint8_t GetEventChar();
    virtual int32_t Write(const char* text, uint32_t* pdwWritten, COverlapped* lpOverlapped,
                          uint32_t timeoutMs);
    virtual int32_t Write(const void* data, size_t len, uint32_t* pdwWritten,
                          COverlapped* lpOverlapped, uint32_t timeoutMs);
    virtual int32_t Read(void* buf, size_t len, uint32_t* pdwRead, COverlapped* lpOverlapped,
                         uint32_t timeoutMs);

    bool IsOpen() const;
    uint32_t GetEventType();
    int32_t GetLastError() const { return m_lastError.load().code; }
    // The last error with its origin, to be read in the library's kinds (DescribeStatus).
    PortStatus GetLastStatus() const { return m_lastError.load(); }

  protected:
    // For a listener: starts an event wait on `ovl` (with an event) that the calling
    // thread completes itself with AwaitOwnWait, so an event wakes that thread only.
    int32_t StartOwnWait(COverlapped* ovl);
    // 0 once the wait on `ovl` completed, WAIT_TIMEOUT when `timeoutMs` ran out.
    uint32_t AwaitOwnWait(COverlapped* ovl, uint32_t timeoutMs);
    // Cancels the operation in flight on `ovl` (the internal block after a
    // time-out, the listener's block when it ends).
    void CancelPendingIo(COverlapped* ovl);
    // The port and the platform's error bits, for the listener.
    PortStatus ClearCommError(uint32_t* errors);
    // Stores `status` as the last error and returns its number.
    int32_t Fail(PortStatus status);

    std::atomic<PortStatus> m_lastError{PortStatus{}};
    std::shared_ptr<IPort> m_hFile;
    uint32_t m_dwEvent = 0;  // filled by the port layer when a wait completes
    std::atomic<uint32_t> m_dwEventMask{0};
    std::shared_ptr<CEvent> m_hevtOverlapped;

  private:
    struct Handles {
        std::shared_ptr<IPort> port;
        std::shared_ptr<CEvent> event;
    };
    enum class Transfer { Wait, Write, Read };

    Handles TakeHandles() const;
    PortStatus LayerStatus(int32_t code, const IPort* port) const;
    int32_t StartWait(COverlapped* lpOverlapped, uint32_t timeoutMs, bool ownWait);
    PortStatus Take(const char* op, Handles& h) const;
    bool Begin(const char* op, Handles& h);
    int32_t BeginWithDcb(const char* op, Handles& h, DCB& dcb);
    // The work of SetMask and SetupReadTimeouts, which leaves the last error alone.
    PortStatus ApplyMask(uint32_t mask);
    PortStatus ApplyReadTimeouts(ReadTimeoutMode mode);
    // The control block for a getter; none (the failure traced) when it cannot be read.
    std::optional<DCB> ReadSettings(const char* op);
    template <typename Start>
    int32_t RunTransfer(const Handles& h, Transfer kind, COverlapped* lpOverlapped,
                        uint32_t timeoutMs, uint32_t* count, Start start);
    static const char* OpName(Transfer kind);
    static const char* StartFailureText(Transfer kind);

    int32_t ReadDcb(IPort& port, DCB& dcb, const char* op);
    int32_t WriteDcb(IPort& port, const DCB& dcb, const char* op);
    int32_t WaitPending(const Handles& h, COverlapped* block, uint32_t timeoutMs, Transfer kind,
                        uint32_t* count);
    void ApplyDefaultConfig(const char* device, IPort& port);
    void ReleaseHandles();

    IPortLayer& m_layer;
    mutable std::mutex m_handleMutex;  // guards m_hFile and m_hevtOverlapped
};
