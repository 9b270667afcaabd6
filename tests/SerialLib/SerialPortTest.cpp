// The port class over a real pseudo-terminal.
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "DiagCapture.h"
#include "PtyPair.h"
#include "SerialLib/Serial/Serial.h"

namespace {

using namespace std::chrono_literals;

class SerialPortTest : public testing::Test {
  protected:
    // Opens the slave side in overlapped mode (as the window's port object does).
    void OpenOverlapped() { ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 0, 0, true), 0); }

    // Waits for the next receive event on the port's internal block.
    void WaitForData() {
        ASSERT_EQ(port.WaitEvent(nullptr, 2000), 0);
        ASSERT_NE(port.GetEventType() & EV_RXCHAR, 0u);
    }

    termios SlaveTermios() const {
        termios tio{};
        EXPECT_EQ(::tcgetattr(pty.Master(), &tio), 0);  // the master sees the slave's settings
        return tio;
    }

    DiagCapture diag;
    PtyPair pty;
    CSerial port;
};

TEST_F(SerialPortTest, OpenAppliesRawDefaultsMaskAndNonBlockingReads) {
    OpenOverlapped();
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.GetEventMask(), 0x00C1u);
    EXPECT_EQ(port.GetBaudrate(), 9600);
    EXPECT_EQ(port.GetDataBits(), 8);
    EXPECT_EQ(port.GetParity(), NOPARITY);
    EXPECT_EQ(port.GetStopBits(), ONESTOPBIT);
    EXPECT_EQ(port.GetHandshaking(), CSerial::HandshakeOff);

    const termios tio = SlaveTermios();
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    char buf[8];
    uint32_t got = 99;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buf, sizeof buf, &got, nullptr, INFINITE), 0);
    EXPECT_EQ(got, 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
}

TEST_F(SerialPortTest, SecondOpenIsRefusedAndFirstPortUntouched) {
    OpenOverlapped();
    ASSERT_EQ(port.Setup(2400, 8, NOPARITY, ONESTOPBIT), 0);

    EXPECT_EQ(port.Open(pty.SlavePath().c_str(), 0, 0, true), ERROR_ALREADY_INITIALIZED);
    EXPECT_EQ(port.GetLastError(), ERROR_ALREADY_INITIALIZED);
    EXPECT_TRUE(diag.Has("CSerial::Open - Port already opened\n"));
    EXPECT_EQ(port.GetBaudrate(), 2400);

    CSerial other;  // the same device from another object: exclusive open
    EXPECT_EQ(other.Open(pty.SlavePath().c_str(), 0, 0, true), EBUSY);
    EXPECT_FALSE(other.IsOpen());

    uint32_t written = 0;
    EXPECT_EQ(port.Write("ok", &written, nullptr, INFINITE), 0);
    EXPECT_EQ(pty.Receive(2, 1000), "ok");
}

TEST_F(SerialPortTest, MissingDeviceGivesErrnoAndStaysClosed) {
    EXPECT_EQ(port.Open("/dev/tovrane-no-such-port", 0, 0, true), ENOENT);
    EXPECT_EQ(ENOENT, 2);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(diag.Has("CSerial::Open - Unable to open port\n"));
}

TEST_F(SerialPortTest, RegularFileIsNotAPort) {
    EXPECT_EQ(port.Open("/etc/hostname", 0, 0, true), ENOTTY);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPortTest, CloseTwiceTracesAndReturnsZero) {
    OpenOverlapped();
    EXPECT_EQ(port.Close(), 0);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Close(), 0);
    EXPECT_EQ(port.Close(), 0);
    EXPECT_EQ(diag.Count("CSerial::Close - Method called when device is not open\n"), 2);
}

TEST_F(SerialPortTest, ReopenAfterCloseWorks) {
    OpenOverlapped();
    ASSERT_EQ(port.Close(), 0);
    OpenOverlapped();
    uint32_t written = 0;
    EXPECT_EQ(port.Write("again", &written, nullptr, INFINITE), 0);
    EXPECT_EQ(pty.Receive(5, 1000), "again");
}

TEST_F(SerialPortTest, DestroyingAnOpenPortClosesIt) {
    {
        CSerial scoped;
        ASSERT_EQ(scoped.Open(pty.SlavePath().c_str(), 0, 0, true), 0);
    }
    EXPECT_TRUE(diag.Has("CSerial::~CSerial - Serial port not closed\n"));
    OpenOverlapped();  // released: the device opens again
}

