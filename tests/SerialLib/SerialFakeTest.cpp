// The rules a pseudo-terminal cannot show, through the fake port layer: data bits
// and parity read back, the flow-control fields, queue sizes, failing platform
// calls, error bits and event bits outside the mask.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "DiagCapture.h"
#include "FakePort.h"
#include "SerialLib/Serial/SerialWnd.h"

namespace {

using namespace std::chrono_literals;

class SerialFakeTest : public testing::Test {
  protected:
    DCB Dcb() {
        std::lock_guard lock(device.mutex);
        return device.dcb;
    }

    DiagCapture diag;
    FakeDevice device;
    FakePortLayer layer{device};
    CSerial port{layer};
};

TEST_F(SerialFakeTest, SetupWritesLineFieldsAndParityFlag) {
    ASSERT_EQ(port.Open("fake", 0, 0, true), 0);
    ASSERT_EQ(port.SetupHandshaking(CSerial::HandshakeSoftware), 0);
    EXPECT_EQ(port.Setup(19200, 7, EVENPARITY, TWOSTOPBITS), 0);
    DCB dcb = Dcb();
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, EVENPARITY);
    EXPECT_EQ(dcb.fParity, 1);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.fOutX, 1);  // fields Setup does not own keep their values
    EXPECT_EQ(port.GetDataBits(), 7);
    EXPECT_EQ(port.GetParity(), EVENPARITY);
    EXPECT_EQ(port.GetStopBits(), TWOSTOPBITS);

    EXPECT_EQ(port.Setup(2400, 8, NOPARITY, ONESTOPBIT), 0);
    EXPECT_EQ(Dcb().fParity, 0);
    EXPECT_EQ(port.GetParity(), NOPARITY);
}

TEST_F(SerialFakeTest, ParityReadsNoneWhileParityCheckingIsOff) {
    ASSERT_EQ(port.Open("fake", 0, 0, true), 0);
    {
        std::lock_guard lock(device.mutex);
        device.dcb.Parity = MARKPARITY;
        device.dcb.fParity = 0;
    }
    EXPECT_EQ(port.GetParity(), NOPARITY);
}

TEST_F(SerialFakeTest, HandshakingSetsTheFlowControlTable) {
    ASSERT_EQ(port.Open("fake", 0, 0, true), 0);
    struct Row {
        CSerial::HandshakeMode mode;
        uint8_t cts, dsr, dtr, rts, outX, inX;
    };
    const Row rows[] = {
        {CSerial::HandshakeOff, 0, 0, 0, 0, 0, 0},
        {CSerial::HandshakeHardware, 1, 1, 2, 2, 0, 0},
        {CSerial::HandshakeSoftware, 0, 0, 0, 0, 1, 1},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(port.SetupHandshaking(row.mode), 0);
        const DCB dcb = Dcb();
        EXPECT_EQ(dcb.fOutxCtsFlow, row.cts) << row.mode;
        EXPECT_EQ(dcb.fOutxDsrFlow, row.dsr) << row.mode;
        EXPECT_EQ(dcb.fDtrControl, row.dtr) << row.mode;
        EXPECT_EQ(dcb.fRtsControl, row.rts) << row.mode;
        EXPECT_EQ(dcb.fOutX, row.outX) << row.mode;
        EXPECT_EQ(dcb.fInX, row.inX) << row.mode;
        EXPECT_EQ(port.GetHandshaking(), row.mode);
    }
}

TEST_F(SerialFakeTest, HardwareHandshakeNeedsBothDtrAndRtsHandshake) {
    ASSERT_EQ(port.Open("fake", 0, 0, true), 0);
    {
        std::lock_guard lock(device.mutex);
        device.dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        device.dcb.fDtrControl = DTR_CONTROL_ENABLE;
        device.dcb.fOutxCtsFlow = device.dcb.fOutxDsrFlow = 1;
    }
    EXPECT_EQ(port.GetHandshaking(), CSerial::HandshakeOff);
    {
        std::lock_guard lock(device.mutex);
        device.dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        device.dcb.fOutX = device.dcb.fInX = 1;
    }
    EXPECT_EQ(port.GetHandshaking(), CSerial::HandshakeHardware);
}

