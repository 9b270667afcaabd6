// The control block <-> termios mapping, which a pty cannot read back in full
// (it forces 8 data bits and no parity).
#include <gtest/gtest.h>

#include <cstring>

#include "SerialLib/Serial/posix/TermiosMap.h"

namespace {

DCB LineDcb(uint32_t baud, uint8_t bits, uint8_t parity, uint8_t stop) {
    DCB dcb;
    dcb.DCBlength = kDcbLength;
    dcb.BaudRate = baud;
    dcb.ByteSize = bits;
    dcb.Parity = parity;
    dcb.fParity = parity != NOPARITY ? 1 : 0;
    dcb.StopBits = stop;
    return dcb;
}

termios RawTermios() {
    termios tio{};
    MakeRaw(tio);
    return tio;
}

TEST(TermiosMapTest, LineSettingsRoundTrip) {
    struct Case {
        uint32_t baud;
        uint8_t bits, parity, stop;
    };
    const Case cases[] = {
        {2400, 8, NOPARITY, ONESTOPBIT},      {9600, 7, EVENPARITY, TWOSTOPBITS},
        {115200, 6, ODDPARITY, ONESTOPBIT},   {300, 5, MARKPARITY, ONE5STOPBITS},
        {57600, 8, SPACEPARITY, TWOSTOPBITS},
    };
    for (const Case& c : cases) {
        termios tio = RawTermios();
        DriverExtras extras;
        ASSERT_EQ(ApplyDcb(LineDcb(c.baud, c.bits, c.parity, c.stop), tio, extras), 0) << c.baud;
        const DCB back = ReadDcb(tio, extras);
        EXPECT_EQ(back.BaudRate, c.baud);
        EXPECT_EQ(back.ByteSize, c.bits) << c.baud;
        EXPECT_EQ(back.Parity, c.parity) << c.baud;
        EXPECT_EQ(back.fParity, c.parity != NOPARITY ? 1 : 0) << c.baud;
        EXPECT_EQ(back.StopBits, c.stop) << c.baud;
        EXPECT_EQ(back.DCBlength, kDcbLength);
    }
}

TEST(TermiosMapTest, ImpossibleSettingsAreRefusedAndChangeNothing) {
    const DCB bad[] = {
        LineDcb(12345, 8, NOPARITY, ONESTOPBIT),  // no such rate
        LineDcb(9600, 4, NOPARITY, ONESTOPBIT),   LineDcb(9600, 9, NOPARITY, ONESTOPBIT),
        LineDcb(9600, 8, 5, ONESTOPBIT),          LineDcb(9600, 8, NOPARITY, 3),
        LineDcb(9600, 8, NOPARITY, ONE5STOPBITS),  // 1.5 only with 5 data bits
        LineDcb(9600, 5, NOPARITY, TWOSTOPBITS),   // 5 data bits and CSTOPB mean 1.5
    };
    for (const DCB& dcb : bad) {
        termios tio = RawTermios();
        const termios before = tio;
        DriverExtras extras;
        extras.fDtrControl = DTR_CONTROL_DISABLE;
        EXPECT_EQ(ApplyDcb(dcb, tio, extras), EINVAL) << dcb.BaudRate << " " << int(dcb.ByteSize);
        EXPECT_EQ(std::memcmp(&tio, &before, sizeof tio), 0);
        EXPECT_EQ(extras.fDtrControl, DTR_CONTROL_DISABLE);
    }
}

TEST(TermiosMapTest, FlowControlAndEventCharacter) {
    termios tio = RawTermios();
    DriverExtras extras;
    DCB dcb = LineDcb(9600, 8, NOPARITY, ONESTOPBIT);
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.EvtChar = '\r';
    ASSERT_EQ(ApplyDcb(dcb, tio, extras), 0);
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
    DCB back = ReadDcb(tio, extras);
    EXPECT_EQ(back.fOutxCtsFlow, 1);
    EXPECT_EQ(back.fOutxDsrFlow, 1);
    EXPECT_EQ(back.fDtrControl, DTR_CONTROL_HANDSHAKE);
    EXPECT_EQ(back.fRtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(back.EvtChar, '\r');

    dcb = LineDcb(9600, 8, NOPARITY, ONESTOPBIT);
    dcb.fOutX = dcb.fInX = 1;
    ASSERT_EQ(ApplyDcb(dcb, tio, extras), 0);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    back = ReadDcb(tio, extras);
    EXPECT_EQ(back.fOutX, 1);
    EXPECT_EQ(back.fInX, 1);
    EXPECT_EQ(back.fOutxCtsFlow, 0);
}

// A pty has no modem lines, so the lines each mode drives are checked here.
TEST(TermiosMapTest, LineModesRaiseOrDropDtrAndRtsAndLeaveAHandshakeRtsToTheDriver) {
    const auto lines = [](uint8_t dtr, uint8_t rts) { return ControlLinesFor({0, dtr, rts}); };
    EXPECT_EQ(lines(DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE).raise, TIOCM_DTR | TIOCM_RTS);
    EXPECT_EQ(lines(DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE).drop, TIOCM_DTR | TIOCM_RTS);
    const ControlLines handshake = lines(DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(handshake.raise, TIOCM_DTR);
    EXPECT_EQ(handshake.drop, 0);
}

TEST(TermiosMapTest, RawModeHasNoLineProcessing) {
    termios tio{};
    tio.c_lflag = ECHO | ICANON | ISIG | IEXTEN;
    tio.c_iflag = ICRNL | IXON;
    tio.c_oflag = OPOST | ONLCR;
    MakeRaw(tio);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CLOCAL | CREAD),
              static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

}  // namespace