TEST_F(SerialPortTest, SetupAndGettersRoundTripThroughTheDriver) {
    OpenOverlapped();
    EXPECT_EQ(port.Setup(2400, 8, NOPARITY, ONESTOPBIT), 0);
    EXPECT_EQ(port.GetBaudrate(), 2400);
    termios tio = SlaveTermios();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B2400));

    EXPECT_EQ(port.Setup(9600, 8, NOPARITY, TWOSTOPBITS), 0);
    EXPECT_EQ(port.GetBaudrate(), 9600);
    EXPECT_EQ(port.GetStopBits(), TWOSTOPBITS);
    tio = SlaveTermios();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_iflag & INPCK, 0u);  // fParity follows parity none
}

TEST_F(SerialPortTest, UnsupportedLineSettingsFailAndChangeNothing) {
    OpenOverlapped();
    ASSERT_EQ(port.Setup(2400, 8, NOPARITY, ONESTOPBIT), 0);
    EXPECT_EQ(port.Setup(12345, 8, NOPARITY, ONESTOPBIT), EINVAL);
    EXPECT_EQ(port.Setup(9600, 9, NOPARITY, ONESTOPBIT), EINVAL);
    EXPECT_EQ(port.Setup(9600, 8, 5, ONESTOPBIT), EINVAL);
    EXPECT_EQ(port.Setup(9600, 8, NOPARITY, ONE5STOPBITS), EINVAL);
    EXPECT_EQ(diag.Count("CSerial::Setup - Unable to set DCB information\n"), 4);
    EXPECT_EQ(port.GetBaudrate(), 2400);
}

TEST_F(SerialPortTest, HandshakingModesReadBack) {
    OpenOverlapped();
    EXPECT_EQ(port.SetupHandshaking(CSerial::HandshakeSoftware), 0);
    EXPECT_EQ(port.GetHandshaking(), CSerial::HandshakeSoftware);
    termios tio = SlaveTermios();
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));

    EXPECT_EQ(port.SetupHandshaking(CSerial::HandshakeHardware), 0);
    EXPECT_EQ(port.GetHandshaking(), CSerial::HandshakeHardware);
    tio = SlaveTermios();
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);

    EXPECT_EQ(port.SetupHandshaking(CSerial::HandshakeOff), 0);
    EXPECT_EQ(port.GetHandshaking(), CSerial::HandshakeOff);
}

TEST_F(SerialPortTest, InvalidModesAreRejectedAndNothingChanges) {
    OpenOverlapped();
    ASSERT_EQ(port.SetupHandshaking(CSerial::HandshakeSoftware), 0);
    EXPECT_EQ(port.SetupHandshaking(static_cast<CSerial::HandshakeMode>(3)), E_INVALIDARG);
    EXPECT_EQ(port.GetLastError(), static_cast<int32_t>(0x80070057));
    EXPECT_EQ(port.GetHandshaking(), CSerial::HandshakeSoftware);

    EXPECT_EQ(port.SetupReadTimeouts(static_cast<CSerial::ReadTimeoutMode>(2)), E_INVALIDARG);
    EXPECT_EQ(diag.Count("false", serialdiag::Kind::Assertion), 2);
    char buf[4];
    uint32_t got = 7;
    EXPECT_EQ(port.Read(buf, sizeof buf, &got, nullptr, 100), 0);  // still non-blocking
    EXPECT_EQ(got, 0u);
}

TEST_F(SerialPortTest, TimedOutReadIsCancelledAndTheNextReadWorks) {
    OpenOverlapped();
    ASSERT_EQ(port.SetupReadTimeouts(CSerial::ReadBlocking), 0);
    char buf[4];
    uint32_t got = 7;
    EXPECT_EQ(port.Read(buf, sizeof buf, &got, nullptr, 50), ERROR_TIMEOUT);
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(diag.Reports().empty());  // a time-out writes no trace

    pty.Send("abcd");
    EXPECT_EQ(port.Read(buf, sizeof buf, &got, nullptr, 2000), 0);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buf, 4), "abcd");
}

TEST_F(SerialPortTest, BlockingReadCompletesWhenTheWholeCountArrived) {
    OpenOverlapped();
    ASSERT_EQ(port.SetupReadTimeouts(CSerial::ReadBlocking), 0);
    std::thread device([this] {
        pty.Send("ab");
        std::this_thread::sleep_for(20ms);
        pty.Send("cd");
    });
    char buf[4];
    uint32_t got = 0;
    EXPECT_EQ(port.Read(buf, sizeof buf, &got, nullptr, INFINITE), 0);
    device.join();
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buf, 4), "abcd");
}

