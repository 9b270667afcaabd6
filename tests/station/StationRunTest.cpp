#include <signal.h>

#include <QTest>
#include <algorithm>
#include <map>
#include <thread>

#include "FakePortTree.h"
#include "StationFixture.h"
#include "link/Timeouts.h"

namespace {

using namespace std::chrono_literals;

QString Path(const devsim::DeviceSimulator& device) {
    return QString::fromStdString(device.SlavePath());
}

std::map<QString, QJsonObject> BySlot(const std::vector<QJsonObject>& results) {
    std::map<QString, QJsonObject> bySlot;
    for (const QJsonObject& result : results) {
        bySlot[result.value("slot").toString()] = result;
    }
    return bySlot;
}

TEST_F(StationFixture, AMixedBatchGivesEachSlotItsOwnResult) {
    const QString good = Path(StartDevice());
    devsim::Faults refuse;
    refuse.rejectBlock = 3;
    const QString refusing = Path(StartDevice(refuse));
    devsim::Faults hangUp;
    hangUp.hangUpAfterBlocks = 2;
    const QString vanishing = Path(StartDevice(hangUp));
    devsim::Pacing slow;
    slow.wireTime = true;
    slow.eraseTime = 3s;
    const QString killed = Path(StartDevice({}, slow));
    const QString stopped = Path(StartDevice({}, slow));

    auto station = MakeStationWithSlots({good, refusing, vanishing, killed, stopped});
    station->SetOperator("Li Wei");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !station->Images().Checking(); }, 10000));
    ASSERT_EQ(station->StartAll(), 5);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !SlotOf(*station, killed).log.empty() && !SlotOf(*station, stopped).log.empty();
        },
        10000));
    // The row shows the loader as soon as it answers, long before the run ends.
    ASSERT_TRUE(QTest::qWaitFor([&] { return SlotOf(*station, stopped).loader == "new"; }, 10000));
    EXPECT_EQ(SlotOf(*station, stopped).phase, RunPhase::Running);
    const qint64 child = station->ChildPid(station->Model().RowOf(killed));
    ASSERT_GT(child, 0);
    ::kill(static_cast<pid_t>(child), SIGKILL);
    station->StopSlot(station->Model().RowOf(stopped));
    ASSERT_TRUE(WaitForIdle(*station));

    EXPECT_EQ(SlotOf(*station, good).result, SlotResult::Passed);
    EXPECT_EQ(SlotOf(*station, good).resultText, "passed");
    EXPECT_EQ(SlotOf(*station, refusing).resultText,
              "write failed: block 3 of 5 refused: ST3_0002");
    EXPECT_EQ(SlotOf(*station, vanishing).result, SlotResult::Failed);
    EXPECT_EQ(SlotOf(*station, killed).result, SlotResult::Failed);
    EXPECT_TRUE(SlotOf(*station, killed).resultText.contains("signal 9"))
        << SlotOf(*station, killed).resultText.toStdString();
    EXPECT_EQ(SlotOf(*station, stopped).resultText, "stopped");
    EXPECT_EQ(station->Counters().passed, 1);
    EXPECT_EQ(station->Counters().failed, 4);
    EXPECT_FALSE(station->AllPassedAndStored());

    std::map<QString, QJsonObject> stored = BySlot(StoredResults());
    ASSERT_EQ(stored.size(), 5u);
    EXPECT_EQ(stored[good].value("outcome"), "finished");
    EXPECT_TRUE(stored[good].value("verified").toBool());
    EXPECT_EQ(stored[good].value("sha256").toString().size(), 64);
    EXPECT_EQ(stored[refusing].value("outcome"), "write_fail");
    EXPECT_NE(stored[vanishing].value("outcome"), "finished");
    EXPECT_NE(stored[vanishing].value("outcome"), "tool_error");
    EXPECT_EQ(stored[killed].value("outcome"), "tool_error");
    EXPECT_TRUE(stored[killed].value("detail").toString().contains("signal 9"));
    EXPECT_EQ(stored[stopped].value("outcome"), "interrupted");
    EXPECT_EQ(stored[stopped].value("exit"), 143);
    for (const auto& [slot, result] : stored) {
        EXPECT_EQ(result.value("port").toString(), slot);
        EXPECT_FALSE(result.value("station_time").toString().isEmpty());
        EXPECT_FALSE(result.value("host").toString().isEmpty());
        EXPECT_FALSE(result.value("station_id").toString().isEmpty());
        EXPECT_EQ(result.value("operator"), "Li Wei");
        EXPECT_TRUE(result.value("work_order").isNull()) << "empty is stored as null";
        EXPECT_EQ(result.value("attempt"), 1);
        EXPECT_EQ(result.value("started_by"), "operator");
    }
}

