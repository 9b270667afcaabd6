// Fixture mode: the adapters stay, the boards come and go, and a slot starts when
// a board answers its version query.
#include <signal.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>

#include "SerialLib/Serial/posix/ExclusiveOpen.h"
#include "StationFixture.h"
#include "link/Timeouts.h"

namespace {

using namespace std::chrono_literals;

// Probes every 500 ms with a 150 ms reply time-out; a busy port is tried every 1.5 s.
constexpr uint32_t kTimeScalePercent = 50;
constexpr int kProbeMs = 500;

class FixtureModeTest : public StationFixture {
  protected:
    void SetUp() override {
        StationFixture::SetUp();
        timing::SetScalePercentForTests(kTimeScalePercent);
    }
    void TearDown() override { timing::SetScalePercentForTests(100); }

    devsim::DeviceSimulator& StartBoardlessDevice(const devsim::Faults& faults = {},
                                                  const std::string& version = {}) {
        devsim::Options options;
        options.boardOut = true;
        options.faults = faults;
        if (!version.empty()) {
            options.device.versionText = version;
        }
        devices.push_back(std::make_unique<devsim::DeviceSimulator>(options));
        EXPECT_TRUE(devices.back()->Start()) << devices.back()->LastError();
        return *devices.back();
    }

    // A station in fixture mode over the given ports.
    std::unique_ptr<CStation> FixtureStation(const QStringList& ports, Operation operation) {
        auto station = MakeStationWithSlots(ports);
        station->SetOperation(operation);
        station->SetAutoStartMode(AutoStartMode::Answer);
        station->SetAutoStart(true);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !station->Images().Checking(); }, 10000));
        return station;
    }

    static std::string StateText(CStation& station, const QString& id) {
        return station.Model()
            .index(station.Model().RowOf(id), CSlotModel::StateColumn)
            .data()
            .toString()
            .toStdString();
    }

    static bool WaitForState(CStation& station, const QString& id, const std::string& text) {
        return QTest::qWaitFor([&] { return StateText(station, id) == text; }, 10000);
    }

    // Whether the port can be had exclusively now, as a run would open it.
    static bool PortIsFree(const QString& path) {
        UniqueFd fd;
        return OpenExclusive(path.toLocal8Bit().constData(), fd) == 0;
    }
};

QString Path(const devsim::DeviceSimulator& device) {
    return QString::fromStdString(device.SlavePath());
}

size_t QueriesSeen(const devsim::DeviceSimulator& device) {
    const auto log = device.Commands();
    return static_cast<size_t>(std::count_if(log.begin(), log.end(), [](const auto& record) {
        return record.text == "I" && record.baud == 2400;
    }));
}

// A board is run once when it arrives, not again while it stays, and the next
// board is run once the first was taken out.
TEST_F(FixtureModeTest, EachBoardThatArrivesIsRunOnce) {
    auto& device = StartBoardlessDevice();
    const QString port = Path(device);
    auto station = FixtureStation({port}, Operation::ReadVersion);
    ASSERT_TRUE(WaitForState(*station, port, "waiting for a board"));
    QTest::qWait(3 * kProbeMs);
    EXPECT_EQ(station->RunningCount(), 0);
    EXPECT_GE(QueriesSeen(device), 2u);

    device.SetBoardPresent(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return StoredResults().size() == 1; }, 30000));
    ASSERT_TRUE(WaitForIdle(*station));
    const std::vector<QJsonObject> first = StoredResults();
    EXPECT_EQ(first[0].value("outcome"), "version_read");
    EXPECT_EQ(first[0].value("started_by"), "answer");
    EXPECT_EQ(SlotOf(*station, port).log.front().text, "Board answered: TOVRANE-SIM V1.00");
    EXPECT_EQ(StateText(*station, port), "done, take the board out");

    const size_t queries = QueriesSeen(device);
    QTest::qWait(6 * kProbeMs);
    EXPECT_EQ(StoredResults().size(), 1u) << "a board that stays is not run again";
    EXPECT_GT(QueriesSeen(device), queries) << "the slot watches for the board to go";
    EXPECT_EQ(StateText(*station, port), "done, take the board out");

    device.SetBoardPresent(false);
    ASSERT_TRUE(WaitForState(*station, port, "waiting for a board"));
    EXPECT_EQ(StoredResults().size(), 1u);
    device.SetBoardPresent(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return StoredResults().size() == 2; }, 30000));
    EXPECT_EQ(StoredResults()[1].value("started_by"), "answer");
    EXPECT_EQ(StoredResults()[1].value("attempt"), 1) << "a new board starts at its first attempt";
}

// A board that failed its run stays failed: it is not run again while it stays.
TEST_F(FixtureModeTest, AFailedBoardIsNotRunAgain) {
    devsim::Faults refuse;
    refuse.rejectBlock = 2;
    auto& device = StartBoardlessDevice(refuse);
    device.SetBoardPresent(true);
    const QString port = Path(device);
    auto station = FixtureStation({port}, Operation::UpdateMcu);
    ASSERT_TRUE(QTest::qWaitFor([&] { return StoredResults().size() == 1; }, 30000));
    ASSERT_TRUE(WaitForIdle(*station));
    EXPECT_EQ(StoredResults()[0].value("outcome"), "write_fail");
    QTest::qWait(6 * kProbeMs);
    EXPECT_EQ(StoredResults().size(), 1u);
    EXPECT_EQ(station->RunningCount(), 0);
    EXPECT_EQ(SlotOf(*station, port).result, SlotResult::Failed);
}