TEST_F(SerialPortTest, SwitchingToNonBlockingCompletesAPendingRead) {
    OpenOverlapped();
    ASSERT_EQ(port.SetupReadTimeouts(CSerial::ReadBlocking), 0);
    CEvent done;
    COverlapped ovl;
    ovl.hEvent = &done;
    char buf[4];
    uint32_t got = 0;
    ASSERT_EQ(port.Read(buf, sizeof buf, &got, &ovl, INFINITE), 0);
    EXPECT_FALSE(HasOverlappedIoCompleted(&ovl));
    pty.Send("ab");
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(done.IsSet());  // two of four bytes: still pending
    ASSERT_EQ(port.SetupReadTimeouts(CSerial::ReadNonBlocking), 0);
    ASSERT_EQ(done.Wait(1000), 0u);
    EXPECT_EQ(ovl.Internal.load(), 0u);
    EXPECT_EQ(ovl.InternalHigh.load(), 2u);
    EXPECT_EQ(std::string(buf, 2), "ab");
}

TEST_F(SerialPortTest, ShortReadLeavesTheRestOfTheBufferMarked) {
    OpenOverlapped();
    pty.Send("xy");
    WaitForData();
    uint8_t buf[8];
    uint32_t got = 0;
    EXPECT_EQ(port.Read(buf, sizeof buf, &got, nullptr, INFINITE), 0);
    ASSERT_EQ(got, 2u);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(buf[1], 'y');
    for (size_t i = 2; i < sizeof buf; ++i) {
        EXPECT_EQ(buf[i], 0xDC) << i;
    }
}

TEST_F(SerialPortTest, TextWriteSendsExactlyItsCharactersUntranslated) {
    OpenOverlapped();
    uint32_t written = 0;
    EXPECT_EQ(port.Write("A\r\n", &written, nullptr, INFINITE), 0);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(pty.Receive(4, 200), "A\r\n");  // no terminating zero, no CR/NL mapping
}

TEST_F(SerialPortTest, ReceivedCarriageReturnIsNotTranslated) {
    OpenOverlapped();
    pty.Send("OK\r");
    WaitForData();
    char buf[8];
    uint32_t got = 0;
    EXPECT_EQ(port.Read(buf, sizeof buf, &got, nullptr, INFINITE), 0);
    EXPECT_EQ(std::string(buf, got), "OK\r");
}

TEST_F(SerialPortTest, WriteWithCallerBlockCompletesAtOnceAndSignals) {
    OpenOverlapped();
    CEvent done;
    COverlapped ovl;
    ovl.hEvent = &done;
    uint32_t written = 0;
    EXPECT_EQ(port.Write("SUM\r", 4, &written, &ovl, INFINITE), 0);
    EXPECT_TRUE(done.IsSet());
    EXPECT_TRUE(HasOverlappedIoCompleted(&ovl));
    EXPECT_EQ(pty.Receive(4, 1000), "SUM\r");
}

TEST_F(SerialPortTest, EventCharacterRaisesRxFlag) {
    OpenOverlapped();
    EXPECT_EQ(port.SetEventChar('\r', true), 0);
    EXPECT_EQ(port.GetEventChar(), '\r');
    EXPECT_EQ(port.GetEventMask(), 0x00C1u | EV_RXFLAG);
    pty.Send("ST\r");
    ASSERT_EQ(port.WaitEvent(nullptr, 2000), 0);
    EXPECT_EQ(port.GetEventType(), EV_RXCHAR | EV_RXFLAG);
}

TEST_F(SerialPortTest, EventsOutsideTheMaskDoNotCompleteAWait) {
    OpenOverlapped();
    ASSERT_EQ(port.SetMask(EV_BREAK), 0);
    pty.Send("z");
    EXPECT_EQ(port.WaitEvent(nullptr, 100), ERROR_TIMEOUT);
    EXPECT_EQ(port.GetEventType(), 0u);
    EXPECT_TRUE(diag.Has("CSerial::GetEventType - Event 00000000h not within mask 00000040h.\n"));
}

TEST_F(SerialPortTest, SettingTheMaskCompletesAPendingWaitWithNoBits) {
    OpenOverlapped();
    CEvent done;
    COverlapped ovl;
    ovl.hEvent = &done;
    ASSERT_EQ(port.WaitEvent(&ovl, INFINITE), 0);
    EXPECT_FALSE(HasOverlappedIoCompleted(&ovl));
    EXPECT_EQ(port.SetMask(port.GetEventMask()), 0);
    EXPECT_EQ(done.Wait(1000), 0u);
    EXPECT_EQ(port.GetEventType(), 0u);
}

