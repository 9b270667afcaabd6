// Many devices at once: 64 simulated devices (tovrane-devsim --pace, the line at
// 9600 baud) are updated through the new MCU loader in one run of the station,
// which lives in this process with its window shown on the offscreen platform;
// each slot's run is a tovrane-cli child. One device alone goes first with the
// same image, as the reference for the batch's wall time. While the runs go on, a
// 10 ms timer probes how late the station's event loop serves it, and the
// station's CPU time and memory and its children's memory are taken. The
// simulators' and the children's CPU time (from the kernel's accounts of reaped
// children) show where the machine's time went.
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSettings>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchStats.h"
#include "Benches.h"
#include "ChildRssSampler.h"
#include "LoopProbe.h"
#include "ProcessUsage.h"
#include "SimulatorProcess.h"
#include "TempDir.h"
#include "app/demo/DemoImages.h"
#include "station/Station.h"
#include "station/StationWindow.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDevices = 64;
// Blocks of 16 bytes: one device's update takes about 25 s at 9600 baud.
constexpr int kImageRecords = 300;
constexpr std::chrono::milliseconds kProbeInterval{10};
constexpr std::chrono::milliseconds kRssPeriod{200};
constexpr std::chrono::milliseconds kImageCheckLimit{60000};
constexpr std::chrono::milliseconds kBatchLimit{600000};
// Stopped children end within their grace period and their results are stored.
constexpr std::chrono::milliseconds kStopLimit{15000};
constexpr double kWallGoal = 1.10;  // of one device alone
constexpr double kLatenessGoalMs = 50;

const std::vector<std::string> kDeviceArguments{"--dsp=none", "--mcu=new", "--erase-ms=2000",
                                                "--pace"};

struct Setup {
    QString cliPath;
    QString images;
    QString work;  // results files and settings
};

struct Batch {
    int devices = 0;
    int passed = 0;
    bool allStored = false;
    double seconds = 0;
    double stationCpuMs = 0;
    double clisCpuMs = 0;
    double devicesCpuMs = 0;
    double samplerCpuMs = 0;  // this benchmark's own reading of /proc
    MachineCpu machine;       // every process's, during the batch
    Distribution latenessUs;
    size_t probes = 0;
    long stationPeakKb = 0;
    long stationGrowthKb = 0;
    long clisPeakKb = 0;
    int clisAtPeak = 0;
    Distribution runSeconds;
    double lastStartSeconds = 0;  // after the first run started

    bool AllPassed() const { return devices > 0 && passed == devices && allStored; }
};

using Devices = std::vector<std::unique_ptr<SimulatorProcess>>;

// Every simulator running with its port path, or none (those started are ended).
Devices StartDevices(int count) {
    Devices devices;
    for (int i = 0; i < count; ++i) {
        devices.push_back(std::make_unique<SimulatorProcess>(kDeviceArguments));
        if (devices.back()->Path().empty()) {
            std::fprintf(stderr, "station: tovrane-devsim %d of %d did not start\n", i + 1, count);
            return {};
        }
    }
    return devices;
}

