#include "SerialLib/Serial/Serial.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "SerialLib/Serial/Diagnostics.h"

namespace {

constexpr const char* kTraceSource = "SerialLib/Serial/Serial";

void TraceOp(int line, const char* op, const char* text) {
    serialdiag::Trace(kTraceSource, line, std::string("CSerial::") + op + " - " + text + "\n");
}

#define TRACE_OP(op, text) TraceOp(__LINE__, (op), (text))

constexpr uint8_t kUnreadByte = 0xDC;

bool ApplyReadMode(CSerial::ReadTimeoutMode mode, COMMTIMEOUTS& timeouts) {
    switch (mode) {
        case CSerial::ReadNonBlocking:
            timeouts.ReadIntervalTimeout = MAXDWORD;
            break;
        case CSerial::ReadBlocking:
            timeouts.ReadIntervalTimeout = 0;
            break;
        default:
            return false;
    }
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    return true;
}

bool ApplyFlowControl(CSerial::HandshakeMode mode, DCB& dcb) {
    switch (mode) {
        case CSerial::HandshakeOff:
            dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = 0;
            dcb.fDtrControl = DTR_CONTROL_DISABLE;
            dcb.fRtsControl = RTS_CONTROL_DISABLE;
            return true;
        case CSerial::HandshakeHardware:
            dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = 1;
            dcb.fOutX = dcb.fInX = 0;
            dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
            return true;
        case CSerial::HandshakeSoftware:
            dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = 0;
            dcb.fOutX = dcb.fInX = 1;
            dcb.fDtrControl = DTR_CONTROL_DISABLE;
            dcb.fRtsControl = RTS_CONTROL_DISABLE;
            return true;
        default:
            return false;
    }
}

}  // namespace

CSerial::CSerial() : CSerial(DefaultPortLayer()) {}

CSerial::CSerial(IPortLayer& layer) : m_layer(layer) {}

CSerial::~CSerial() {
    if (IsOpen()) {
        serialdiag::Trace(kTraceSource, __LINE__, "CSerial::~CSerial - Serial port not closed\n");
        ReleaseHandles();
    }
}

bool CSerial::IsOpen() const {
    return TakeHandles().port != nullptr;
}

CSerial::Handles CSerial::TakeHandles() const {
    std::lock_guard lock(m_handleMutex);
    return Handles{m_hFile, m_hevtOverlapped};
}

int32_t CSerial::Fail(PortStatus status) {
    m_lastError = status;
    return status.code;
}

// The port layer gives an errno for what the host reported, and the library's codes
// for its own conditions: an operation pending or cancelled, a port closed meanwhile.
// Only this object closes its ports, and drops them first, so a 6 from a port it still
// holds is the host's ENXIO, not ERROR_INVALID_HANDLE.
PortStatus CSerial::LayerStatus(int32_t code, const IPort* port) const {
    const bool closed = code == ERROR_INVALID_HANDLE && TakeHandles().port.get() != port;
    if (code == ERROR_IO_PENDING || code == ERROR_OPERATION_ABORTED || closed) {
        return PortStatus::Own(code);
    }
    return PortStatus::Host(code);
}

// The port to work on, or status 6 and the operation's trace on a closed object.
PortStatus CSerial::Take(const char* op, Handles& h) const {
    h = TakeHandles();
    if (!h.port) {
        TRACE_OP(op, "Device is not opened");
        return PortStatus::Own(ERROR_INVALID_HANDLE);
    }
    return {};
}

// The common opening: the last error cleared, or set to 6 on a closed object. Other
// threads may set it meanwhile, so an operation returns its own status, never the
// last error read back.
bool CSerial::Begin(const char* op, Handles& h) {
    return Fail(Take(op, h)) == 0;
}

int32_t CSerial::BeginWithDcb(const char* op, Handles& h, DCB& dcb) {
    return Begin(op, h) ? ReadDcb(*h.port, dcb, op) : ERROR_INVALID_HANDLE;
}

std::optional<DCB> CSerial::ReadSettings(const char* op) {
    Handles h;
    DCB dcb;
    return BeginWithDcb(op, h, dcb) == 0 ? std::optional<DCB>(dcb) : std::nullopt;
}

