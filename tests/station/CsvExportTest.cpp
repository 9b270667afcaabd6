#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include "TempDir.h"

namespace {

const QString kTrickyWorkOrder = R"(WO-17, "rush")";

struct Exit {
    int code = -1;
    QString out;
    QString err;
};

Exit Execute(const QString& program, const QStringList& arguments, const TempDir& home) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(home.File("config")));
    environment.remove("DISPLAY");
    environment.remove("QT_QPA_PLATFORM");  // the command must not need a display
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(30000)) << program.toStdString();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// The rows of a CSV file as Python's csv module reads them, header names as keys.
QJsonArray RowsByPython(const QString& csvPath, const TempDir& home) {
    const QString python = QStandardPaths::findExecutable("python3");
    EXPECT_FALSE(python.isEmpty()) << "python3 reads the CSV independently; install it";
    const Exit read = Execute(python,
                              {"-c",
                               "import csv, json, sys\n"
                               "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                               "    print(json.dumps(list(csv.DictReader(f, strict=True))))\n",
                               csvPath},
                              home);
    EXPECT_EQ(read.code, 0) << read.err.toStdString();
    return QJsonDocument::fromJson(read.out.toUtf8()).array();
}

QByteArray Line(const QJsonObject& run) {
    return QJsonDocument(run).toJson(QJsonDocument::Compact) + '\n';
}

std::string ResultsWithATrickyWorkOrder() {
    const QJsonObject bundleRun{
        {"event", "result"},
        {"run_id", "0b6f3d2e-8c1a-4f5e-9d7b-2a4c6e8f0a1b"},
        {"slot", "1-2.3"},
        {"outcome", "finished"},
        {"operation", "bundle"},
        {"station_time", "2026-12-08T10:00:00.000Z"},
        {"work_order", kTrickyWorkOrder},
        {"operator", QJsonValue::Null},
        {"attempt", 2},
        {"verified", true},
        {"duration_ms", 27767},
        {"bundle",
         QJsonObject{{"name", "ctrl"}, {"release", "2.4.1"}, {"signer", QJsonValue::Null}}},
    };
    QJsonObject otherOrder = bundleRun;
    otherOrder["work_order"] = "WO-18";
    QJsonObject failed = bundleRun;
    failed["outcome"] = "write_fail";
    failed["detail"] = "block 200 of 321 refused: Sr\nsecond line";
    return (Line(bundleRun) + Line(otherOrder) + Line(failed)).toStdString();
}

// A results file of three runs and the CSV's place beside it.
struct CsvExport : testing::Test {
    const TempDir folder;
    const QString results =
        QString::fromStdString(folder.Write("results.jsonl", ResultsWithATrickyWorkOrder()));
    const QString csv = QString::fromStdString(folder.File("runs.csv"));
};

TEST_F(CsvExport, AWorkOrderWithACommaAndAQuoteSurvivesARealCsvReader) {
    const Exit exported = Execute(TOVRANE_STATION_PATH,
                                  {"--export-csv", csv, "--results", results, "--work-order",
                                   kTrickyWorkOrder, "--since", "2026-12-08T09:00Z"},
                                  folder);
    ASSERT_EQ(exported.code, 0) << exported.err.toStdString();

    const QJsonArray rows = RowsByPython(csv, folder);
    ASSERT_EQ(rows.size(), 2);  // WO-18's run is left out
    const QJsonObject first = rows[0].toObject();
    EXPECT_EQ(first["work_order"].toString(), kTrickyWorkOrder);
    EXPECT_EQ(first["slot"].toString(), "1-2.3");
    EXPECT_EQ(first["run_id"].toString(), "0b6f3d2e-8c1a-4f5e-9d7b-2a4c6e8f0a1b");
    EXPECT_EQ(first["attempt"].toString(), "2");
    EXPECT_EQ(first["duration_ms"].toString(), "27767");
    EXPECT_EQ(first["verified"].toString(), "true");
    EXPECT_EQ(first["operator"].toString(), "");
    EXPECT_EQ(first["bundle_name"].toString(), "ctrl");
    EXPECT_EQ(first["bundle_release"].toString(), "2.4.1");
    EXPECT_FALSE(first.contains("bundle"));  // spread over its own columns
    // DictReader files surplus fields under null, which JSON names "null".
    EXPECT_FALSE(first.contains("null"));
    EXPECT_EQ(rows[1].toObject()["detail"].toString(), "block 200 of 321 refused: Sr\nsecond line");
}

TEST_F(CsvExport, TheCommandSaysWhyItWroteNothing) {
    const Exit missing = Execute(TOVRANE_STATION_PATH,
                                 {"--export-csv", csv, "--results", results + ".gone"}, folder);
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(missing.err.contains("results file")) << missing.err.toStdString();
    EXPECT_FALSE(QFile::exists(csv));

    // The CSV must never take the results file's place.
    const QByteArray before = QByteArray::fromStdString(ResultsWithATrickyWorkOrder());
    const Exit onto =
        Execute(TOVRANE_STATION_PATH, {"--export-csv", results, "--results", results}, folder);
    EXPECT_EQ(onto.code, 1);
    QFile kept(results);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), before);

    const Exit wrongTime =
        Execute(TOVRANE_STATION_PATH,
                {"--export-csv", csv, "--results", results, "--since", "Monday"}, folder);
    EXPECT_EQ(wrongTime.code, 2);
    EXPECT_TRUE(wrongTime.err.contains("--since")) << wrongTime.err.toStdString();
}

}  // namespace
