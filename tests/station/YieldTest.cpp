#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <string>

#include "TempDir.h"
#include "station/ResultsFile.h"
#include "station/YieldSource.h"
#include "station/YieldStatistics.h"

namespace {

StoredRun RunOf(const QString& slot, int attempt, const QString& outcome,
                qint64 durationMs = 1000) {
    StoredRun run;
    run.slot = slot;
    run.attempt = attempt;
    run.outcome = outcome;
    run.passed = outcome == "finished";
    run.durationMs = durationMs;
    return run;
}

// `runs` runs of `slot`, each a new board's first attempt; the first `failures` fail with
// `outcome`.
void AddBoards(std::vector<StoredRun>& runs, const QString& slot, int count, int failures = 0,
               const QString& outcome = "write_fail") {
    for (int i = 0; i < count; ++i) {
        runs.push_back(RunOf(slot, 1, i < failures ? outcome : QString("finished")));
    }
}

const SlotYield& SlotNamed(const YieldReport& report, const QString& slot) {
    for (const SlotYield& yield : report.perSlot) {
        if (yield.slot == slot) {
            return yield;
        }
    }
    throw std::runtime_error("no slot " + slot.toStdString());
}

TEST(YieldStatistics, FirstPassYieldCountsOnlyABoardsFirstAttempt) {
    const std::vector<StoredRun> runs{
        RunOf("1-2", 1, "write_fail", 4000),  // a board failed, then passed on its retry
        RunOf("1-2", 2, "finished", 3000),
        RunOf("1-2", 1, "finished", 1000),  // the next board passed at once
        RunOf("1-2", 0, "finished", 2000),  // a line from before attempts were stored
    };
    const YieldReport report = ComputeYield(runs, {});
    ASSERT_EQ(report.perSlot.size(), 1u);
    const SlotYield& slot = report.perSlot[0];
    EXPECT_EQ(slot.runs, 4);
    EXPECT_EQ(slot.passed, 3);
    EXPECT_EQ(slot.failed, 1);
    EXPECT_EQ(slot.boards, 2);
    ASSERT_TRUE(slot.firstPassYield.has_value());
    EXPECT_DOUBLE_EQ(*slot.firstPassYield, 50.0);
    EXPECT_EQ(slot.medianDurationMs, 2500);

    // A slot known only from older lines has runs but no first-pass yield.
    const YieldReport older = ComputeYield({RunOf("1-3", 0, "finished")}, {});
    ASSERT_EQ(older.perSlot.size(), 1u);
    EXPECT_EQ(older.perSlot[0].runs, 1);
    EXPECT_FALSE(older.perSlot[0].firstPassYield.has_value());
}

TEST(YieldStatistics, FlagsASlotWithEnoughRunsFarBelowTheMedian) {
    std::vector<StoredRun> runs;
    for (const char* slot : {"1-1", "1-2", "1-3", "1-4"}) {
        AddBoards(runs, slot, 5);  // 100 %
    }
    AddBoards(runs, "1-5", 5, 1);                 // 80 %: exactly 20 points below
    AddBoards(runs, "1-6", 4, 4, "verify_fail");  // 0 %, but only 4 runs
    AddBoards(runs, "1-7", 6, 1, "tool_error");   // 83 %: under 20 points below
    const YieldReport report = ComputeYield(runs, {});

    EXPECT_EQ(report.medianFirstPassYield, 100.0);
    EXPECT_FALSE(SlotNamed(report, "1-1").flagged);
    EXPECT_TRUE(SlotNamed(report, "1-5").flagged);
    EXPECT_FALSE(SlotNamed(report, "1-6").flagged);
    EXPECT_FALSE(SlotNamed(report, "1-7").flagged);

    ASSERT_EQ(report.failures.size(), 3u);  // largest first
    EXPECT_EQ(report.failures[0].outcome, "verify_fail");
    EXPECT_EQ(report.failures[0].count, 4);
    EXPECT_EQ(report.failures[1].count, 1);
}

std::string Line(const QString& slot, const QString& outcome) {
    return QJsonDocument(QJsonObject{{"event", "result"},
                                     {"slot", slot},
                                     {"outcome", outcome},
                                     {"station_time", "2026-12-08T10:00:00.000Z"},
                                     {"attempt", 1}})
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

QByteArray Bytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A power cut mid-append, junk and an over-long line: the good lines are read,
// the bad ones counted, and the file is left as it was.
TEST(ResultsReading, CountsBadLinesAndLeavesTheFileAlone) {
    const TempDir folder;
    const std::string path = folder.Write(
        "results.jsonl", Line("1-1", "finished") + "\nnot json\n\n[1,2]\n{\"slot\":\"1-1\"}\n" +
                             std::string(kMaxResultLineBytes + 10, 'x') + "\n" +
                             Line("1-2", "write_fail") + "\n" + R"({"event":"result","outc)");
    const QByteArray before = Bytes(path);

    const YieldUpdate first = UpdateYield({}, QString::fromStdString(path), {});
    EXPECT_TRUE(first.report.readError.isEmpty()) << first.report.readError.toStdString();
    EXPECT_EQ(first.report.runs, 2);
    EXPECT_EQ(first.report.failed, 1);
    EXPECT_EQ(first.report.unreadableLines, 5);  // junk, array, no outcome, too long, torn
    EXPECT_EQ(Bytes(path), before);

    // The station's next append starts a line of its own, and only it is read anew.
    ASSERT_EQ(AppendResultLine(QString::fromStdString(path),
                               QByteArray::fromStdString(Line("1-3", "finished"))),
              QString());
    const YieldUpdate second = UpdateYield(first.snapshot, QString::fromStdString(path), {});
    EXPECT_EQ(second.report.runs, 3);
    EXPECT_EQ(second.report.unreadableLines, 5);
    EXPECT_EQ(second.report.perSlot.back().slot, "1-3");
}

}  // namespace
