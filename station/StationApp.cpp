#include "station/StationApp.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>
#include <cstdio>

#include "station/BatchControl.h"
#include "station/CsvExportCommand.h"
#include "station/SignalEnding.h"
#include "station/Station.h"
#include "station/StationOptions.h"
#include "station/StationWindow.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

QStringList ArgumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

// The desktop's language, for the station's texts and Qt's own (dialog buttons).
void InstallTranslations(QTranslator& station, QTranslator& qt) {
    if (station.load(QLocale(), QStringLiteral("tovrane-station"), QStringLiteral("_"),
                     QStringLiteral(":/i18n"))) {
        QCoreApplication::installTranslator(&station);
    }
    if (qt.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&qt);
    }
}

int UsageFailure(const QString& reason) {
    std::fprintf(stderr, "tovrane-station: %s\n%s\n", reason.toLocal8Bit().constData(),
                 QCoreApplication::translate("StationApp", "Try 'tovrane-station --help'.")
                     .toLocal8Bit()
                     .constData());
    return kExitUsage;
}

// --help, --version, --export-csv and a wrong command line, without a window.
int AnswerWithoutWindow(int argc, char** argv, const QStringList& arguments) {
    QCoreApplication app(argc, argv);
    QTranslator station;
    QTranslator qt;
    InstallTranslations(station, qt);
    const StationOptions options = ParseStationArguments(arguments);
    switch (options.action) {
        case StationOptions::Action::Help:
            std::fputs(StationUsage().toLocal8Bit().constData(), stdout);
            return kExitOk;
        case StationOptions::Action::Version:
            std::printf("tovrane-station %s\n", TOVRANE_VERSION);
            return kExitOk;
        case StationOptions::Action::ExportCsv:
            return RunCsvExportCommand(options);
        case StationOptions::Action::UsageError:
        case StationOptions::Action::Run:
            break;
    }
    return UsageFailure(options.error);
}

// A path as given, made absolute against the working folder of the station.
QString Absolute(const std::optional<QString>& given, const QString& otherwise) {
    return given ? QFileInfo(*given).absoluteFilePath() : otherwise;
}

// The bundle given, else the one open last time unless the command line asks for
// an operation of its own.
void OpenBundle(CStation& station, const StationOptions& options, const StationSettings& saved) {
    if (!options.allowedSigners.isEmpty()) {
        station.Bundle().SetAllowedSigners(QFileInfo(options.allowedSigners).absoluteFilePath());
    }
    const bool ownOperation = options.operation || options.requireVerify;
    station.Bundle().SetBundle(Absolute(options.bundle, ownOperation ? QString() : saved.bundle));
}

// The session's values: what the command line gives, else what was remembered.
void Configure(CStation& station, const StationOptions& options, const StationSettings& saved) {
    station.SetOperation(options.operation.value_or(saved.operation));
    station.SetRequireVerify(options.requireVerify || saved.requireVerify);
    station.SetResultsFile(Absolute(options.results, saved.resultsFile));
    station.SetImagesFolder(Absolute(options.images, saved.imagesFolder));
    OpenBundle(station, options, saved);
    station.SetOperator(options.operatorName.value_or(saved.operatorName));
    station.SetWorkOrder(options.workOrder.value_or(saved.workOrder));
    station.SetJournal(!options.noJournal && saved.journal);
    for (const QString& port : options.ports) {
        station.AddGivenPort(port);
    }
    station.RescanPorts();
    station.SetAutoStartMode(options.autoStart.value_or(saved.autoStartMode));
    station.SetAutoStart(options.autoStart.has_value() || saved.autoStart);
}

}  // namespace

int RunStation(int argc, char** argv) {
    const QStringList arguments = ArgumentsOf(argc, argv);
    const StationOptions options = ParseStationArguments(arguments);
    if (options.action != StationOptions::Action::Run) {
        return AnswerWithoutWindow(argc, argv, arguments);
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tovrane"));
    QApplication::setApplicationName(QStringLiteral("tovrane-station"));
    QApplication::setApplicationVersion(QStringLiteral(TOVRANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tovrane-station"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tovrane/tovrane-station.png")));
    QTranslator stationTexts;
    QTranslator qtTexts;
    InstallTranslations(stationTexts, qtTexts);

    const QString programFolder = QCoreApplication::applicationDirPath();
    StationSettings defaults;
    defaults.imagesFolder = programFolder;
    defaults.resultsFile = DefaultResultsFile();
    QSettings settings;
    const StationSettings saved = LoadStationSettings(settings, defaults);
    if (options.quitWhenDone && !options.autoStart && saved.autoStart &&
        saved.autoStartMode == AutoStartMode::Answer) {
        return UsageFailure(QuitWhenDoneInFixtureMode());
    }

    CStation station({programFolder + QStringLiteral("/tovrane-cli"), {}});
    CSignalEnding signalEnding(station, options.quitWhenDone);
    Configure(station, options, saved);
    CStationWindow window(station, settings, saved);
    window.SetLocked(options.locked);
    window.show();
    CBatchControl batch(station, options.start, options.quitWhenDone);
    return QApplication::exec();
}
