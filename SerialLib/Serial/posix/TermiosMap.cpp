#include "SerialLib/Serial/posix/TermiosMap.h"

#include <cerrno>
#include <iterator>

namespace {

struct SpeedEntry {
    uint32_t baud;
    speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedCode(uint32_t baud, speed_t& code) {
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.baud == baud) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

uint32_t BaudOf(speed_t code) {
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.code == code) {
            return entry.baud;
        }
    }
    return 0;
}

bool SizeFlag(uint8_t byteSize, tcflag_t& flag) {
    constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    if (byteSize < 5 || byteSize > 8) {
        return false;
    }
    flag = kSizes[byteSize - 5];
    return true;
}

uint8_t ByteSizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

bool ParityFlags(uint8_t parity, tcflag_t& flags) {
    constexpr tcflag_t kParity[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD,
                                    PARENB | CMSPAR};
    if (parity >= std::size(kParity)) {
        return false;
    }
    flags = kParity[parity];
    return true;
}

uint8_t ParityOf(tcflag_t cflag) {
    if (!(cflag & PARENB)) {
        return NOPARITY;
    }
    if (cflag & CMSPAR) {
        return (cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    }
    return (cflag & PARODD) ? ODDPARITY : EVENPARITY;
}

bool StopFlag(uint8_t stopBits, uint8_t byteSize, tcflag_t& flag) {
    const bool oneAndHalf = stopBits == ONE5STOPBITS;
    if (stopBits > TWOSTOPBITS || oneAndHalf != (byteSize == 5 && stopBits != ONESTOPBIT)) {
        return false;
    }
    flag = stopBits == ONESTOPBIT ? 0 : CSTOPB;
    return true;
}

void SetFlag(tcflag_t& flags, tcflag_t bit, bool on) {
    flags = on ? (flags | bit) : (flags & ~bit);
}

}  // namespace

int32_t ApplyDcb(const DCB& dcb, termios& tio, DriverExtras& extras) {
    speed_t speed = 0;
    tcflag_t size = 0;
    tcflag_t parity = 0;
    tcflag_t stop = 0;
    if (!SpeedCode(dcb.BaudRate, speed) || !SizeFlag(dcb.ByteSize, size) ||
        !ParityFlags(dcb.Parity, parity) || !StopFlag(dcb.StopBits, dcb.ByteSize, stop) ||
        dcb.fDtrControl > DTR_CONTROL_HANDSHAKE || dcb.fRtsControl > RTS_CONTROL_HANDSHAKE) {
        return EINVAL;
    }
    termios next = tio;
    cfsetospeed(&next, speed);
    cfsetispeed(&next, speed);
    next.c_cflag = (next.c_cflag & ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS)) | size |
                   parity | stop;
    SetFlag(next.c_cflag, CRTSCTS,
            dcb.fOutxCtsFlow != 0 || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE);
    SetFlag(next.c_iflag, INPCK, dcb.fParity != 0);
    SetFlag(next.c_iflag, IXON, dcb.fOutX != 0);
    SetFlag(next.c_iflag, IXOFF, dcb.fInX != 0);
    next.c_cc[VEOL] = static_cast<cc_t>(dcb.EvtChar);
    tio = next;
    extras =
        DriverExtras{static_cast<uint8_t>(dcb.fOutxDsrFlow != 0), dcb.fDtrControl, dcb.fRtsControl};
    return 0;
}

DCB ReadDcb(const termios& tio, const DriverExtras& extras) {
    DCB dcb;
    dcb.DCBlength = kDcbLength;
    dcb.BaudRate = BaudOf(cfgetospeed(&tio));
    dcb.ByteSize = ByteSizeOf(tio.c_cflag);
    dcb.Parity = ParityOf(tio.c_cflag);
    dcb.fParity = (tio.c_iflag & INPCK) ? 1 : 0;
    const bool twoBits = (tio.c_cflag & CSTOPB) != 0;
    dcb.StopBits = !twoBits ? ONESTOPBIT : (dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS);
    dcb.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) ? 1 : 0;
    dcb.fOutxDsrFlow = extras.fOutxDsrFlow;
    dcb.fDtrControl = extras.fDtrControl;
    dcb.fRtsControl = extras.fRtsControl;
    dcb.fOutX = (tio.c_iflag & IXON) ? 1 : 0;
    dcb.fInX = (tio.c_iflag & IXOFF) ? 1 : 0;
    dcb.EvtChar = static_cast<uint8_t>(tio.c_cc[VEOL]);
    return dcb;
}

ControlLines ControlLinesFor(const DriverExtras& extras) {
    ControlLines lines;
    (extras.fDtrControl == DTR_CONTROL_DISABLE ? lines.drop : lines.raise) |= TIOCM_DTR;
    if (extras.fRtsControl != RTS_CONTROL_HANDSHAKE) {
        (extras.fRtsControl == RTS_CONTROL_DISABLE ? lines.drop : lines.raise) |= TIOCM_RTS;
    }
    return lines;
}

void MakeRaw(termios& tio) {
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;  // with O_NONBLOCK an empty queue then gives EAGAIN, not 0
    tio.c_cc[VTIME] = 0;
}