// Noise, a half line and a short reply are no version: no run starts. The probe
// only ever asks for the version, at 2400 baud.
TEST_F(FixtureModeTest, NoiseIsNotABoard) {
    devsim::Faults halfLine;
    halfLine.commands.push_back({"I", devsim::FaultAction::Garbage, 0});
    halfLine.garbageBytes = 40;
    auto& noisy = StartBoardlessDevice(halfLine);
    auto& brief = StartBoardlessDevice({}, "V1.0");
    auto& binary = StartBoardlessDevice({}, std::string(12, '\xff'));
    for (auto* device : {&noisy, &brief, &binary}) {
        device->SetBoardPresent(true);
    }
    auto station = FixtureStation({Path(noisy), Path(brief), Path(binary)}, Operation::ReadVersion);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return QueriesSeen(noisy) >= 3 && QueriesSeen(brief) >= 3 && QueriesSeen(binary) >= 3;
        },
        10000));
    EXPECT_EQ(station->RunningCount(), 0);
    EXPECT_TRUE(StoredResults().empty());
    for (auto* device : {&noisy, &brief, &binary}) {
        EXPECT_EQ(StateText(*station, Path(*device)), "waiting for a board");
        for (const devsim::CommandRecord& record : device->Commands()) {
            EXPECT_EQ(record.text, "I");
            EXPECT_EQ(record.baud, 2400);
        }
    }
}

// A port another program holds shows as busy and is tried again until it is free.
TEST_F(FixtureModeTest, ABusyPortIsTriedAgain) {
    auto& device = StartBoardlessDevice();
    device.SetBoardPresent(true);
    const QString port = Path(device);
    UniqueFd other;
    ASSERT_EQ(OpenExclusive(port.toLocal8Bit().constData(), other), 0);
    auto station = FixtureStation({port}, Operation::ReadVersion);
    ASSERT_TRUE(WaitForState(*station, port, "busy"));
    QTest::qWait(2 * kProbeMs);
    EXPECT_EQ(station->RunningCount(), 0);
    other.Reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return StoredResults().size() == 1; }, 30000));
    EXPECT_EQ(StoredResults()[0].value("outcome"), "version_read");
}

// The probing ports are let go at once when fixture mode is switched off, and
// by Stop all.
TEST_F(FixtureModeTest, SwitchingOffOrStopAllLetsThePortsGo) {
    const QString first = Path(StartBoardlessDevice());
    const QString second = Path(StartBoardlessDevice());
    auto station = FixtureStation({first, second}, Operation::ReadVersion);
    ASSERT_TRUE(WaitForState(*station, first, "waiting for a board"));
    ASSERT_TRUE(WaitForState(*station, second, "waiting for a board"));
    EXPECT_FALSE(PortIsFree(first));

    station->SetAutoStartMode(AutoStartMode::Plug);
    EXPECT_TRUE(PortIsFree(first));
    EXPECT_TRUE(PortIsFree(second));
    EXPECT_EQ(StateText(*station, first), "usable");

    station->SetAutoStartMode(AutoStartMode::Answer);
    ASSERT_TRUE(WaitForState(*station, second, "waiting for a board"));
    EXPECT_FALSE(PortIsFree(second));
    station->SetAutoStart(false);
    EXPECT_TRUE(PortIsFree(second));

    station->SetAutoStart(true);
    ASSERT_TRUE(WaitForState(*station, first, "waiting for a board"));
    station->StopAll();
    EXPECT_TRUE(PortIsFree(first));
    EXPECT_TRUE(PortIsFree(second));
    EXPECT_EQ(StateText(*station, first), "probing stopped");
    EXPECT_FALSE(station->Probing());
}

// A line's start-up script or systemd ends the station: the run going on is
// stopped, its result stored, and the station exits 0.
TEST_F(FixtureModeTest, SigtermStoresTheRunningResultAndExitsZero) {
    TempDir home;
    devsim::Pacing slowErase;
    slowErase.eraseTime = 30s;
    auto& device = StartDevice({}, slowErase);
    QProcess station;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(home.File("config")));
    station.setProcessEnvironment(environment);
    station.start(
        TOVRANE_STATION_PATH,
        {"--port", Path(device), "--images", QString::fromStdString(images.Path().string()),
         "--operation", "mcu", "--results", ResultsPath(), "--auto-start=answer"});
    const auto erasing = [&] {
        const auto log = device.Commands();
        return std::any_of(log.begin(), log.end(),
                           [](const auto& record) { return record.text == "SE"; });
    };
    ASSERT_TRUE(QTest::qWaitFor(erasing, 30000));
    ::kill(static_cast<pid_t>(station.processId()), SIGTERM);
    ASSERT_TRUE(station.waitForFinished(20000));
    EXPECT_EQ(station.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(station.exitCode(), 0) << station.readAllStandardError().toStdString();
    const std::vector<QJsonObject> stored = StoredResults();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].value("outcome"), "interrupted");
    EXPECT_EQ(stored[0].value("started_by"), "answer");
    EXPECT_TRUE(PortIsFree(Path(device)));
}

}  // namespace