TEST_F(SerialFakeTest, InvalidHandshakeModeWritesNothing) {
    ASSERT_EQ(port.Open("fake", 0, 0, true), 0);
    const int writesBefore = device.setStateCalls;
    EXPECT_EQ(port.SetupHandshaking(static_cast<CSerial::HandshakeMode>(3)), E_INVALIDARG);
    EXPECT_EQ(device.setStateCalls, writesBefore);
}

TEST_F(SerialFakeTest, QueueSizesArePassedOnlyWhenOneIsNonZero) {
    ASSERT_EQ(port.Open("fake", 0, 0, true), 0);
    EXPECT_TRUE(device.setupQueuesCalls.empty());
    port.Close();

    ASSERT_EQ(port.Open("fake", 0, 64, true), 0);
    ASSERT_EQ(device.setupQueuesCalls.size(), 1u);
    EXPECT_EQ(device.setupQueuesCalls[0], std::make_pair(0u, 64u));
    EXPECT_TRUE(diag.Has("dwInQueue >= 16", serialdiag::Kind::Assertion));
    EXPECT_FALSE(diag.Has("dwOutQueue >= 16", serialdiag::Kind::Assertion));
}

TEST_F(SerialFakeTest, QueueSetupFailureClosesThePort) {
    device.setupQueuesResult = 87;
    EXPECT_EQ(port.Open("fake", 32, 32, true), 87);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.GetLastError(), 87);
    EXPECT_TRUE(diag.Has("CSerial::Open - Unable to setup the COM-port\n"));
}

TEST_F(SerialFakeTest, RefusedOpenPassesTheErrorThrough) {
    device.openResult = EACCES;
    EXPECT_EQ(port.Open("fake", 0, 0, true), EACCES);
    EXPECT_FALSE(port.IsOpen());
}

