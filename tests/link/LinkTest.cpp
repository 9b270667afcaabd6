#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "DiagCapture.h"
#include "FakePort.h"
#include "RecordingWindow.h"
#include "ScriptedDevice.h"
#include "TempDir.h"
#include "WorkerRunner.h"
#include "link/DeviceLink.h"
#include "link/SharedState.h"
#include "link/Timeouts.h"

namespace {

using Chunks = std::vector<std::string>;

// The real port layer, watched: whether its port is open and the baud rate last set.
// Setting `refusedBaud` fails.
class WatchedLayer : public IPortLayer {
  public:
    int32_t Open(const char* device, bool overlapped, std::unique_ptr<IPort>& port) override;
    int32_t GetDefaultConfig(const char* device, COMMCONFIG& config, uint32_t& size) override {
        return DefaultPortLayer().GetDefaultConfig(device, config, size);
    }

    std::atomic<bool> open{false};
    std::atomic<uint32_t> baud{0};
    uint32_t refusedBaud = 0;
};

class WatchedPort : public IPort {
  public:
    WatchedPort(std::unique_ptr<IPort> inner, WatchedLayer& layer)
        : m_inner(std::move(inner)), m_layer(layer) {}
    void Close() override {
        m_inner->Close();
        m_layer.open = false;
    }
    int32_t SetupQueues(uint32_t in, uint32_t out) override {
        return m_inner->SetupQueues(in, out);
    }
    int32_t SetConfig(const COMMCONFIG& config, uint32_t size) override {
        return m_inner->SetConfig(config, size);
    }
    int32_t GetState(DCB& dcb) override { return m_inner->GetState(dcb); }
    int32_t SetState(const DCB& dcb) override {
        if (dcb.BaudRate == m_layer.refusedBaud) {
            return EIO;
        }
        const int32_t status = m_inner->SetState(dcb);
        m_layer.baud = status == 0 ? dcb.BaudRate : m_layer.baud.load();
        return status;
    }
    int32_t GetTimeouts(COMMTIMEOUTS& timeouts) override { return m_inner->GetTimeouts(timeouts); }
    int32_t SetTimeouts(const COMMTIMEOUTS& timeouts) override {
        return m_inner->SetTimeouts(timeouts);
    }
    int32_t SetMask(uint32_t mask) override { return m_inner->SetMask(mask); }
    int32_t WaitEvent(uint32_t* events, COverlapped* ovl) override {
        return m_inner->WaitEvent(events, ovl);
    }
    int32_t Read(void* buffer, size_t len, uint32_t* count, COverlapped* ovl) override {
        return m_inner->Read(buffer, len, count, ovl);
    }
    int32_t Write(const void* data, size_t len, uint32_t* count, COverlapped* ovl) override {
        return m_inner->Write(data, len, count, ovl);
    }
    int32_t Cancel(COverlapped* ovl) override { return m_inner->Cancel(ovl); }
    int32_t ClearError(uint32_t* errors) override { return m_inner->ClearError(errors); }

  private:
    std::unique_ptr<IPort> m_inner;
    WatchedLayer& m_layer;
};

int32_t WatchedLayer::Open(const char* device, bool overlapped, std::unique_ptr<IPort>& port) {
    std::unique_ptr<IPort> inner;
    const int32_t status = DefaultPortLayer().Open(device, overlapped, inner);
    if (status == 0) {
        port = std::make_unique<WatchedPort>(std::move(inner), *this);
        open = true;
    }
    return status;
}

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Shared().Reset();
        timing::SetScalePercentForTests(5);
    }
    void TearDown() override { timing::SetScalePercentForTests(100); }

    // Opens the device without the baud switch, sends each command and records the
    // results and reply texts (up to the result's length).
    void Exchange(ScriptedDevice& device, const std::vector<std::string>& commands) {
        ASSERT_TRUE(RunOnWorker([&] {
            link.OpenPort(device.Path(), false);
            for (const std::string& command : commands) {
                char reply[CDeviceLink::kReplySize] = {};
                const int n = link.SendCommand((command + "\r").c_str(), reply);
                results.push_back(n);
                ends.push_back(link.LastReplyEnd());
                replies.emplace_back(reply, n > 0 ? n : 0);
            }
            link.ClosePort();
        }));
    }

    RecordingWindow window;
    WatchedLayer layer;
    CDeviceLink link{window, layer};
    std::vector<int> results;
    std::vector<ReplyEnd> ends;
    std::vector<std::string> replies;
};

TEST_F(LinkTest, AReplyIsTheTextBeforeItsCrWhetherItArrivesInOneChunkOrTwo) {
    ScriptedDevice device([](const std::string& command) {
        return command == "ONE" ? Chunks{"ST\r"} : Chunks{"S", "T\r"};
    });
    Exchange(device, {"ONE", "TWO"});
    EXPECT_EQ(results, (std::vector<int>{2, 2}));
    EXPECT_EQ(replies, (std::vector<std::string>{"ST", "ST"}));
}

