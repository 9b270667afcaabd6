#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "station/AutoStartMode.h"
#include "station/Operation.h"
#include "station/StoredRun.h"

// What tovrane-station's command line asks for. Values not given keep what the
// station remembers from its last use.
struct StationOptions {
    enum class Action { Run, Help, Version, ExportCsv, UsageError };

    Action action = Action::Run;
    std::optional<QString> images;
    std::optional<QString> bundle;  // a release bundle to open
    QString allowedSigners;         // the trust file for every bundle check and run
    bool locked = false;            // the bundle, operation and results file stay as given
    QStringList ports;              // each becomes a slot of its own
    std::optional<Operation> operation;
    bool requireVerify = false;  // given: verification required for this session
    std::optional<QString> results;
    std::optional<QString> operatorName;  // may be empty: no operator
    // May be empty: no work order. With ExportCsv it chooses the runs instead.
    std::optional<QString> workOrder;
    bool noJournal = false;                  // results go to the results file only
    bool start = false;                      // start every slot once the window is up
    bool quitWhenDone = false;               // end when no run is left; errors go to stderr
    std::optional<AutoStartMode> autoStart;  // given: auto-start on, this way, for this session
    QString exportCsv;                       // with ExportCsv: the CSV file to write
    RunFilter exportFilter;                  // with ExportCsv: --since and --work-order
    QString error;                           // why the command line is wrong
};

StationOptions ParseStationArguments(const QStringList& arguments);

// Why --quit-when-done cannot be had in fixture mode: the station then runs for a
// whole shift, until it is ended.
QString QuitWhenDoneInFixtureMode();

// The --help text.
QString StationUsage();