// Runs the event loop until `done` holds, checked whenever `sender` emits
// `signal`, or until `limit` has passed; whether `done` holds.
template <typename Sender, typename Signal>
bool WaitFor(Sender* sender, Signal signal, const std::function<bool()>& done,
             std::chrono::milliseconds limit) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(sender, signal, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    timer.start(limit);
    loop.exec();
    return done();
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// How long each slot's run took and how the starts were spread.
void NoteRunTimes(const CSlotModel& model, Batch& batch) {
    std::vector<double> seconds;
    qint64 firstMs = 0;
    qint64 lastMs = 0;
    for (int row = 0; row < model.Count(); ++row) {
        const Slot& slot = model.At(row);
        seconds.push_back(static_cast<double>(slot.durationMs.value_or(0)) / 1000);
        firstMs = row == 0 ? slot.startedMs : std::min(firstMs, slot.startedMs);
        lastMs = std::max(lastMs, slot.startedMs);
    }
    batch.runSeconds = Summarise(std::move(seconds));
    batch.lastStartSeconds = static_cast<double>(lastMs - firstMs) / 1000;
}

bool WaitForAllEnded(CStation& station, std::chrono::milliseconds limit) {
    return WaitFor(
        &station, &CStation::AllRunsEnded, [&] { return station.RunningCount() == 0; }, limit);
}

// The station's memory and loop lateness and the children's memory, once they ended.
void NoteInstruments(const LoopProbe& probe, const ChildRssSampler& clis, long rssBefore,
                     Batch& batch) {
    batch.samplerCpuMs = clis.OwnCpuMs();
    batch.clisPeakKb = clis.PeakKb();
    batch.clisAtPeak = clis.ChildrenAtPeak();
    batch.latenessUs = Summarise(probe.LatenessUs());
    batch.probes = probe.LatenessUs().size();
    batch.stationPeakKb = PeakRssKb();
    batch.stationGrowthKb = batch.stationPeakKb - rssBefore;
}

// Start all, then the loop until the last result is stored; the station's
// figures are taken meanwhile. Runs still going at the limit are stopped.
void MeasureRuns(CStation& station, Batch& batch) {
    const long rssBefore = CurrentRssKb();
    ResetPeakRss();
    const double cpuBefore = ProcessCpuMs();
    const double childrenBefore = ReapedChildrenCpuMs();
    const MachineCpu machineBefore = MachineCpuMs();
    ChildRssSampler clis("tovrane-cli", kRssPeriod);
    LoopProbe probe(kProbeInterval);
    probe.Start();
    const auto start = Clock::now();
    const bool ended = station.StartAll() == batch.devices && WaitForAllEnded(station, kBatchLimit);
    batch.seconds = SecondsSince(start);
    const MachineCpu machineAfter = MachineCpuMs();
    batch.machine = {machineAfter.busyMs - machineBefore.busyMs,
                     machineAfter.stealMs - machineBefore.stealMs};
    probe.Stop();
    clis.Stop();
    batch.stationCpuMs = ProcessCpuMs() - cpuBefore - clis.OwnCpuMs();
    NoteInstruments(probe, clis, rssBefore, batch);
    if (!ended) {
        std::fprintf(stderr, "station: %d runs still going after %.0f s; stopping them\n",
                     station.RunningCount(), batch.seconds);
        station.StopAll();
        WaitForAllEnded(station, kStopLimit);
    }
    batch.clisCpuMs = ReapedChildrenCpuMs() - childrenBefore;
    batch.passed = station.Counters().passed;
    batch.allStored = station.AllPassedAndStored();
    NoteRunTimes(station.Model(), batch);
}

// `count` devices updated in one station run, its window shown.
Batch RunBatch(const Setup& setup, int count) {
    Batch batch;
    batch.devices = count;
    Devices devices = StartDevices(count);
    if (devices.empty()) {
        return batch;
    }
    QSettings settings(setup.work + QStringLiteral("/station.ini"), QSettings::IniFormat);
    CStation station({setup.cliPath, {}});
    station.SetResultsFile(QStringLiteral("%1/results-%2.jsonl").arg(setup.work).arg(count));
    station.SetOperation(Operation::UpdateMcu);
    station.SetImagesFolder(setup.images);
    for (const auto& device : devices) {
        station.AddGivenPort(QString::fromStdString(device->Path()));
    }
    CStationWindow window(station, settings, StationSettings{});
    window.show();
    WaitFor(
        &station.Images(), &CImageFolderCheck::Changed,
        [&] { return !station.Images().Checking(); }, kImageCheckLimit);
    if (const QString blocker = station.StartBlocker(); !blocker.isEmpty()) {
        std::fprintf(stderr, "station: %s\n", blocker.toLocal8Bit().constData());
        return batch;
    }
    MeasureRuns(station, batch);
    const double childrenBefore = ReapedChildrenCpuMs();
    devices.clear();
    batch.devicesCpuMs = ReapedChildrenCpuMs() - childrenBefore;
    return batch;
}

const char* Passed(const Batch& batch) {
    return batch.AllPassed() ? "" : " (NOT ALL PASSED)";
}

bool PrintWallTime(const Batch& one, const Batch& many) {
    const double ratio = one.seconds > 0 ? many.seconds / one.seconds : 0;
    char value[200];
    std::snprintf(value, sizeof value, "%d of %d passed in %.1f s; one alone %.1f s%s: %+.1f %%",
                  many.passed, many.devices, many.seconds, one.seconds, Passed(one),
                  (ratio - 1) * 100);
    const bool met = one.AllPassed() && many.AllPassed() && ratio <= kWallGoal;
    PrintRow("station, 64 devices", value, "<= +10 % of one alone", met);
    return met;
}

bool PrintLateness(const Batch& batch) {
    const Distribution& late = batch.latenessUs;
    char value[200];
    std::snprintf(value, sizeof value,
                  "10 ms timer late by median %.1f ms, p99 %.1f ms, max %.1f ms (%zu)",
                  late.median / 1000, late.p99 / 1000, late.max / 1000, batch.probes);
    const bool met = batch.probes > 0 && late.p99 / 1000 < kLatenessGoalMs;
    PrintRow("  station event loop", value, "p99 < 50 ms", met);
    return met;
}

void PrintCpu(const Batch& batch) {
    const double deviceMinutes = batch.devices * batch.seconds / 60;
    char value[200];
    std::snprintf(value, sizeof value, "%.2f s per device-minute (%.1f s for %d x %.2f min)",
                  deviceMinutes > 0 ? batch.stationCpuMs / 1000 / deviceMinutes : 0,
                  batch.stationCpuMs / 1000, batch.devices, batch.seconds / 60);
    PrintLine("  station CPU", value, "(no goal)", "");
    const double othersMs = batch.machine.busyMs - batch.stationCpuMs - batch.samplerCpuMs -
                            batch.clisCpuMs - batch.devicesCpuMs;
    std::snprintf(value, sizeof value,
                  "station %.1f s, CLIs %.1f s, devsims %.1f s, others %.1f s, steal %.1f s",
                  batch.stationCpuMs / 1000, batch.clisCpuMs / 1000, batch.devicesCpuMs / 1000,
                  othersMs / 1000, batch.machine.stealMs / 1000);
    char goal[64];
    std::snprintf(goal, sizeof goal, "(of %ld cores x %.1f s)", sysconf(_SC_NPROCESSORS_ONLN),
                  batch.seconds);
    PrintLine("  CPU by process", value, goal, "");
    std::snprintf(value, sizeof value,
                  "median %.1f s, slowest %.1f s; last started %.2f s after first",
                  batch.runSeconds.median, batch.runSeconds.max, batch.lastStartSeconds);
    PrintLine("  each run", value, "(where the time went)", "");
}

void PrintMemory(const Batch& batch) {
    char value[200];
    std::snprintf(value, sizeof value, "peak RSS %ld kB, %+ld kB during the batch",
                  batch.stationPeakKb, batch.stationGrowthKb);
    PrintLine("  station memory", value, "(no goal)", "");
    std::snprintf(value, sizeof value, "peak sum of RSS %ld kB over %d tovrane-cli (%ld kB each)",
                  batch.clisPeakKb, batch.clisAtPeak,
                  batch.clisAtPeak > 0 ? batch.clisPeakKb / batch.clisAtPeak : 0);
    PrintLine("  children's memory", value, "(no goal)", "");
}

}  // namespace

bool BenchStation() {
    const TempDir images;
    const TempDir work;
    if (!WriteDemoImages(images.Path().string(), kImageRecords)) {
        std::fprintf(stderr, "station: the sample images could not be written\n");
        return false;
    }
    const Setup setup{QCoreApplication::applicationDirPath() + QStringLiteral("/tovrane-cli"),
                      QString::fromStdString(images.Path().string()),
                      QString::fromStdString(work.Path().string())};
    const Batch one = RunBatch(setup, 1);
    const Batch many = RunBatch(setup, kDevices);
    const bool wallMet = PrintWallTime(one, many);
    const bool latenessMet = PrintLateness(many);
    PrintCpu(many);
    PrintMemory(many);
    const bool fixtureMet = BenchFixture();
    return wallMet && latenessMet && fixtureMet;
}
