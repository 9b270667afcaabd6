// The station's yield view over a results file of 100,000 runs: the time from
// asking for the view until its figures are ready (the file read on a pool
// thread, every line parsed, the slots counted), and how late the event loop
// serves a 10 ms timer meanwhile. Then the time to take in one more batch
// appended to the file, as the open view does after each batch.
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QUuid>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>

#include "BenchStats.h"
#include "Benches.h"
#include "LoopProbe.h"
#include "TempDir.h"
#include "station/YieldSource.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLines = 100000;
constexpr int kSlots = 64;
constexpr int kRepeats = 3;
constexpr std::chrono::milliseconds kProbeInterval{10};
constexpr std::chrono::milliseconds kReadLimit{60000};
constexpr double kGoalSeconds = 1.0;
constexpr double kLatenessGoalMs = 50;

// A stored run as the station writes it, with every field a run has.
QByteArray StoredLine(int index, const QDateTime& start) {
    const int slot = index % kSlots;
    const bool retry = index % 23 == 0;
    const bool failed = index % 17 == 0 || (slot == 5 && index % 3 == 0);
    const QJsonObject run{
        {"event", "result"},
        {"run_id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
        {"t_ms", 27767},
        {"exit", failed ? 1 : 0},
        {"outcome", failed ? "write_fail" : "finished"},
        {"port", QStringLiteral("/dev/ttyUSB%1").arg(slot)},
        {"operation", "mcu"},
        {"loader", "new"},
        {"image", "/opt/tovrane/mcu_new.mot"},
        {"sha256", "e93c39ac9b88aad62988674b322341cd67d5554c4ff74f935b61e0a2f2f56d52"},
        {"blocks_written", failed ? 200 : 321},
        {"blocks_total", 321},
        {"verified", !failed},
        {"erase_ms", 10},
        {"program_ms", 20625},
        {"version", QJsonValue::Null},
        {"duration_ms", 27767 + index % 1000},
        {"tool_version", "1.0.0"},
        {"detail", failed ? QJsonValue("block 200 of 321 refused: Sr") : QJsonValue()},
        {"slot", QStringLiteral("1-%1.%2").arg(slot / 8 + 1).arg(slot % 8 + 1)},
        {"station_time", start.addSecs(index).toString(Qt::ISODateWithMs)},
        {"host", "line-3"},
        {"station_id", "0123456789abcdef0123456789abcdef"},
        {"operator", "Li Wei"},
        {"work_order", QStringLiteral("WO-%1").arg(index / 20000)},
        {"attempt", retry ? 2 : 1},
    };
    return QJsonDocument(run).toJson(QJsonDocument::Compact) + '\n';
}

bool WriteResults(const QString& path, int first, int count) {
    QFile file(path);
    if (!file.open(QIODevice::Append)) {
        return false;
    }
    const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-kLines);
    for (int i = first; i < first + count; ++i) {
        if (file.write(StoredLine(i, start)) < 0) {
            return false;
        }
    }
    return file.flush();
}

struct Timed {
    double seconds = 0;
    std::optional<YieldReport> report;
};

// Asks the source and runs the event loop until its figures come.
Timed TimeReport(CYieldSource& source, const std::function<void()>& ask) {
    Timed timed;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    const QMetaObject::Connection ready =
        QObject::connect(&source, &CYieldSource::Ready, &loop, [&](const YieldReport& report) {
            timed.report = report;
            loop.quit();
        });
    const auto start = Clock::now();
    ask();
    limit.start(kReadLimit);
    loop.exec();
    timed.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    QObject::disconnect(ready);
    return timed;
}

}  // namespace

bool BenchYield() {
    const TempDir folder;
    const QString path = QString::fromStdString(folder.File("results.jsonl"));
    if (!WriteResults(path, 0, kLines)) {
        std::fprintf(stderr, "yield: the results file could not be written\n");
        return false;
    }
    CYieldSource source;
    LoopProbe probe(kProbeInterval);
    probe.Start();
    std::vector<double> seconds;
    std::optional<YieldReport> report;
    for (int i = 0; i < kRepeats; ++i) {
        Timed timed = TimeReport(source, [&] { source.Reread(path, {}); });
        seconds.push_back(timed.seconds);
        report = std::move(timed.report);
    }
    probe.Stop();
    const Distribution late = Summarise(probe.LatenessUs());
    const Distribution whole = Summarise(seconds);
    const bool complete = report && report->runs == kLines && report->readError.isEmpty();

    WriteResults(path, kLines, kSlots);
    const Timed appended = TimeReport(source, [&] { source.Update(path, {}); });
    const bool tookAppend = appended.report && appended.report->runs == kLines + kSlots;

    char value[200];
    std::snprintf(value, sizeof value, "100,000 lines in %.0f ms (median of %d, slowest %.0f ms)%s",
                  whole.median * 1000, kRepeats, whole.max * 1000,
                  complete ? "" : " (NOT ALL RUNS COUNTED)");
    const bool met = complete && whole.max < kGoalSeconds;
    PrintRow("station yield view", value, "< 1 s", met);
    std::snprintf(value, sizeof value,
                  "10 ms timer late by median %.1f ms, p99 %.1f ms, max %.1f ms (%zu)",
                  late.median / 1000, late.p99 / 1000, late.max / 1000, probe.LatenessUs().size());
    const bool lateMet = !probe.LatenessUs().empty() && late.p99 / 1000 < kLatenessGoalMs;
    PrintRow("  event loop meanwhile", value, "p99 < 50 ms", lateMet);
    std::snprintf(value, sizeof value, "%d lines appended taken in within %.1f ms%s", kSlots,
                  appended.seconds * 1000, tookAppend ? "" : " (NOT TAKEN IN)");
    PrintLine("  one more batch", value, "(no goal)", "");
    return met && lateMet && tookAppend;
}