int32_t CSerial::Open(const char* device, uint32_t dwInQueue, uint32_t dwOutQueue,
                      bool fOverlapped) {
    m_lastError = PortStatus{};
    if (IsOpen()) {
        TRACE_OP("Open", "Port already opened");
        return Fail(PortStatus::Own(ERROR_ALREADY_INITIALIZED));
    }
    std::unique_ptr<IPort> opened;
    if (const int32_t status = m_layer.Open(device, fOverlapped, opened); status != 0) {
        TRACE_OP("Open", "Unable to open port");
        return Fail(PortStatus::Host(status));
    }
    std::shared_ptr<IPort> port = std::move(opened);
    {
        std::lock_guard lock(m_handleMutex);
        SERIAL_ASSERT(m_hevtOverlapped == nullptr);
        m_hFile = port;
        m_hevtOverlapped = fOverlapped ? std::make_shared<CEvent>() : nullptr;
    }
    if (dwInQueue != 0 || dwOutQueue != 0) {
        SERIAL_ASSERT(dwInQueue >= 16);
        SERIAL_ASSERT(dwOutQueue >= 16);
        if (const int32_t status = port->SetupQueues(dwInQueue, dwOutQueue); status != 0) {
            TRACE_OP("Open", "Unable to setup the COM-port");
            Close();
            return Fail(LayerStatus(status, port.get()));
        }
    }
    const PortStatus maskStatus = ApplyMask(kDefaultEventMask);
    const PortStatus timeoutStatus = ApplyReadTimeouts(ReadNonBlocking);
    ApplyDefaultConfig(device, *port);
    // The first failure of the two steps stands, even if the second one succeeded.
    return Fail(maskStatus.code != 0 ? maskStatus : timeoutStatus);
}

void CSerial::ApplyDefaultConfig(const char* device, IPort& port) {
    COMMCONFIG config;
    config.dwSize = kCommConfigSize;
    uint32_t size = kCommConfigSize;
    if (m_layer.GetDefaultConfig(device, config, size) != 0) {
        TRACE_OP("Open", "Unable to obtain default communication configuration.");
    } else if (port.SetConfig(config, size) != 0) {
        TRACE_OP("Open", "Unable to set default communication configuration.");
    }
}

int32_t CSerial::Close() {
    m_lastError = PortStatus{};
    if (!IsOpen()) {
        TRACE_OP("Close", "Method called when device is not open");
        return 0;
    }
    ReleaseHandles();
    return 0;
}

void CSerial::ReleaseHandles() {
    std::shared_ptr<IPort> port;
    {
        std::lock_guard lock(m_handleMutex);
        port = std::move(m_hFile);
        m_hFile = nullptr;
        m_hevtOverlapped = nullptr;
    }
    if (port) {
        port->Close();
    }
}

int32_t CSerial::ReadDcb(IPort& port, DCB& dcb, const char* op) {
    dcb = DCB{};
    dcb.DCBlength = kDcbLength;
    if (const int32_t status = port.GetState(dcb); status != 0) {
        TRACE_OP(op, "Unable to obtain DCB information");
        return Fail(LayerStatus(status, &port));
    }
    return 0;
}

int32_t CSerial::WriteDcb(IPort& port, const DCB& dcb, const char* op) {
    if (const int32_t status = port.SetState(dcb); status != 0) {
        TRACE_OP(op, "Unable to set DCB information");
        return Fail(LayerStatus(status, &port));
    }
    return 0;
}

int32_t CSerial::Setup(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) {
    Handles h;
    DCB dcb;
    if (const int32_t status = BeginWithDcb("Setup", h, dcb); status != 0) {
        return status;
    }
    dcb.BaudRate = baud;
    dcb.ByteSize = dataBits;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.fParity = parity != NOPARITY ? 1 : 0;
    return WriteDcb(*h.port, dcb, "Setup");
}

int32_t CSerial::SetEventChar(uint8_t eventChar, bool adjustMask) {
    Handles h;
    DCB dcb;
    if (const int32_t status = BeginWithDcb("SetEventChar", h, dcb); status != 0) {
        return status;
    }
    dcb.EvtChar = eventChar;
    const PortStatus maskStatus = adjustMask ? ApplyMask(GetEventMask() | EV_RXFLAG) : PortStatus{};
    // The control block's failure stands before the mask's.
    if (const int32_t status = WriteDcb(*h.port, dcb, "SetEventChar"); status != 0) {
        return status;
    }
    return Fail(maskStatus);
}

int32_t CSerial::SetMask(uint32_t mask) {
    return Fail(ApplyMask(mask));
}

PortStatus CSerial::ApplyMask(uint32_t mask) {
    Handles h;
    if (const PortStatus taken = Take("SetMask", h); taken.code != 0) {
        return taken;
    }
    if (const int32_t status = h.port->SetMask(mask); status != 0) {
        TRACE_OP("SetMask", "Unable to set event mask");
        return LayerStatus(status, h.port.get());
    }
    m_dwEventMask = mask;
    return {};
}

int32_t CSerial::SetupHandshaking(HandshakeMode mode) {
    Handles h;
    DCB dcb;
    if (const int32_t status = BeginWithDcb("SetupHandshaking", h, dcb); status != 0) {
        return status;
    }
    if (!ApplyFlowControl(mode, dcb)) {
        SERIAL_ASSERT(false);
        return Fail(PortStatus::Own(E_INVALIDARG));
    }
    return WriteDcb(*h.port, dcb, "SetupHandshaking");
}

