#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTableView>

#include "StationFixture.h"
#include "station/SlotLogDialog.h"
#include "station/StationWindow.h"

namespace {

// The window over a station with one slot, on a device of the test's own.
class StationWindowTest : public StationFixture {
  protected:
    void Open(const devsim::Pacing& pacing = {}) {
        port = QString::fromStdString(StartDevice({}, pacing).SlavePath());
        station = MakeStationWithSlots({port});
        settings = std::make_unique<QSettings>(QString::fromStdString(results.File("station.ini")),
                                               QSettings::IniFormat);
        window = std::make_unique<CStationWindow>(*station, *settings, StationSettings{});
        window->show();
    }

    QString port;
    std::unique_ptr<CStation> station;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<CStationWindow> window;
};

TEST_F(StationWindowTest, RunsASlotAndShowsItsResultAndLog) {
    Open();
    CStationWindow& window = *this->window;

    QPushButton* startAll = ButtonNamed(window, "Start all");
    ASSERT_NE(startAll, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return startAll->isEnabled(); }, 10000));
    startAll->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return AnyLabelSays(window, "Passed: 1"); }, 60000));
    const QModelIndex result = station->Model().index(0, CSlotModel::ResultColumn);
    EXPECT_EQ(result.data().toString(), "passed");

    window.OpenLog(0);
    auto* log = window.findChild<CSlotLogDialog*>();
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->Text().contains("Com was closed")) << log->Text().toStdString();

    // A refused image keeps the operation from starting, and the window says why.
    images.Write("mcu_new.mot", "S2060000100A0BD5\n");
    images.Write("mcu_old.mot", "S2060000100A0BD5\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return AnyLabelSays(window, "cannot start"); }, 10000));
    EXPECT_FALSE(startAll->isEnabled());
}

// Closing while a device is flashed asks first, then stops the run and keeps its result.
TEST_F(StationWindowTest, ClosingWhileRunningAsksThenStopsAndStoresTheResult) {
    devsim::Pacing slow;
    slow.wireTime = true;
    slow.eraseTime = std::chrono::seconds(3);
    Open(slow);
    CStationWindow& window = *this->window;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !station->Images().Checking(); }, 10000));
    ASSERT_EQ(station->StartAll(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !SlotOf(*station, port).log.empty(); }, 10000));

    bool asked = false;
    QTimer::singleShot(200, [&asked] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked = true;
            box->button(QMessageBox::Yes)->click();
        }
    });
    window.close();
    EXPECT_TRUE(asked);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }, 15000));
    ASSERT_EQ(StoredResults().size(), 1u);
    EXPECT_EQ(StoredResults()[0].value("outcome"), "interrupted");
}

// The auto-start choice is the operator's and is remembered; in fixture mode "Stop all"
// ends the probing.
TEST_F(StationWindowTest, TheAutoStartChoiceIsRememberedAndStopAllEndsProbing) {
    Open();
    CStationWindow& window = *this->window;
    auto* autoStart = window.findChild<QCheckBox*>();
    for (QCheckBox* box : window.findChildren<QCheckBox*>()) {
        autoStart = box->text().remove('&') == "Auto-start" ? box : autoStart;
    }
    auto* mode = window.findChild<QComboBox*>();
    ASSERT_NE(mode, nullptr);
    ASSERT_EQ(mode->itemText(1), "when a board answers");
    mode->setCurrentIndex(1);
    emit mode->activated(1);
    autoStart->setChecked(true);

    EXPECT_EQ(station->CurrentAutoStartMode(), AutoStartMode::Answer);
    ASSERT_TRUE(station->Probing());
    const StationSettings remembered = LoadStationSettings(*settings, {});
    EXPECT_TRUE(remembered.autoStart);
    EXPECT_EQ(remembered.autoStartMode, AutoStartMode::Answer);

    QPushButton* stopAll = ButtonNamed(window, "Stop all");
    ASSERT_TRUE(stopAll->isEnabled());
    stopAll->click();
    EXPECT_FALSE(station->Probing());
}

}  // namespace