// A slot is a USB port: the device is flashed when it arrives, not again while it
// stays, and again once it was unplugged and plugged in.
TEST_F(StationFixture, AutoStartRunsOncePerArrivalOfADevice) {
    auto& device = StartDevice();
    FakePortTree tree;
    auto station = MakeStation(TOVRANE_CLI_PATH, tree.Roots());
    station->SetImagesFolder(QString::fromStdString(images.Path().string()));
    station->SetAutoStart(true);
    station->RescanPorts();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !station->Images().Checking(); }, 10000));

    FakeUsbAdapter adapter{"ttyUSB0",         "0403", "6001",     "FTDI",
                           "FT232R USB UART", "A1",   "ftdi_sio", "1-2"};
    const auto plugIn = [&] {
        tree.AddUsb(adapter);
        tree.RemoveNode(adapter.tty);
        tree.LinkNode(adapter.tty, device.SlavePath());
    };
    plugIn();
    ASSERT_TRUE(QTest::qWaitFor([&] { return StoredResults().size() == 1; }, 30000));
    ASSERT_TRUE(WaitForIdle(*station));
    EXPECT_EQ(SlotOf(*station, "1-2").result, SlotResult::Passed);

    station->RescanPorts();
    QTest::qWait(500);
    EXPECT_EQ(station->RunningCount(), 0) << "a device that stays is not flashed twice";

    // A retry on the same board is its second attempt.
    ASSERT_TRUE(device.WaitForConnectionsEnded(1, 5s));
    ASSERT_TRUE(station->StartSlot(station->Model().RowOf("1-2")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return StoredResults().size() == 2; }, 30000));
    ASSERT_TRUE(WaitForIdle(*station));
    EXPECT_EQ(StoredResults()[0].value("attempt"), 1);
    EXPECT_EQ(StoredResults()[1].value("attempt"), 2);

    // Back in the same USB socket under another name, it is the same slot, and the
    // board that arrived starts again at its first attempt.
    ASSERT_TRUE(device.WaitForConnectionsEnded(2, 5s));
    tree.Unplug(adapter);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !SlotOf(*station, "1-2").DevicePresent(); }, 5000));
    adapter.tty = "ttyUSB1";
    plugIn();
    ASSERT_TRUE(QTest::qWaitFor([&] { return StoredResults().size() == 3; }, 30000));
    EXPECT_EQ(StoredResults()[2].value("slot"), "1-2");
    EXPECT_EQ(StoredResults()[2].value("outcome"), "finished");
    EXPECT_EQ(StoredResults()[2].value("attempt"), 1);
    EXPECT_EQ(StoredResults()[2].value("started_by"), "plug");
    EXPECT_EQ(StoredResults()[1].value("started_by"), "operator");
}

// A station that goes while a run or an image check is under way ends their
// children with it, and takes no ending from them.
TEST_F(StationFixture, AStationThatGoesEndsItsChildren) {
    devsim::Pacing slow;
    slow.eraseTime = 30s;
    const QString port = Path(StartDevice({}, slow));
    auto station = MakeStationWithSlots({port});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !station->Images().Checking(); }, 10000));
    ASSERT_EQ(station->StartAll(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return station->ChildPid(0) > 0; }, 10000));
    const pid_t child = static_cast<pid_t>(station->ChildPid(0));
    station.reset();
    EXPECT_NE(::kill(child, 0), 0) << "the child was reaped";

    // The check's child has ended, but the station has not heard of it yet.
    const std::string cli = images.Write("slow-cli", "#!/bin/sh\nsleep 1\n");
    std::filesystem::permissions(cli, std::filesystem::perms::owner_all);
    station = MakeStation(QString::fromStdString(cli));
    station->SetImagesFolder(QString::fromStdString(images.Path().string()));
    QTest::qWait(static_cast<int>(timing::kImageCheckDelayMs) + 300);
    ASSERT_TRUE(station->Images().Checking());
    std::this_thread::sleep_for(2s);
    station.reset();
}

