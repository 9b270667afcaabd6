#include "station/CsvExportCommand.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>

#include "station/CsvExport.h"
#include "station/ResultsFile.h"
#include "station/StationOptions.h"
#include "station/StationSettings.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

// The file the window would append to: --results, else the one remembered.
QString ResultsFileOf(const StationOptions& options) {
    if (options.results) {
        return QFileInfo(*options.results).absoluteFilePath();
    }
    QSettings settings(QStringLiteral("Tovrane"), QStringLiteral("tovrane-station"));
    StationSettings defaults;
    defaults.resultsFile = DefaultResultsFile();
    return LoadStationSettings(settings, defaults).resultsFile;
}

void Say(std::FILE* stream, const QString& text) {
    std::fprintf(stream, "tovrane-station: %s\n", text.toLocal8Bit().constData());
}

}  // namespace

int RunCsvExportCommand(const StationOptions& options) {
    const QString results = ResultsFileOf(options);
    const CsvExportResult exported =
        ExportRunsToCsv(results, options.exportCsv, options.exportFilter);
    if (!exported.error.isEmpty()) {
        Say(stderr, exported.error);
        return kExitFailed;
    }
    if (exported.unreadable > 0) {
        Say(stderr, QCoreApplication::translate("CsvExportCommand", "%n lines could not be read",
                                                nullptr, exported.unreadable));
    }
    Say(stdout, QCoreApplication::translate("CsvExportCommand", "%n run(s) from %1 written to %2",
                                            nullptr, exported.rows)
                    .arg(results, options.exportCsv));
    return kExitOk;
}
