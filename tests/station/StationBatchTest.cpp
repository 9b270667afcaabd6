#include "StationFixture.h"

namespace {

TEST_F(StationFixture, ABatchEndsWithTheVerdictOfItsRuns) {
    TempDir home;
    auto& device = StartDevice();
    const QStringList batch{"--port",      QString::fromStdString(device.SlavePath()),
                            "--images",    QString::fromStdString(images.Path().string()),
                            "--start",     "--quit-when-done",
                            "--no-journal"};

    const StationRun passed = RunStation(batch + QStringList{"--results", ResultsPath()}, home);
    EXPECT_EQ(passed.exitCode, 0) << passed.err.toStdString();
    ASSERT_EQ(StoredResults().size(), 1u);
    EXPECT_EQ(StoredResults()[0].value("outcome"), "finished");

    // A results file that cannot be written keeps every run from starting.
    ASSERT_TRUE(device.WaitForConnectionsEnded(1, std::chrono::seconds(5)));
    device.ClearLog();
    const QString unwritable = ResultsPath() + "/results.jsonl";  // below a file
    const StationRun refused = RunStation(batch + QStringList{"--results", unwritable}, home);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("results file")) << refused.err.toStdString();
    EXPECT_TRUE(device.Commands().empty());

    const StationRun wrong = RunStation({"--operation", "flash"}, home);
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.err.contains("--operation")) << wrong.err.toStdString();

    // A station in fixture mode runs until it is ended: a batch has no meaning there.
    const StationRun endless = RunStation({"--quit-when-done", "--auto-start=answer"}, home);
    EXPECT_EQ(endless.exitCode, 2);
    EXPECT_TRUE(endless.err.contains("fixture mode")) << endless.err.toStdString();
}

}  // namespace