int32_t CSerial::SetupReadTimeouts(ReadTimeoutMode mode) {
    return Fail(ApplyReadTimeouts(mode));
}

PortStatus CSerial::ApplyReadTimeouts(ReadTimeoutMode mode) {
    Handles h;
    if (const PortStatus taken = Take("SetupReadTimeouts", h); taken.code != 0) {
        return taken;
    }
    COMMTIMEOUTS timeouts;
    if (const int32_t status = h.port->GetTimeouts(timeouts); status != 0) {
        TRACE_OP("SetupReadTimeouts", "Unable to obtain timeout information");
        return LayerStatus(status, h.port.get());
    }
    if (!ApplyReadMode(mode, timeouts)) {
        SERIAL_ASSERT(false);
        return PortStatus::Own(E_INVALIDARG);
    }
    if (const int32_t status = h.port->SetTimeouts(timeouts); status != 0) {
        TRACE_OP("SetupReadTimeouts", "Unable to set timeout information");
        return LayerStatus(status, h.port.get());
    }
    return {};
}

int32_t CSerial::GetBaudrate() {
    const std::optional<DCB> dcb = ReadSettings("GetBaudrate");
    return dcb ? static_cast<int32_t>(dcb->BaudRate) : -1;
}

int32_t CSerial::GetDataBits() {
    const std::optional<DCB> dcb = ReadSettings("GetDataBits");
    return dcb ? dcb->ByteSize : -1;
}

int32_t CSerial::GetParity() {
    const std::optional<DCB> dcb = ReadSettings("GetParity");
    if (!dcb) {
        return -1;
    }
    return dcb->fParity != 0 ? dcb->Parity : NOPARITY;
}

int32_t CSerial::GetStopBits() {
    const std::optional<DCB> dcb = ReadSettings("GetStopBits");
    return dcb ? dcb->StopBits : -1;
}

CSerial::HandshakeMode CSerial::GetHandshaking() {
    const std::optional<DCB> dcb = ReadSettings("GetHandshaking");
    if (!dcb) {
        return HandshakeInvalid;
    }
    if (dcb->fDtrControl == DTR_CONTROL_HANDSHAKE && dcb->fRtsControl == RTS_CONTROL_HANDSHAKE) {
        return HandshakeHardware;
    }
    if (dcb->fOutX == 1 && dcb->fInX == 1) {
        return HandshakeSoftware;
    }
    return HandshakeOff;
}

uint32_t CSerial::GetEventMask() {
    Handles h;
    if (!Begin("GetEventMask", h)) {
        return 0u;
    }
    return m_dwEventMask;
}

uint8_t CSerial::GetEventChar() {
    const std::optional<DCB> dcb = ReadSettings("GetEventChar");
    return dcb ? dcb->EvtChar : 0;
}

uint32_t CSerial::GetEventType() {
    const uint32_t mask = m_dwEventMask;
    const uint32_t result = m_dwEvent & mask;
    if (result == 0) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "CSerial::GetEventType - Event %08Xh not within mask %08Xh.\n", m_dwEvent,
                      mask);
        serialdiag::Trace(kTraceSource, __LINE__, text);
    }
    m_dwEvent = 0;
    return result;
}

void CSerial::CancelPendingIo(COverlapped* ovl) {
    if (const Handles h = TakeHandles(); h.port) {
        h.port->Cancel(ovl);
    }
}

PortStatus CSerial::ClearCommError(uint32_t* errors) {
    const Handles h = TakeHandles();
    return h.port ? LayerStatus(h.port->ClearError(errors), h.port.get())
                  : PortStatus::Own(ERROR_INVALID_HANDLE);
}

const char* CSerial::OpName(Transfer kind) {
    constexpr const char* kNames[] = {"WaitEvent", "Write", "Read"};
    return kNames[static_cast<int>(kind)];
}

const char* CSerial::StartFailureText(Transfer kind) {
    constexpr const char* kTexts[] = {"Unable to wait for COM event", "Unable to write the data",
                                      "Unable to read the data"};
    return kTexts[static_cast<int>(kind)];
}