TEST_F(SerialPortTest, NonOverlappedPortRejectsBlocksAndTimeouts) {
    ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 0, 0, false), 0);
    COverlapped ovl;
    uint32_t count = 0;
    uint8_t buf[4] = {};
    EXPECT_EQ(port.WaitEvent(&ovl, INFINITE), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(port.WaitEvent(nullptr, 10), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(port.Write("abc", &count, &ovl, INFINITE), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(port.Write("abc", &count, nullptr, 10), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(port.Read(buf, sizeof buf, &count, nullptr, 10), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(buf[0], 0xDC);
    EXPECT_EQ(buf[3], 0xDC);
    EXPECT_EQ(diag.Count("CSerial::Write - Overlapped I/O is disabled, specified parameters are "
                         "illegal.\n"),
              2);
    EXPECT_EQ(pty.Receive(1, 50), "");  // nothing was sent

    // Without block and time-out the port works, blocking until done.
    EXPECT_EQ(port.Write("abc", &count, nullptr, INFINITE), 0);
    EXPECT_EQ(pty.Receive(3, 1000), "abc");
}

TEST_F(SerialPortTest, VanishedDeviceFailsTransfersAndCloseIsPrompt) {
    OpenOverlapped();
    pty.CloseMaster();
    char buf[4];
    uint32_t count = 0;
    EXPECT_EQ(port.Read(buf, sizeof buf, &count, nullptr, INFINITE), EIO);
    EXPECT_EQ(port.Write("x", &count, nullptr, INFINITE), EIO);
    EXPECT_EQ(port.WaitEvent(nullptr, 1000), EIO);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Close(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

TEST_F(SerialPortTest, VanishingDeviceEndsAPendingWait) {
    OpenOverlapped();
    CEvent done;
    COverlapped ovl;
    ovl.hEvent = &done;
    ASSERT_EQ(port.WaitEvent(&ovl, INFINITE), 0);
    pty.CloseMaster();
    ASSERT_EQ(done.Wait(2000), 0u);
    EXPECT_EQ(ovl.Internal.load(), static_cast<uint32_t>(EIO));
}

TEST_F(SerialPortTest, ReadRacingCloseFailsCleanly) {
    OpenOverlapped();
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char buf[16];
        uint32_t got = 0;
        while (!stop) {
            const int32_t status = port.Read(buf, sizeof buf, &got, nullptr, INFINITE);
            EXPECT_TRUE(status == 0 || status == ERROR_INVALID_HANDLE) << status;
        }
    });
    for (int i = 0; i < 20; ++i) {
        pty.Send("data");
        EXPECT_EQ(port.Close(), 0);
        OpenOverlapped();
    }
    stop = true;
    reader.join();
}

}  // namespace

TEST(SerialClosedTest, EveryOperationOnAClosedObjectFailsWithInvalidHandle) {
    DiagCapture diag;
    CSerial port;
    COverlapped ovl;
    uint32_t count = 5;
    uint8_t buf[2] = {1, 2};
    EXPECT_EQ(port.Setup(9600, 8, 0, 0), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.SetEventChar('\r', true), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.SetMask(EV_RXCHAR), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.WaitEvent(&ovl, INFINITE), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.SetupHandshaking(CSerial::HandshakeOff), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.SetupReadTimeouts(CSerial::ReadNonBlocking), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.Write("abc", &count, nullptr, INFINITE), ERROR_INVALID_HANDLE);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.Read(buf, sizeof buf, &count, nullptr, INFINITE), ERROR_INVALID_HANDLE);
    EXPECT_EQ(buf[0], 1);  // a closed port's Read does not touch the buffer
    EXPECT_EQ(port.GetBaudrate(), -1);
    EXPECT_EQ(port.GetDataBits(), -1);
    EXPECT_EQ(port.GetParity(), -1);
    EXPECT_EQ(port.GetStopBits(), -1);
    EXPECT_EQ(port.GetHandshaking(), CSerial::HandshakeInvalid);
    EXPECT_EQ(port.GetEventMask(), 0u);
    EXPECT_EQ(port.GetEventChar(), 0);
    EXPECT_EQ(port.GetLastError(), ERROR_INVALID_HANDLE);
    for (const char* op :
         {"Setup", "SetEventChar", "SetMask", "WaitEvent", "SetupHandshaking", "SetupReadTimeouts",
          "GetBaudrate", "GetDataBits", "GetParity", "GetStopBits", "GetEventMask", "GetEventChar",
          "GetHandshaking", "Write", "Read"}) {
        EXPECT_TRUE(diag.Has(std::string("CSerial::") + op + " - Device is not opened\n")) << op;
    }
    for (const auto& report : diag.Reports()) {
        EXPECT_STREQ(report.source, "SerialLib/Serial/Serial");
        EXPECT_GT(report.line, 0);
    }
}
