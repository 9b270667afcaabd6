#pragma once

#include <sys/ioctl.h>
#include <termios.h>

#include <cstdint>

#include "SerialLib/Serial/posix/Types.h"

// How the control block maps onto termios.
//   BaudRate   <-> output and input speed (the standard Bnnn rates only)
//   ByteSize   <-> CSIZE (5 to 8)
//   Parity     <-> PARENB, PARODD, CMSPAR (mark = CMSPAR|PARODD, space = CMSPAR)
//   fParity    <-> INPCK (parity checking of received bytes)
//   StopBits   <-> CSTOPB (one and a half only with 5 data bits, as on a UART)
//   fOutxCtsFlow, fRtsControl == handshake <-> CRTSCTS
//   fOutX, fInX <-> IXON, IXOFF
//   EvtChar    <-> c_cc[VEOL] (unused by the line discipline in raw mode)
// termios has no place for DSR flow control or the DTR/RTS line modes; the port
// layer keeps those in DriverExtras, as the driver's own state, and drives the
// two lines as their modes say (ControlLines).
struct DriverExtras {
    uint8_t fOutxDsrFlow = 0;
    uint8_t fDtrControl = DTR_CONTROL_ENABLE;
    uint8_t fRtsControl = RTS_CONTROL_ENABLE;
};

// Writes `dcb` into `tio` and `extras`; EINVAL (and nothing changed) when the
// block holds a value the line cannot take.
int32_t ApplyDcb(const DCB& dcb, termios& tio, DriverExtras& extras);

DCB ReadDcb(const termios& tio, const DriverExtras& extras);

// The modem-control bits (TIOCM_DTR, TIOCM_RTS) to raise and to drop for the line
// modes: enabled raises, disabled drops; a handshake RTS is the driver's (CRTSCTS)
// and left alone, a handshake DTR (which Linux cannot drive) stays raised.
struct ControlLines {
    int raise = 0;
    int drop = 0;
};
ControlLines ControlLinesFor(const DriverExtras& extras);

// Raw mode: no echo, no canonical line editing, no CR/NL translation, no signals,
// 8N1, receiver on, modem lines ignored; a read returns as soon as one byte is there.
void MakeRaw(termios& tio);