TEST_F(LinkTest, TheLastCrOfAChunkEndsTheReplyAndWhatFollowsItIsGone) {
    ScriptedDevice device([](const std::string& command) {
        if (command == "A")
            return Chunks{"AB\rCD\r"};
        if (command == "B")
            return Chunks{"AB\rC"};
        return Chunks{"X\r"};
    });
    Exchange(device, {"A", "B", "C"});
    EXPECT_EQ(results, (std::vector<int>{5, 2, 1}));
    EXPECT_EQ(replies[0], std::string("AB\rCD"));
    EXPECT_EQ(replies[1], "AB");
    EXPECT_EQ(replies[2], "X") << "the C after the CR must not reach a later reply";
}

TEST_F(LinkTest, ALoneCrOrALineWithoutCrIsNoReply) {
    ScriptedDevice device([](const std::string& command) {
        return command == "LONE" ? Chunks{"\r"} : Chunks{"ABC"};
    });
    DiagCapture diag;
    Exchange(device, {"LONE", "NOCR"});
    EXPECT_EQ(results, (std::vector<int>{0, 0}));
    EXPECT_EQ(ends, (std::vector<ReplyEnd>{ReplyEnd::EmptyLine, ReplyEnd::Silence}));
    EXPECT_TRUE(diag.Has("CDeviceLink::SendCommand - NOCR: no reply\n"));
}

TEST_F(LinkTest, BytesLeftFromAnEarlierReplyNeverReachTheNextCommand) {
    ScriptedDevice device([](const std::string& command) {
        return command == "FIRST" ? Chunks{"OK\r", "LATE"} : Chunks{"Y\r"};
    });
    std::string second;
    ASSERT_TRUE(RunOnWorker([&] {
        link.OpenPort(device.Path(), false);
        char reply[CDeviceLink::kReplySize] = {};
        ASSERT_EQ(link.SendCommand("FIRST\r", reply), 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));  // LATE arrives meanwhile
        std::memset(reply, 0, sizeof reply);
        ASSERT_EQ(link.SendCommand("SECOND\r", reply), 1);
        second = reply;
        link.ClosePort();
    }));
    EXPECT_EQ(second, "Y");
}

TEST_F(LinkTest, ALineLongerThanTheReplyBufferIsNoReplyAndTheLinkRecovers) {
    ScriptedDevice device([](const std::string& command) {
        if (command == "FLOOD")
            return Chunks{std::string(2000, 'G'), "\r"};
        if (command == "LONG")
            return Chunks{std::string(300, 'L'), std::string(300, 'L') + "\r"};
        return Chunks{"FINE\r"};
    });
    Exchange(device, {"FLOOD", "LONG", "AFTER"});
    EXPECT_EQ(results, (std::vector<int>{0, 0, 4}));
    EXPECT_EQ(ends, (std::vector<ReplyEnd>{ReplyEnd::TooLong, ReplyEnd::TooLong, ReplyEnd::Line}));
    EXPECT_EQ(replies[2], "FINE");
}

// No worker here: the notifications are handled and the queue read on this thread.
TEST_F(LinkTest, ChunksBeforeTheRequestIsWrittenReplaceEachOtherAndOnlyRxCharReads) {
    ScriptedDevice device([](const std::string&) { return Chunks{}; });
    ASSERT_EQ(link.OpenPort(device.Path(), false), CDeviceLink::Opening::Opened);
    auto arrive = [&](const std::string& bytes, uintptr_t events) {
        device.Send(bytes);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        link.OnSerialMsg(events, 0);
    };
    char reply[CDeviceLink::kReplySize] = {};
    arrive("AAA\r", EV_RXCHAR);  // no request written yet
    arrive("BB\r", EV_RXCHAR);
    arrive("CC\r", EV_ERR);  // no receive bit: nothing is read
    ASSERT_EQ(link.ReadReply(reply, 0), 2);
    EXPECT_STREQ(reply, "BB");

    const uint8_t request = 'X';
    link.SendAndWait(&request, 1, 1);  // written: chunks accumulate now
    arrive("D\r", EV_RXCHAR);
    EXPECT_EQ(link.ReadReply(reply, 0), 4);
    EXPECT_STREQ(reply, "CC\rD") << "CC was still in the driver";
    link.ClosePort();
}

