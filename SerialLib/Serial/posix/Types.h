#pragma once

#include <cstdint>

// The values and records of the port interface: status codes, event and error
// bits, the device-control block and the time-out record. The numbers are the
// ones callers and the device link rely on; other failures carry errno.

inline constexpr uint32_t INFINITE = 0xFFFFFFFFu;
inline constexpr uint32_t WAIT_OBJECT_0 = 0x00000000u;
inline constexpr uint32_t WAIT_TIMEOUT = 0x00000102u;
inline constexpr uint32_t MAXDWORD = 0xFFFFFFFFu;

// Status codes.
inline constexpr int32_t ERROR_SUCCESS = 0;
inline constexpr int32_t ERROR_INVALID_FUNCTION = 1;
inline constexpr int32_t ERROR_INVALID_HANDLE = 6;
inline constexpr int32_t ERROR_OPERATION_ABORTED = 995;
inline constexpr int32_t ERROR_IO_PENDING = 997;
inline constexpr int32_t ERROR_ALREADY_INITIALIZED = 1247;
inline constexpr int32_t ERROR_TIMEOUT = 1460;
inline constexpr int32_t E_INVALIDARG = static_cast<int32_t>(0x80070057u);

// Status word of an overlapped record while its operation is in flight.
inline constexpr uint32_t STATUS_PENDING = 0x00000103u;

// Event bits.
inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_RXFLAG = 0x0002;
inline constexpr uint32_t EV_TXEMPTY = 0x0004;
inline constexpr uint32_t EV_CTS = 0x0008;
inline constexpr uint32_t EV_DSR = 0x0010;
inline constexpr uint32_t EV_RLSD = 0x0020;
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;
inline constexpr uint32_t EV_RING = 0x0100;

// Error bits reported by the port's error query.
inline constexpr uint32_t CE_RXOVER = 0x0001;
inline constexpr uint32_t CE_OVERRUN = 0x0002;
inline constexpr uint32_t CE_RXPARITY = 0x0004;
inline constexpr uint32_t CE_FRAME = 0x0008;
inline constexpr uint32_t CE_BREAK = 0x0010;

// Parity and stop-bit encodings of the control block.
inline constexpr uint8_t NOPARITY = 0;
inline constexpr uint8_t ODDPARITY = 1;
inline constexpr uint8_t EVENPARITY = 2;
inline constexpr uint8_t MARKPARITY = 3;
inline constexpr uint8_t SPACEPARITY = 4;
inline constexpr uint8_t ONESTOPBIT = 0;
inline constexpr uint8_t ONE5STOPBITS = 1;
inline constexpr uint8_t TWOSTOPBITS = 2;

inline constexpr uint8_t DTR_CONTROL_DISABLE = 0;
inline constexpr uint8_t DTR_CONTROL_ENABLE = 1;
inline constexpr uint8_t DTR_CONTROL_HANDSHAKE = 2;
inline constexpr uint8_t RTS_CONTROL_DISABLE = 0;
inline constexpr uint8_t RTS_CONTROL_ENABLE = 1;
inline constexpr uint8_t RTS_CONTROL_HANDSHAKE = 2;

inline constexpr uint32_t kDcbLength = 28;
inline constexpr uint32_t kCommConfigSize = 52;

// The device-control block: the line settings a port holds.
struct DCB {
    uint32_t DCBlength = 0;
    uint32_t BaudRate = 0;
    uint8_t fParity = 0;
    uint8_t fOutxCtsFlow = 0;
    uint8_t fOutxDsrFlow = 0;
    uint8_t fDtrControl = 0;
    uint8_t fRtsControl = 0;
    uint8_t fOutX = 0;
    uint8_t fInX = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;
    uint8_t StopBits = 0;
    uint8_t EvtChar = 0;
};

// The five time-out values of a port.
struct COMMTIMEOUTS {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// A port's default communication configuration.
struct COMMCONFIG {
    uint32_t dwSize = 0;
    DCB dcb;
};