// Steps shared by WaitEvent, Write and Read once the port is known to be open.
// `start` starts the platform operation on a block (null in non-overlapped mode).
template <typename Start>
int32_t CSerial::RunTransfer(const Handles& h, Transfer kind, COverlapped* lpOverlapped,
                             uint32_t timeoutMs, uint32_t* count, Start start) {
    if (!h.event && (lpOverlapped || timeoutMs != INFINITE)) {
        TRACE_OP(OpName(kind), "Overlapped I/O is disabled, specified parameters are illegal.");
        return Fail(PortStatus::Own(ERROR_INVALID_FUNCTION));
    }
    COverlapped internal;
    const bool useInternal = h.event && !lpOverlapped;
    if (useInternal) {
        internal.hEvent = h.event.get();
        lpOverlapped = &internal;
    }
    if (h.event && !HasOverlappedIoCompleted(lpOverlapped)) {
        serialdiag::Assert(kTraceSource, __LINE__,
                           "!m_hevtOverlapped || HasOverlappedIoCompleted(lpOverlapped)");
    }
    const int32_t started = start(lpOverlapped);
    if (started == 0) {
        if (lpOverlapped && lpOverlapped->hEvent) {
            lpOverlapped->hEvent->Set();
        }
        return 0;
    }
    if (started != ERROR_IO_PENDING) {
        TRACE_OP(OpName(kind), StartFailureText(kind));
        return Fail(LayerStatus(started, h.port.get()));
    }
    return useInternal ? WaitPending(h, lpOverlapped, timeoutMs, kind, count) : 0;
}

int32_t CSerial::WaitPending(const Handles& h, COverlapped* block, uint32_t timeoutMs,
                             Transfer kind, uint32_t* count) {
    if (h.event->Wait(timeoutMs) == WAIT_TIMEOUT) {
        CancelPendingIo(block);
        // A completion that won the race against the cancellation still counts.
        if (block->Internal.load() != 0) {
            return Fail(PortStatus::Own(ERROR_TIMEOUT));
        }
    }
    const auto status = static_cast<int32_t>(block->Internal.load());
    if (status != 0) {
        TRACE_OP(OpName(kind), kind == Transfer::Wait ? StartFailureText(kind)
                                                      : "Overlapped completed without result");
        return Fail(LayerStatus(status, h.port.get()));
    }
    if (count) {
        *count = block->InternalHigh.load();
    }
    return 0;
}

int32_t CSerial::WaitEvent(COverlapped* lpOverlapped, uint32_t timeoutMs) {
    return StartWait(lpOverlapped, timeoutMs, false);
}

int32_t CSerial::StartOwnWait(COverlapped* ovl) {
    return StartWait(ovl, INFINITE, true);
}

int32_t CSerial::StartWait(COverlapped* lpOverlapped, uint32_t timeoutMs, bool ownWait) {
    Handles h;
    if (!Begin("WaitEvent", h)) {
        return ERROR_INVALID_HANDLE;
    }
    return RunTransfer(h, Transfer::Wait, lpOverlapped, timeoutMs, nullptr,
                       [&](COverlapped* block) {
                           return ownWait ? h.port->StartOwnWait(&m_dwEvent, block)
                                          : h.port->WaitEvent(&m_dwEvent, block);
                       });
}

uint32_t CSerial::AwaitOwnWait(COverlapped* ovl, uint32_t timeoutMs) {
    // A closed port has aborted the wait, which signalled its event.
    const Handles h = TakeHandles();
    return h.port ? h.port->AwaitCompletion(ovl, timeoutMs) : ovl->hEvent->Wait(timeoutMs);
}

int32_t CSerial::Write(const char* text, uint32_t* pdwWritten, COverlapped* lpOverlapped,
                       uint32_t timeoutMs) {
    return Write(text, text ? std::strlen(text) : 0, pdwWritten, lpOverlapped, timeoutMs);
}

int32_t CSerial::Write(const void* data, size_t len, uint32_t* pdwWritten,
                       COverlapped* lpOverlapped, uint32_t timeoutMs) {
    SERIAL_ASSERT(!lpOverlapped || pdwWritten);
    uint32_t localCount = 0;
    uint32_t* count = pdwWritten ? pdwWritten : &localCount;
    *count = 0;
    Handles h;
    if (!Begin("Write", h)) {
        return ERROR_INVALID_HANDLE;
    }
    if (!data && len != 0) {
        return Fail(PortStatus::Own(E_INVALIDARG));
    }
    return RunTransfer(h, Transfer::Write, lpOverlapped, timeoutMs, count,
                       [&](COverlapped* block) { return h.port->Write(data, len, count, block); });
}

int32_t CSerial::Read(void* buf, size_t len, uint32_t* pdwRead, COverlapped* lpOverlapped,
                      uint32_t timeoutMs) {
    SERIAL_ASSERT(!lpOverlapped || pdwRead);
    uint32_t localCount = 0;
    uint32_t* count = pdwRead ? pdwRead : &localCount;
    *count = 0;
    Handles h;
    if (!Begin("Read", h)) {
        return ERROR_INVALID_HANDLE;
    }
    if (!buf && len != 0) {
        return Fail(PortStatus::Own(E_INVALIDARG));
    }
    if (len != 0) {
        std::memset(buf, kUnreadByte, len);
    }
    return RunTransfer(h, Transfer::Read, lpOverlapped, timeoutMs, count,
                       [&](COverlapped* block) { return h.port->Read(buf, len, count, block); });
}