TEST_F(LinkTest, AReplysFirstBytesEndTheWaitForItEvenWithoutACr) {
    ScriptedDevice device(
        [](const std::string& command) { return command == "FIRST" ? Chunks{"ST4_"} : Chunks{}; });
    bool firstDataWoke = false;
    ASSERT_TRUE(RunOnWorker([&] {
        link.OpenPort(device.Path(), false);
        const std::string request = "FIRST\r";
        firstDataWoke = link.SendAndWait(reinterpret_cast<const uint8_t*>(request.data()),
                                         static_cast<int>(request.size()), 1000);
        link.ClosePort();
    }));
    EXPECT_TRUE(firstDataWoke);
}

TEST_F(LinkTest, AStopCutsAnExchangeShortAndLaterOnesNeverReachThePort) {
    timing::SetScalePercentForTests(100);  // a silent device would take nine seconds
    ScriptedDevice device([](const std::string&) { return Chunks{}; });
    std::chrono::steady_clock::duration took{};
    int later = -1;
    ASSERT_TRUE(RunOnWorker([&] {
        link.OpenPort(device.Path(), false);
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            link.RequestStop();
        });
        const auto start = std::chrono::steady_clock::now();
        char reply[CDeviceLink::kReplySize] = {};
        EXPECT_EQ(link.SendCommand("FIRST\r", reply), 0);
        later = link.SendCommand("SECOND\r", reply);
        EXPECT_EQ(link.LastReplyEnd(), ReplyEnd::Stopped);
        took = std::chrono::steady_clock::now() - start;
        stopper.join();
        EXPECT_FALSE(link.Pause(5000));
    }));
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_EQ(later, 0);
    EXPECT_EQ(device.Commands(), (std::vector<std::string>{"FIRST"}));
    link.ClearStop();
    link.ClosePort();
}

class ConnectionTest : public LinkTest {
  protected:
    void Open(ScriptedDevice& device, bool switchBaud) {
        ASSERT_TRUE(RunOnWorker([&] { link.OpenPort(device.Path(), switchBaud); }));
    }
    int Detect(ScriptedDevice& device, int32_t mode) {
        Shared().OperationMode = mode;
        int result = 99;
        EXPECT_TRUE(RunOnWorker([&] {
            link.OpenPort(device.Path(), false);
            result = link.DetectLoader();
            link.ClosePort();
        }));
        return result;
    }
};

TEST_F(ConnectionTest, AnAcknowledgedBaudSwitchSendsOneCommandAndEndsAt9600) {
    ScriptedDevice device([](const std::string& command) {
        return command == "BDR96" ? Chunks{"(ACK) 9600\r"} : Chunks{};
    });
    Open(device, true);
    EXPECT_EQ(device.Commands(), (std::vector<std::string>{"BDR96"}));
    EXPECT_EQ(layer.baud, 9600u);
    EXPECT_EQ(window.Log(), (std::vector<std::string>{device.Path() + " was opened!"}));
}

TEST_F(ConnectionTest, AnUnansweredBaudSwitchIsTriedThreeTimesThenSwitchesAnyway) {
    ScriptedDevice device([](const std::string&) { return Chunks{"NAK\r"}; });
    Open(device, true);
    EXPECT_EQ(device.Commands(), (std::vector<std::string>(3, "BDR96")));
    EXPECT_EQ(layer.baud, 9600u);
    EXPECT_EQ(window.Log().size(), 1u);
}

TEST_F(ConnectionTest, WithoutTheSwitchTheLineStaysAt2400AndNothingIsLogged) {
    ScriptedDevice device([](const std::string&) { return Chunks{"(ACK\r"}; });
    Open(device, false);
    EXPECT_TRUE(device.Commands().empty());
    EXPECT_EQ(layer.baud, 2400u);
    EXPECT_TRUE(window.Log().empty());
}

TEST_F(ConnectionTest, ClosingLogsOnlyWhenAPortWasOpen) {
    ScriptedDevice device([](const std::string&) { return Chunks{}; });
    Open(device, false);
    ASSERT_TRUE(RunOnWorker([&] {
        link.ClosePort();
        link.ClosePort();
    }));
    EXPECT_FALSE(layer.open);
    EXPECT_EQ(window.Log(), (std::vector<std::string>{"Com was closed"}));
}

TEST_F(ConnectionTest, AMissingPortShowsTheMessageBoxWithTheReason) {
    ASSERT_TRUE(RunOnWorker([&] { link.OpenPort("/dev/ttyUSB-not-there", true); }));
    EXPECT_FALSE(layer.open);
    const auto messages = window.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Cannot open serial port");
    EXPECT_NE(messages[0].detail.find("no device"), std::string::npos) << messages[0].detail;
    EXPECT_TRUE(window.Log().empty());
}