// What a child writes to stderr reaches the slot's log as it comes, and takes
// nothing from its JSON Lines.
TEST_F(StationFixture, AChildsStderrIsLoggedAsItComes) {
    const std::string cli =
        images.Write("fake-cli",
                     "#!/bin/sh\necho 'a warning' >&2\nsleep 2\n"
                     "echo '{\"event\":\"result\",\"exit\":0,\"outcome\":\"version_read\"}'\n");
    std::filesystem::permissions(cli, std::filesystem::perms::owner_all);
    const QString port = Path(StartDevice());
    auto station = MakeStation(QString::fromStdString(cli));
    station->SetOperation(Operation::ReadVersion);
    station->AddGivenPort(port);
    ASSERT_EQ(station->StartAll(), 1);
    const auto warned = [&] {
        const auto& log = SlotOf(*station, port).log;
        return std::any_of(log.begin(), log.end(),
                           [](const LogEntry& entry) { return entry.text == "stderr: a warning"; });
    };
    ASSERT_TRUE(QTest::qWaitFor(warned, 1500));
    EXPECT_EQ(station->RunningCount(), 1);
    ASSERT_TRUE(WaitForIdle(*station, 20000));
    EXPECT_EQ(SlotOf(*station, port).result, SlotResult::Passed);
}

struct FakeCli {
    const char* name;
    const char* script;
    const char* reason;  // in the stored detail
};

class BrokenChildTest : public StationFixture, public testing::WithParamInterface<FakeCli> {
  protected:
    void TearDown() override { timing::SetScalePercentForTests(100); }
};

// Whatever a child does wrong, its slot never passes.
TEST_P(BrokenChildTest, FailsTheSlotWithAToolError) {
    const std::string cli =
        images.Write("fake-cli", std::string("#!/bin/sh\n") + GetParam().script);
    std::filesystem::permissions(cli, std::filesystem::perms::owner_all);
    timing::SetScalePercentForTests(1);  // the silence limit becomes 3.3 s
    const QString port = Path(StartDevice());
    auto station = MakeStation(QString::fromStdString(cli));
    station->SetOperation(Operation::ReadVersion);
    station->AddGivenPort(port);
    ASSERT_EQ(station->StartAll(), 1);
    ASSERT_TRUE(WaitForIdle(*station, 20000));

    EXPECT_EQ(SlotOf(*station, port).result, SlotResult::Failed);
    const std::vector<QJsonObject> stored = StoredResults();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].value("outcome"), "tool_error");
    EXPECT_TRUE(stored[0].value("detail").toString().contains(GetParam().reason))
        << stored[0].value("detail").toString().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Children, BrokenChildTest,
    testing::Values(
        FakeCli{"NotJson",
                "echo 'Connecting..........'\n"
                "echo '{\"event\":\"result\",\"exit\":0,\"outcome\":\"version_read\"}'\n",
                "not JSON"},
        FakeCli{"NoResult", "echo '{\"event\":\"log\",\"t_ms\":1,\"text\":\"Connecting\"}'\n",
                "without a result"},
        FakeCli{"Silent", "exec sleep 60\n", "wrote nothing"},
        FakeCli{"FinishedButFailing",
                "echo '{\"event\":\"result\",\"exit\":1,\"outcome\":\"version_read\"}'\nexit 1\n",
                "exited with status 1"}),
    [](const testing::TestParamInfo<FakeCli>& info) { return info.param.name; });

}  // namespace
