#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <vector>

#include "SampleImages.h"
#include "TempDir.h"
#include "station/Station.h"
#include "tools/devsim/DeviceSimulator.h"

inline QPushButton* ButtonNamed(QWidget& window, const QString& text) {
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->text().remove('&') == text) {
            return button;
        }
    }
    return nullptr;
}

inline bool AnyLabelSays(QWidget& window, const QString& text) {
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->isVisible() && label->text().contains(text)) {
            return true;
        }
    }
    return false;
}

// How tovrane-station ended when it ran as a line's start-up script runs it.
struct StationRun {
    int exitCode = -1;
    QString err;
};

// tovrane-station without a display, with its settings in `home`.
inline StationRun RunStation(const QStringList& arguments, const TempDir& home) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(home.File("config")));
    process.setProcessEnvironment(environment);
    process.start(TOVRANE_STATION_PATH, arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// A station over simulated devices and the real tovrane-cli, with its results
// file and images in a folder of the test's own.
class StationFixture : public testing::Test {
  protected:
    void SetUp() override {
        images.Write("mcu_new.mot", kMcuImage);
        images.Write("mcu_old.mot", kMcuImage);
    }

    devsim::DeviceSimulator& StartDevice(const devsim::Faults& faults = {},
                                         devsim::Pacing pacing = {}) {
        devsim::Options options;
        options.faults = faults;
        options.pacing = pacing;
        devices.push_back(std::make_unique<devsim::DeviceSimulator>(options));
        EXPECT_TRUE(devices.back()->Start()) << devices.back()->LastError();
        return *devices.back();
    }

    // The station with its results file here; ports are read from `roots`.
    std::unique_ptr<CStation> MakeStation(QString cliPath = TOVRANE_CLI_PATH,
                                          PortRoots roots = {}) {
        auto station = std::make_unique<CStation>(StationConfig{std::move(cliPath), roots});
        station->SetResultsFile(ResultsPath());
        station->SetOperation(Operation::UpdateMcu);
        station->SetJournal(false);  // the host's journal is no test's business
        return station;
    }

    // The station with this test's images and a slot for each port.
    std::unique_ptr<CStation> MakeStationWithSlots(const QStringList& ports) {
        auto station = MakeStation();
        station->SetImagesFolder(QString::fromStdString(images.Path().string()));
        for (const QString& port : ports) {
            station->AddGivenPort(port);
        }
        return station;
    }

    QString ResultsPath() const { return QString::fromStdString(results.File("results.jsonl")); }

    std::vector<QJsonObject> StoredResults() const {
        QFile file(ResultsPath());
        std::vector<QJsonObject> lines;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (!line.isEmpty()) {
                    lines.push_back(QJsonDocument::fromJson(line).object());
                }
            }
        }
        return lines;
    }

    static const Slot& SlotOf(CStation& station, const QString& id) {
        return station.Model().At(station.Model().RowOf(id));
    }

    static bool WaitForIdle(CStation& station, int timeoutMs = 60000) {
        return QTest::qWaitFor([&] { return station.RunningCount() == 0; }, timeoutMs);
    }

    TempDir images;
    TempDir results;
    std::vector<std::unique_ptr<devsim::DeviceSimulator>> devices;
};
