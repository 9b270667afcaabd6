// Fixture mode's cost: 64 slots wait for boards that never come, each holding its
// port (a tovrane-devsim process with the board out) and asking for the version
// about once a second. The station lives in this process with its window shown on
// the offscreen platform. Its CPU time is taken over a stretch of waiting, then
// how late a 10 ms timer on its event loop fires over a second stretch (the
// timer's own wake-ups stay out of the CPU figure).
#include <QCoreApplication>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "BenchStats.h"
#include "Benches.h"
#include "LoopProbe.h"
#include "ProcessUsage.h"
#include "SimulatorProcess.h"
#include "TempDir.h"
#include "station/Station.h"
#include "station/StationWindow.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSlots = 64;
constexpr std::chrono::milliseconds kSettleLimit{30000};
constexpr std::chrono::milliseconds kStretch{20000};
constexpr std::chrono::milliseconds kProbeInterval{10};
constexpr double kCpuGoalPercent = 5;
constexpr double kLatenessGoalMs = 50;

void RunLoopFor(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

// Whether every slot holds its port and waits for a board; looked at every 100 ms
// until `limit` has passed.
bool AllWaitForBoards(CStation& station, std::chrono::milliseconds limit) {
    const auto allWait = [&station] {
        const CSlotModel& model = station.Model();
        for (int row = 0; row < model.Count(); ++row) {
            const Slot& slot = model.At(row);
            if (slot.boardWait != BoardWait::ForBoard || !slot.Usable()) {
                return false;
            }
        }
        return model.Count() == kSlots;
    };
    const auto start = Clock::now();
    while (!allWait()) {
        if (Clock::now() - start >= limit) {
            return false;
        }
        RunLoopFor(std::chrono::milliseconds(100));
    }
    return true;
}

double Seconds(std::chrono::milliseconds time) {
    return std::chrono::duration<double>(time).count();
}

}  // namespace

bool BenchFixture() {
    std::vector<std::unique_ptr<SimulatorProcess>> devices;
    for (int i = 0; i < kSlots; ++i) {
        devices.push_back(
            std::make_unique<SimulatorProcess>(std::vector<std::string>{"--board-out"}));
        if (devices.back()->Path().empty()) {
            std::fprintf(stderr, "fixture: tovrane-devsim %d of %d did not start\n", i + 1, kSlots);
            return false;
        }
    }
    const TempDir work;
    QSettings settings(QString::fromStdString(work.File("station.ini")), QSettings::IniFormat);
    CStation station({QCoreApplication::applicationDirPath() + QStringLiteral("/tovrane-cli"), {}});
    station.SetResultsFile(QString::fromStdString(work.File("results.jsonl")));
    station.SetOperation(Operation::ReadVersion);
    for (const auto& device : devices) {
        station.AddGivenPort(QString::fromStdString(device->Path()));
    }
    CStationWindow window(station, settings, StationSettings{});
    window.show();
    station.SetAutoStartMode(AutoStartMode::Answer);
    station.SetAutoStart(true);
    const bool waiting = AllWaitForBoards(station, kSettleLimit);

    const double cpuBefore = ProcessCpuMs();
    RunLoopFor(kStretch);
    const double cpuMs = ProcessCpuMs() - cpuBefore;
    LoopProbe probe(kProbeInterval);
    probe.Start();
    RunLoopFor(kStretch);
    probe.Stop();
    const bool stillWaiting = AllWaitForBoards(station, std::chrono::milliseconds(0));
    const bool noRun = station.Counters().passed + station.Counters().failed == 0;

    const double percent = cpuMs / (Seconds(kStretch) * 1000) * 100;
    char value[200];
    std::snprintf(value, sizeof value,
                  "%d slots probing%s: %.2f %% of one core (%.0f ms in %.0f s), %.3f %% a slot",
                  kSlots, waiting && stillWaiting && noRun ? "" : " (NOT ALL WAITING)", percent,
                  cpuMs, Seconds(kStretch), percent / kSlots);
    const bool cpuMet = waiting && stillWaiting && noRun && percent < kCpuGoalPercent;
    PrintRow("fixture, 64 slots", value, "< 5 % of one core", cpuMet);
    const Distribution late = Summarise(probe.LatenessUs());
    std::snprintf(value, sizeof value,
                  "10 ms timer late by median %.1f ms, p99 %.1f ms, max %.1f ms (%zu)",
                  late.median / 1000, late.p99 / 1000, late.max / 1000, probe.LatenessUs().size());
    const bool lateMet = !probe.LatenessUs().empty() && late.p99 / 1000 < kLatenessGoalMs;
    PrintRow("  fixture event loop", value, "p99 < 50 ms", lateMet);
    station.SetAutoStart(false);
    return cpuMet && lateMet;
}
