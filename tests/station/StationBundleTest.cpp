#include <QJsonArray>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <filesystem>
#include <set>

#include "StationFixture.h"
#include "TestBundle.h"
#include "station/StationWindow.h"

namespace {

QString Path(const devsim::DeviceSimulator& device) {
    return QString::fromStdString(device.SlavePath());
}

// Release bundles signed by a key of the test's own; the station's checks and runs
// trust only that key, so nothing depends on the machine's /etc.
class StationBundleTest : public StationFixture {
  protected:
    // A folder bundle of three steps (DSP, MCU, the simulator's version), signed
    // unless said otherwise; returns its path.
    QString WriteBundle(const std::string& name, bool sign = true) {
        const std::string manifest = WriteBundleFolder(
            work.Path() / name, {{"dsp.hex", kDspImage}, {"mcu_new.mot", kMcuImage}},
            {{"steps", QJsonArray{"dsp", "mcu", "version"}},
             {"version_pattern", "^TOVRANE-SIM V1\\.00$"}});
        EXPECT_TRUE(!sign || signer.Sign(manifest));
        return QString::fromStdString(work.File(name));
    }

    std::unique_ptr<CStation> StationWithBundle(const QStringList& ports, const QString& bundle) {
        auto station = MakeStation();
        for (const QString& port : ports) {
            station->AddGivenPort(port);
        }
        station->Bundle().SetAllowedSigners(TrustFile());
        station->Bundle().SetBundle(bundle);
        return station;
    }

    QString TrustFile() const { return QString::fromStdString(signer.TrustFile()); }

    static bool WaitForCheck(CStation& station) {
        return QTest::qWaitFor([&] { return !station.ImagesChecking(); }, 20000);
    }

    TempDir work;
    TestSigner signer{work.Path() / "keys", "release@example.com"};
};

// A slot passes only when every step of the bundle passed; a slot whose DSP step
// fails is a failure with that step's outcome, and each stored line is the CLI's
// bundle result.
TEST_F(StationBundleTest, ABundleBatchPassesOnlyTheSlotsWhoseEveryStepPassed) {
    const QString good = Path(StartDevice());
    devsim::Faults refuse;
    refuse.rejectBlock = 2;
    const QString refusing = Path(StartDevice(refuse));
    auto station = StationWithBundle({good, refusing}, WriteBundle("release"));
    ASSERT_TRUE(WaitForCheck(*station));
    ASSERT_EQ(station->StartBlocker(), "");
    const BundleStatus& status = station->Bundle().Status();
    EXPECT_EQ(status.name, "Model 7 controller");
    EXPECT_EQ(status.signer, "release@example.com");
    EXPECT_EQ(status.steps, (QStringList{"dsp", "mcu", "version"}));
    EXPECT_EQ(status.images[2].state, ImageStatus::State::Accepted);

    std::set<QString> stepsShown;
    QObject::connect(&station->Model(), &QAbstractItemModel::dataChanged, [&] {
        const int row = station->Model().RowOf(good);
        stepsShown.insert(
            station->Model().index(row, CSlotModel::ProgressColumn).data().toString());
    });
    ASSERT_EQ(station->StartAll(), 2);
    ASSERT_TRUE(WaitForIdle(*station));

    EXPECT_EQ(SlotOf(*station, good).result, SlotResult::Passed);
    EXPECT_EQ(SlotOf(*station, good).resultText, "passed, TOVRANE-SIM V1.00");
    EXPECT_EQ(SlotOf(*station, refusing).result, SlotResult::Failed);
    EXPECT_TRUE(SlotOf(*station, refusing).resultText.startsWith("DSP: write failed: block 2"))
        << SlotOf(*station, refusing).resultText.toStdString();
    EXPECT_TRUE(std::any_of(stepsShown.begin(), stepsShown.end(), [](const QString& text) {
        return text.startsWith("MCU 2/3  ");
    })) << "the row shows the step beside the progress";

    std::map<QString, QJsonObject> stored;
    for (const QJsonObject& line : StoredResults()) {
        stored[line.value("slot").toString()] = line;
    }
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[good].value("operation"), "bundle");
    EXPECT_EQ(stored[good].value("outcome"), "finished");
    EXPECT_EQ(stored[good].value("bundle").toObject().value("release"), "2.4.1");
    EXPECT_EQ(stored[good].value("bundle").toObject().value("signer"), "release@example.com");
    EXPECT_EQ(stored[good].value("steps").toArray().size(), 3);
    EXPECT_EQ(stored[refusing].value("outcome"), "write_fail");
    EXPECT_EQ(stored[refusing].value("steps").toArray().size(), 1);
    EXPECT_EQ(stored[refusing].value("steps").toArray()[0].toObject().value("operation"), "dsp");
}

