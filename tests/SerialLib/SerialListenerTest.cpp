// The listener and the Qt window notification over a real pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "DiagCapture.h"
#include "PtyPair.h"
#include "SerialLib/Serial/SerialWnd.h"
#include "SerialLib/Serial/posix/WindowMessage.h"

namespace {

using namespace std::chrono_literals;

// A window: records every port notification it handles, and on which thread.
class Receiver : public QObject {
  public:
    struct Message {
        QEvent::Type type;
        uintptr_t wParam;
        intptr_t lParam;
        bool onOwnThread;
    };
    std::vector<Message> messages;

  protected:
    bool event(QEvent* e) override {
        if (e->type() < QEvent::User) {
            return QObject::event(e);
        }
        const auto* msg = static_cast<const CSerialMsgEvent*>(e);
        messages.push_back(
            {e->type(), msg->wParam(), msg->lParam(), QThread::currentThread() == thread()});
        return true;
    }
};

// The window's port object, with the listener's state visible to the test.
class ProbedPort : public CSerialWndObj {
  public:
    uint32_t ExitCode() const { return m_dwThreadExitCode; }
    bool HasListener() const { return ListenerRunning(); }
};

// Serves the test thread's event queue until `done` holds or `timeoutMs` ran out.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(1ms);
    }
    return done();
}

double ProcessCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

class SerialListenerTest : public testing::Test {
  protected:
    void Open(uint32_t msg = 0, intptr_t param = 0) {
        ASSERT_EQ(port.Open(pty.SlavePath().c_str(), &window, msg, param, 0, 0), 0);
    }
    std::string ReadAll() {
        char buf[128];
        uint32_t got = 0;
        EXPECT_EQ(port.Read(buf, sizeof buf, &got, nullptr, INFINITE), 0);
        return std::string(buf, got);
    }

    DiagCapture diag;
    PtyPair pty;
    Receiver window;
    ProbedPort port;
};

TEST_F(SerialListenerTest, ReceivedBytesPostTheDefaultMessageToTheWindowThread) {
    Open(0, 42);
    pty.Send("hello");
    ASSERT_TRUE(PumpUntil([&] { return !window.messages.empty(); }, 2000));
    const Receiver::Message& msg = window.messages.front();
    EXPECT_EQ(msg.type, CSerialMsgEvent::DefaultType());
    EXPECT_EQ(msg.wParam, EV_RXCHAR);  // no error bits on a pty
    EXPECT_EQ(msg.lParam, 42);
    EXPECT_TRUE(msg.onOwnThread);
    EXPECT_EQ(ReadAll(), "hello");
    EXPECT_EQ(port.Close(), 0);
}

TEST_F(SerialListenerTest, AGivenMessageIdIsPostedInstead) {
    const uint32_t custom = RegisterWindowMessage("Tovrane test message");
    ASSERT_NE(custom, CSerialWnd::s_uDefaultComMsg);
    Open(custom, 0);
    pty.Send("x");
    ASSERT_TRUE(PumpUntil([&] { return !window.messages.empty(); }, 2000));
    EXPECT_EQ(window.messages.front().type, static_cast<QEvent::Type>(custom));
    port.Close();
}

TEST(SerialMessageRegistryTest, TheSameNameAlwaysGivesTheSameId) {
    EXPECT_EQ(RegisterWindowMessage("CSerialWnd_DefaultComMsg"), CSerialWnd::s_uDefaultComMsg);
    EXPECT_EQ(RegisterWindowMessage("another"), RegisterWindowMessage("another"));
    EXPECT_NE(RegisterWindowMessage("another"), CSerialWnd::s_uDefaultComMsg);
    EXPECT_GE(CSerialWnd::s_uDefaultComMsg, static_cast<uint32_t>(QEvent::User));
}

TEST_F(SerialListenerTest, CloseWhileTheListenerWaitsIsPromptAndPostsNothing) {
    Open();
    std::this_thread::sleep_for(20ms);  // let the listener block in its wait
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Close(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_EQ(port.ExitCode(), 0u);
    EXPECT_FALSE(port.HasListener());
    PumpUntil([] { return false; }, 20);
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(SerialListenerTest, StartingTwiceAndStoppingNothingAreHarmless) {
    EXPECT_EQ(port.StopListener(INFINITE), 0);
    Open();
    EXPECT_EQ(port.StartListener(), 0);
    EXPECT_TRUE(port.HasListener());
    pty.Send("a");
    ASSERT_TRUE(PumpUntil([&] { return !window.messages.empty(); }, 2000));
    PumpUntil([] { return false; }, 30);
    EXPECT_EQ(window.messages.size(), 1u);  // one listener, one notification
    port.Close();
}

TEST_F(SerialListenerTest, EventsOutsideTheMaskPostNothing) {
    Open();
    ASSERT_EQ(port.SetMask(EV_BREAK), 0);
    pty.Send("ignored");
    PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(window.messages.empty());
    port.Close();
}

TEST_F(SerialListenerTest, ReopeningPostsToTheNewWindow) {
    Open();
    port.Close();
    Receiver second;
    ASSERT_EQ(port.Open(pty.SlavePath().c_str(), &second, 0, 7, 0, 0), 0);
    pty.Send("b");
    ASSERT_TRUE(PumpUntil([&] { return !second.messages.empty(); }, 2000));
    EXPECT_EQ(second.messages.front().lParam, 7);
    EXPECT_TRUE(window.messages.empty());
    port.Close();
}

TEST_F(SerialListenerTest, SecondOpenKeepsTheFirstWindow) {
    Open();
    Receiver intruder;
    EXPECT_EQ(port.Open(pty.SlavePath().c_str(), &intruder, 0, 0, 0, 0), ERROR_ALREADY_INITIALIZED);
    pty.Send("c");
    ASSERT_TRUE(PumpUntil([&] { return !window.messages.empty(); }, 2000));
    EXPECT_TRUE(intruder.messages.empty());
    port.Close();
}

TEST_F(SerialListenerTest, DestroyingAnOpenPortObjectClosesListenerAndPort) {
    {
        CSerialWndObj scoped;
        ASSERT_EQ(scoped.Open(pty.SlavePath().c_str(), &window, 0, 0, 0, 0), 0);
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(diag.Count("CSerialWnd::~CSerialWnd - Serial port not closed\n"), 1);
    for (const auto& report : diag.Reports()) {
        if (report.text.rfind("CSerialWnd::", 0) == 0) {
            EXPECT_STREQ(report.source, "SerialLib/Serial/SerialWnd");
        }
    }
    Open();  // the device was released
    port.Close();
}

TEST_F(SerialListenerTest, VanishedDeviceEndsTheListenerWithoutSpinning) {
    Open();
    pty.CloseMaster();
    ASSERT_TRUE(PumpUntil([&] { return port.ExitCode() == static_cast<uint32_t>(EIO); }, 2000));
    const double cpuBefore = ProcessCpuMs();
    std::this_thread::sleep_for(200ms);
    EXPECT_LT(ProcessCpuMs() - cpuBefore, 50.0);
    EXPECT_TRUE(diag.Has("CSerial::WaitEvent - Unable to wait for COM event\n"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Close(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 300ms);
}

TEST_F(SerialListenerTest, RepeatedOpenAndCloseWithTrafficNeverHangs) {
    for (int i = 0; i < 30; ++i) {
        Open();
        pty.Send("ping\r");
        if (i % 2 == 0) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_EQ(port.Close(), 0);
        QCoreApplication::processEvents();
    }
}

}  // namespace