TEST_F(ConnectionTest, APathThatIsNoSerialPortIsCalledSo) {
    TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::string> paths = {"/dev/null", fifo, dir.Write("dsp.hex", ":00")};
    ASSERT_TRUE(RunOnWorker([&] {
        for (const std::string& path : paths) {
            link.OpenPort(path, false);
        }
    }));
    const auto messages = window.Messages();
    ASSERT_EQ(messages.size(), paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(messages[i].detail.rfind(paths[i] + " is not a serial port.", 0), 0u)
            << messages[i].detail;
    }
}

// A port layer that cannot start its thread gives EAGAIN, the errno flock gives for a
// lock held elsewhere; no other program is to blame.
TEST_F(ConnectionTest, AFailureToStartThePortIsNotBlamedOnAnotherProgram) {
    FakeDevice device;
    device.openResult = EAGAIN;
    FakePortLayer fakeLayer(device);
    CDeviceLink fake(window, fakeLayer);
    ASSERT_TRUE(RunOnWorker([&] { fake.OpenPort("/dev/ttyUSB0", false); }));
    ASSERT_EQ(window.Messages().size(), 1u);
    EXPECT_EQ(window.Messages()[0].detail,
              "Opening /dev/ttyUSB0 failed: Resource temporarily unavailable.");
}

TEST_F(ConnectionTest, ANewMcuLoaderIsFoundWithTwoUpperCaseCommands) {
    ScriptedDevice device([](const std::string& command) {
        return command == "MCU001" ? Chunks{"ST1_0000\r"} : Chunks{};
    });
    EXPECT_EQ(Detect(device, ModeMcu), LoaderNew);
    EXPECT_EQ(device.Commands(), (std::vector<std::string>{"MCU001", "MCU001"}));
    EXPECT_EQ(Shared().ReplyTimeout.load(), timing::kDetectMcuReplyTimeoutMs);
}

TEST_F(ConnectionTest, ANewLoaderStaysFoundWhenItsSecondSeriesGoesUnanswered) {
    std::atomic<int> calls{0};
    ScriptedDevice device(
        [&](const std::string&) { return ++calls == 1 ? Chunks{"ST3_0010\r"} : Chunks{}; });
    EXPECT_EQ(Detect(device, ModeMcu), LoaderNew);
    EXPECT_EQ(device.Commands().size(), 5u) << "one answered, then a series of four";
}

TEST_F(ConnectionTest, AnOldMcuLoaderIsFoundInTheThirdPhase) {
    ScriptedDevice device([](const std::string& command) {
        return command == "mcu001" ? Chunks{"mcu\r"} : Chunks{};
    });
    EXPECT_EQ(Detect(device, ModeMcu), LoaderOld);
    std::vector<std::string> expected(4, "MCU001");
    expected.insert(expected.end(), 3, "mcu001");
    EXPECT_EQ(device.Commands(), expected);
}

TEST_F(ConnectionTest, AnOldDspLoaderAnswersEveryTryButCountsOnlyInTheThirdPhase) {
    ScriptedDevice device([](const std::string&) { return Chunks{":efh\r"}; });
    EXPECT_EQ(Detect(device, ModeDsp), LoaderOld);
    EXPECT_EQ(device.Commands(), (std::vector<std::string>(7, ":dsp001")));
    EXPECT_EQ(Shared().ReplyTimeout.load(), timing::kDetectDspReplyTimeoutMs);
}

TEST_F(ConnectionTest, ASilentDeviceGetsSevenCommandsAndNoLoader) {
    ScriptedDevice device([](const std::string&) { return Chunks{}; });
    EXPECT_EQ(Detect(device, ModeMcu), LoaderNone);
    EXPECT_EQ(device.Commands().size(), 7u);
}

class SetupFailureTest : public ::testing::TestWithParam<uint32_t> {
  protected:
    void SetUp() override {
        Shared().Reset();
        timing::SetScalePercentForTests(5);
    }
    void TearDown() override { timing::SetScalePercentForTests(100); }
};

TEST_P(SetupFailureTest, ALineThatCannotBeSetUpIsClosedWithItsLogLine) {
    const uint32_t refused = GetParam();
    ScriptedDevice device([](const std::string&) { return Chunks{"(ACK\r"}; });
    RecordingWindow window;
    WatchedLayer layer;
    layer.refusedBaud = refused;
    CDeviceLink link(window, layer);
    ASSERT_TRUE(RunOnWorker([&] { link.OpenPort(device.Path(), true); }));
    EXPECT_FALSE(layer.open);
    EXPECT_EQ(window.Log(), (std::vector<std::string>{" Setup serial port  fail!"}));
    EXPECT_TRUE(window.Messages().empty());
    // The switch command goes out only once the line is set up at 2400 baud.
    EXPECT_EQ(device.Commands().size(), refused == 2400 ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(At2400AndAt9600, SetupFailureTest, ::testing::Values(2400u, 9600u));

}  // namespace