// The bundle is replaced by rename with an unsigned one while a trust file is in
// force: no start gets through, and the station says why.
TEST_F(StationBundleTest, ABundleReplacedByARefusedOneBlocksEveryStart) {
    auto& device = StartDevice();
    const QString bundle = WriteBundle("release");
    auto station = StationWithBundle({Path(device)}, bundle);
    ASSERT_TRUE(WaitForCheck(*station));
    ASSERT_EQ(station->StartBlocker(), "");
    QStringList notices;
    QObject::connect(station.get(), &CStation::Notice,
                     [&](const QString& text) { notices << text; });

    const QString unsignedBundle = WriteBundle("unsigned", false);
    std::filesystem::rename(bundle.toStdString(), work.File("old-release"));
    std::filesystem::rename(unsignedBundle.toStdString(), bundle.toStdString());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return station->Bundle().Status().state == BundleStatus::State::Refused; }, 20000));
    EXPECT_EQ(station->StartAll(), 0);
    EXPECT_FALSE(station->StartSlot(0));
    ASSERT_FALSE(notices.isEmpty());
    EXPECT_TRUE(notices.back().startsWith("The bundle is refused: the bundle is not signed"))
        << notices.back().toStdString();
    QTest::qWait(300);
    EXPECT_TRUE(device.Commands().empty());
}

// Unattended, a refused bundle ends the batch with its reason; --locked belongs to a
// bundle.
TEST_F(StationBundleTest, UnattendedARefusedBundleEndsTheBatchAndLockedNeedsABundle) {
    TempDir home;
    auto& device = StartDevice();
    const StationRun refused = RunStation(
        {"--port", Path(device), "--bundle", WriteBundle("unsigned", false), "--allowed-signers",
         TrustFile(), "--results", ResultsPath(), "--no-journal", "--start", "--quit-when-done"},
        home);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("The bundle is refused: the bundle is not signed"))
        << refused.err.toStdString();
    EXPECT_TRUE(device.Commands().empty());

    const StationRun locked = RunStation({"--locked"}, home);
    EXPECT_EQ(locked.exitCode, 2);
    EXPECT_TRUE(locked.err.contains("--locked needs --bundle")) << locked.err.toStdString();
}

// A result that says version_read for a bundle is its version step's, not the
// bundle's: such a run never passes.
TEST_F(StationBundleTest, ABundleRunPassesOnlyAsFinished) {
    const std::string cli = images.Write(
        "fake-cli",
        "#!/bin/sh\n"
        "if [ \"$1\" = --check-bundle ]; then\n"
        "  echo '{\"event\":\"bundle\",\"accepted\":true,\"name\":\"M\",\"release\":\"1\"}'\n"
        "else\n"
        "  echo '{\"event\":\"result\",\"exit\":0,\"outcome\":\"version_read\"}'\n"
        "fi\n");
    std::filesystem::permissions(cli, std::filesystem::perms::owner_all);
    const QString port = Path(StartDevice());
    auto station = MakeStation(QString::fromStdString(cli));
    station->AddGivenPort(port);
    station->Bundle().SetBundle(WriteBundle("release"));
    ASSERT_TRUE(WaitForCheck(*station));
    ASSERT_EQ(station->StartAll(), 1);
    ASSERT_TRUE(WaitForIdle(*station, 20000));
    EXPECT_EQ(SlotOf(*station, port).result, SlotResult::Failed);
    ASSERT_EQ(StoredResults().size(), 1u);
    EXPECT_EQ(StoredResults()[0].value("outcome"), "tool_error");
    EXPECT_EQ(StoredResults()[0].value("operation"), "bundle");
}

// Locked, the window keeps the bundle, the operation, the results file and the work
// order as given; the operator's name stays the operator's.
TEST_F(StationBundleTest, TheLockedWindowKeepsWhatTheCommandLineGave) {
    auto station = StationWithBundle({}, WriteBundle("release"));
    QSettings settings(QString::fromStdString(results.File("station.ini")), QSettings::IniFormat);
    CStationWindow window(*station, settings, StationSettings{});
    window.SetLocked(true);
    window.show();
    ASSERT_TRUE(WaitForCheck(*station));
    EXPECT_TRUE(AnyLabelSays(window, "DSP → MCU → version 2.4.1"));
    EXPECT_TRUE(AnyLabelSays(window,
                             "Model 7 controller, release 2.4.1, signed by "
                             "release@example.com"));
    EXPECT_TRUE(AnyLabelSays(window, "Locked"));
    EXPECT_TRUE(window.windowTitle().contains("locked"));

    for (const QString text : {"Open bundle…", "Close bundle", "Choose file…"}) {
        QPushButton* button = nullptr;
        for (QPushButton* candidate : window.findChildren<QPushButton*>()) {
            if (candidate->isVisible() && candidate->text().remove('&') == text) {
                button = candidate;
            }
        }
        ASSERT_NE(button, nullptr) << text.toStdString();
        EXPECT_FALSE(button->isEnabled()) << text.toStdString();
    }
    for (QRadioButton* operation : window.findChildren<QRadioButton*>()) {
        const bool bundle = operation->text() == "Release bundle";
        EXPECT_EQ(operation->isChecked(), bundle) << operation->text().toStdString();
        EXPECT_TRUE(bundle || !operation->isEnabled()) << operation->text().toStdString();
    }
    const QList<QLineEdit*> fields = window.findChildren<QLineEdit*>();
    ASSERT_EQ(fields.size(), 2);  // the operator, then the work order
    EXPECT_FALSE(fields[0]->isReadOnly());
    EXPECT_TRUE(fields[0]->isEnabled());
    EXPECT_TRUE(fields[1]->isReadOnly());
}

}  // namespace
