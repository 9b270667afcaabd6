// An event wait completed by the thread that started it (the listener's path):
// the bytes that end it are pulled on that thread, and everything that ends a
// wait otherwise (mask, cancel, close, a vanished device) still reaches it.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "DiagCapture.h"
#include "PtyPair.h"
#include "SerialLib/Serial/Serial.h"

namespace {

using namespace std::chrono_literals;

class OwnWaitPort : public CSerial {
  public:
    using CSerial::AwaitOwnWait;
    using CSerial::CancelPendingIo;
    using CSerial::StartOwnWait;
};

class SerialOwnWaitTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 0, 0, true), 0);
        ovl.hEvent = &done;
    }

    // Starts the wait and completes it on another thread, as the listener does.
    std::future<uint32_t> AwaitOnOtherThread(uint32_t timeoutMs) {
        EXPECT_EQ(port.StartOwnWait(&ovl), 0);
        EXPECT_FALSE(HasOverlappedIoCompleted(&ovl));
        return std::async(std::launch::async,
                          [this, timeoutMs] { return port.AwaitOwnWait(&ovl, timeoutMs); });
    }

    DiagCapture diag;
    PtyPair pty;
    OwnWaitPort port;
    CEvent done;
    COverlapped ovl;
};

TEST_F(SerialOwnWaitTest, ArrivingBytesCompleteTheWaitAndCanBeRead) {
    auto result = AwaitOnOtherThread(INFINITE);
    std::this_thread::sleep_for(20ms);
    pty.Send("OK\r");
    ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(result.get(), 0u);
    EXPECT_TRUE(done.IsSet());
    EXPECT_EQ(ovl.Internal.load(), 0u);
    EXPECT_NE(port.GetEventType() & EV_RXCHAR, 0u);
    char buf[8];
    uint32_t got = 0;
    EXPECT_EQ(port.Read(buf, sizeof buf, &got, nullptr, INFINITE), 0);
    EXPECT_EQ(std::string(buf, got), "OK\r");
}

TEST_F(SerialOwnWaitTest, BytesAlreadyThereCompleteAWaitWithNoTimeToWait) {
    pty.Send("x");
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(port.StartOwnWait(&ovl), 0);
    EXPECT_EQ(port.AwaitOwnWait(&ovl, 0), 0u);
    EXPECT_TRUE(done.IsSet());
    EXPECT_NE(port.GetEventType() & EV_RXCHAR, 0u);
}

TEST_F(SerialOwnWaitTest, TimeOutLeavesTheWaitPendingUntilTheMaskIsApplied) {
    auto result = AwaitOnOtherThread(50);
    ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(result.get(), static_cast<uint32_t>(WAIT_TIMEOUT));
    EXPECT_FALSE(HasOverlappedIoCompleted(&ovl));

    auto again = std::async(std::launch::async, [this] { return port.AwaitOwnWait(&ovl, 5000); });
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(port.SetMask(port.GetEventMask()), 0);
    ASSERT_EQ(again.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(again.get(), 0u);
    EXPECT_EQ(ovl.Internal.load(), 0u);
}

TEST_F(SerialOwnWaitTest, CancelAndCloseReachTheWaitingThread) {
    auto cancelled = AwaitOnOtherThread(INFINITE);
    std::this_thread::sleep_for(20ms);
    port.CancelPendingIo(&ovl);
    ASSERT_EQ(cancelled.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(ovl.Internal.load(), static_cast<uint32_t>(ERROR_OPERATION_ABORTED));

    done.Reset();
    auto closed = AwaitOnOtherThread(INFINITE);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(port.Close(), 0);
    ASSERT_EQ(closed.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(ovl.Internal.load(), static_cast<uint32_t>(ERROR_OPERATION_ABORTED));
}

TEST_F(SerialOwnWaitTest, VanishedDeviceFailsTheWait) {
    auto result = AwaitOnOtherThread(INFINITE);
    std::this_thread::sleep_for(20ms);
    pty.CloseMaster();
    ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(ovl.Internal.load(), static_cast<uint32_t>(EIO));
    EXPECT_NE(port.StartOwnWait(&ovl), 0);  // and every later wait fails at once
}

TEST_F(SerialOwnWaitTest, PortThreadStillServesAWaitOnlyWaitedOnThroughItsEvent) {
    auto owned = AwaitOnOtherThread(INFINITE);
    std::this_thread::sleep_for(20ms);
    port.CancelPendingIo(&ovl);
    ASSERT_EQ(owned.wait_for(2s), std::future_status::ready);

    CEvent plainDone;
    COverlapped plain;
    plain.hEvent = &plainDone;
    ASSERT_EQ(port.WaitEvent(&plain, INFINITE), 0);
    pty.Send("y");
    EXPECT_EQ(plainDone.Wait(2000), 0u);
    EXPECT_EQ(plain.Internal.load(), 0u);
}

}  // namespace