// 1 is both ERROR_INVALID_FUNCTION and EPERM, 6 both ERROR_INVALID_HANDLE and ENXIO.
TEST_F(SerialFakeTest, StatusNumbersSharedWithErrnoAreReadByTheirOrigin) {
    auto lastKind = [&] { return DescribeStatus(port.GetLastStatus()).kind; };
    device.openResult = ENXIO;  // what a UART without hardware gives
    EXPECT_EQ(port.Open("fake", 0, 0, true), ERROR_INVALID_HANDLE);
    EXPECT_EQ(lastKind(), PortErrorKind::NoDevice);
    EXPECT_EQ(port.Setup(9600, 8, NOPARITY, ONESTOPBIT), ERROR_INVALID_HANDLE);
    EXPECT_EQ(lastKind(), PortErrorKind::NotOpen);
    device.openResult = EPERM;
    EXPECT_EQ(port.Open("fake", 0, 0, true), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(lastKind(), PortErrorKind::NoPermission);

    device.openResult = 0;
    ASSERT_EQ(port.Open("fake", 0, 0, false), 0);
    uint32_t count = 0;
    EXPECT_EQ(port.Write("x", &count, nullptr, 10), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(lastKind(), PortErrorKind::Other);
    device.getStateResult = ENXIO;  // from a port still open: the host's
    EXPECT_EQ(port.Setup(9600, 8, NOPARITY, ONESTOPBIT), ERROR_INVALID_HANDLE);
    EXPECT_EQ(lastKind(), PortErrorKind::NoDevice);
}

TEST_F(SerialFakeTest, DefaultConfigurationFailuresAreTracedOnly) {
    device.defaultConfigResult = ENOENT;
    EXPECT_EQ(port.Open("fake", 0, 0, true), 0);
    EXPECT_TRUE(
        diag.Has("CSerial::Open - Unable to obtain default communication configuration.\n"));
    port.Close();

    device.defaultConfigResult = 0;
    device.setConfigResult = EIO;
    EXPECT_EQ(port.Open("fake", 0, 0, true), 0);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(diag.Has("CSerial::Open - Unable to set default communication configuration.\n"));
}

TEST_F(SerialFakeTest, MaskFailureDuringOpenIsReportedWithThePortOpen) {
    device.setMaskResult = EIO;
    EXPECT_EQ(port.Open("fake", 0, 0, true), EIO);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.GetEventMask(), 0u);  // the old mask stands
    EXPECT_TRUE(diag.Has("CSerial::SetMask - Unable to set event mask\n"));
}

TEST_F(SerialFakeTest, UnreadableControlBlockFailsEveryGetter) {
    ASSERT_EQ(port.Open("fake", 0, 0, true), 0);
    device.getStateResult = EIO;
    EXPECT_EQ(port.GetBaudrate(), -1);
    EXPECT_EQ(port.GetDataBits(), -1);
    EXPECT_EQ(port.GetParity(), -1);
    EXPECT_EQ(port.GetStopBits(), -1);
    EXPECT_EQ(port.GetHandshaking(), CSerial::HandshakeInvalid);
    EXPECT_EQ(port.GetEventChar(), 0);
    EXPECT_EQ(port.Setup(9600, 8, 0, 0), EIO);
    EXPECT_EQ(port.GetLastError(), EIO);
    EXPECT_TRUE(diag.Has("CSerial::GetStopBits - Unable to obtain DCB information\n"));
    EXPECT_TRUE(diag.Has("CSerial::Setup - Unable to obtain DCB information\n"));
}

// A window target that records what is posted, from any thread.
class RecordingTarget : public ISerialNotifyTarget {
  public:
    struct Post {
        uint32_t msg;
        uintptr_t wParam;
        intptr_t lParam;
    };
    void PostNotify(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
        std::lock_guard lock(mutex);
        posts.push_back({msg, wParam, lParam});
    }
    std::vector<Post> Posts() {
        std::lock_guard lock(mutex);
        return posts;
    }

  private:
    std::mutex mutex;
    std::vector<Post> posts;
};

class SerialFakeListenerTest : public SerialFakeTest {
  protected:
    void OpenWnd() {
        ASSERT_EQ(wnd.Open("fake", &target, 0x4321, 9, 0, 0), 0);
        ASSERT_TRUE(device.WaitForPendingWait(1000));
    }
    // Fires `bits` and waits until the listener is back in its wait.
    void Fire(uint32_t bits) {
        device.FireEvent(bits);
        ASSERT_TRUE(device.WaitForPendingWait(1000));
    }

    RecordingTarget target;
    CSerialWnd wnd{layer};
};

TEST_F(SerialFakeListenerTest, ErrorBitsTravelInTheHighHalf) {
    OpenWnd();
    {
        std::lock_guard lock(device.mutex);
        device.errorBits = CE_FRAME;
    }
    Fire(EV_RXCHAR);
    wnd.Close();
    const auto posts = target.Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].msg, 0x4321u);
    EXPECT_EQ(posts[0].wParam, 0x00080001u);
    EXPECT_EQ(posts[0].lParam, 9);
}

TEST_F(SerialFakeListenerTest, BitsOutsideTheMaskPostNothing) {
    OpenWnd();
    Fire(EV_RING);
    wnd.Close();
    EXPECT_TRUE(target.Posts().empty());
    EXPECT_TRUE(diag.Has("CSerial::GetEventType - Event 00000100h not within mask 000000C1h.\n"));
}

TEST_F(SerialFakeListenerTest, ErrorQueryFailureStillDeliversTheEvent) {
    device.clearErrorResult = EIO;
    {
        std::lock_guard lock(device.mutex);
        device.errorBits = CE_OVERRUN;
    }
    OpenWnd();
    Fire(EV_RXCHAR | EV_ERR);
    wnd.Close();
    const auto posts = target.Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].wParam, EV_RXCHAR | EV_ERR);
    EXPECT_TRUE(diag.Has("CSerialEx::ThreadProc - Unable to obtain COM status\n"));
}

TEST_F(SerialFakeListenerTest, CloseClearsTheTargetAndKeepsTheParameter) {
    OpenWnd();
    wnd.Close();
    EXPECT_FALSE(wnd.IsOpen());
    device.FireEvent(EV_RXCHAR);  // nothing is waiting any more
    EXPECT_TRUE(target.Posts().empty());
}

}  // namespace
