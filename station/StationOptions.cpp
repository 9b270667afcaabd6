#include "station/StationOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

StationOptions UsageError(const QString& reason) {
    StationOptions options;
    options.action = StationOptions::Action::UsageError;
    options.error = reason;
    return options;
}

// A bundle says its steps and whether verification is required; a locked station
// runs the bundle it was given.
QString BundleOptionsError(bool bundle, bool locked, bool operation, bool requireVerify) {
    if (locked && !bundle) {
        return QCoreApplication::translate("StationOptions", "--locked needs --bundle");
    }
    if (bundle && operation) {
        return QCoreApplication::translate(
            "StationOptions",
            "--operation does not go with --bundle, whose steps are the operation");
    }
    if (bundle && requireVerify) {
        return QCoreApplication::translate(
            "StationOptions",
            "--require-verify does not go with --bundle, whose manifest says whether it is "
            "required");
    }
    return {};
}

// An ISO 8601 time ("2026-12-08T06:00", with Z or an offset, else local time);
// a date alone stands for its start.
std::optional<QDateTime> TimeFrom(const QString& text) {
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    return time.isValid() ? std::optional<QDateTime>(time) : std::nullopt;
}

}  // namespace

StationOptions ParseStationArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption images("images", {}, "DIR");
    const QCommandLineOption bundle("bundle", {}, "FILE");
    const QCommandLineOption allowedSigners("allowed-signers", {}, "FILE");
    const QCommandLineOption locked("locked");
    const QCommandLineOption port("port", {}, "PATH");
    const QCommandLineOption operation("operation", {}, "dsp|mcu|version");
    const QCommandLineOption requireVerify("require-verify");
    const QCommandLineOption results("results", {}, "FILE");
    const QCommandLineOption operatorName("operator", {}, "TEXT");
    const QCommandLineOption workOrder("work-order", {}, "TEXT");
    const QCommandLineOption noJournal("no-journal");
    const QCommandLineOption start("start");
    const QCommandLineOption quitWhenDone("quit-when-done");
    const QCommandLineOption autoStart("auto-start", {}, "plug|answer");
    const QCommandLineOption exportCsv("export-csv", {}, "FILE");
    const QCommandLineOption since("since", {}, "ISO-TIME");
    const QCommandLineOption help(QStringList{"h", "help"});
    const QCommandLineOption version("version");
    parser.addOptions({images, port, operation, requireVerify, results, operatorName, workOrder,
                       noJournal, start, quitWhenDone, autoStart, exportCsv, since, help, version,
                       bundle, allowedSigners, locked});

    if (!parser.parse(arguments)) {
        return UsageError(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return UsageError(QCoreApplication::translate("StationOptions", "unknown argument '%1'")
                              .arg(parser.positionalArguments().front()));
    }
    StationOptions options;
    if (parser.isSet(help)) {
        options.action = StationOptions::Action::Help;
        return options;
    }
    if (parser.isSet(version)) {
        options.action = StationOptions::Action::Version;
        return options;
    }
    for (const QCommandLineOption* valued :
         {&images, &port, &results, &exportCsv, &since, &bundle, &allowedSigners}) {
        for (const QString& value : parser.values(*valued)) {
            if (value.isEmpty()) {
                return UsageError(
                    QCoreApplication::translate("StationOptions", "--%1 needs a value")
                        .arg(valued->names().front()));
            }
        }
    }
    if (parser.isSet(operation)) {
        options.operation = OperationFromName(parser.value(operation));
        if (!options.operation) {
            return UsageError(
                QCoreApplication::translate("StationOptions",
                                            "--operation takes dsp, mcu or version, not '%1'")
                    .arg(parser.value(operation)));
        }
    }
    if (parser.isSet(autoStart)) {
        options.autoStart = AutoStartModeFromName(parser.value(autoStart));
        if (!options.autoStart) {
            return UsageError(QCoreApplication::translate("StationOptions",
                                                          "--auto-start takes plug or answer, "
                                                          "not '%1'")
                                  .arg(parser.value(autoStart)));
        }
        if (parser.isSet(quitWhenDone) && options.autoStart == AutoStartMode::Answer) {
            return UsageError(QuitWhenDoneInFixtureMode());
        }
    }
    const QString bundleError =
        BundleOptionsError(parser.isSet(bundle), parser.isSet(locked), parser.isSet(operation),
                           parser.isSet(requireVerify));
    if (!bundleError.isEmpty()) {
        return UsageError(bundleError);
    }
    if (parser.isSet(bundle)) {
        options.bundle = parser.value(bundle);
    }
    options.allowedSigners = parser.value(allowedSigners);
    options.locked = parser.isSet(locked);
    if (parser.isSet(images)) {
        options.images = parser.value(images);
    }
    if (parser.isSet(results)) {
        options.results = parser.value(results);
    }
    if (parser.isSet(operatorName)) {
        options.operatorName = parser.value(operatorName);
    }
    options.noJournal = parser.isSet(noJournal);
    if (parser.isSet(exportCsv)) {
        options.action = StationOptions::Action::ExportCsv;
        options.exportCsv = parser.value(exportCsv);
    } else if (parser.isSet(since)) {
        return UsageError(
            QCoreApplication::translate("StationOptions", "--since goes with --export-csv"));
    }
    if (parser.isSet(since)) {
        options.exportFilter.since = TimeFrom(parser.value(since));
        if (!options.exportFilter.since) {
            return UsageError(QCoreApplication::translate(
                                  "StationOptions",
                                  "--since takes a time such as 2026-12-08T06:00 or a date "
                                  "such as 2026-12-08, not '%1'")
                                  .arg(parser.value(since)));
        }
    }
    // The window's work order; with --export-csv, the runs of that work order.
    if (parser.isSet(workOrder)) {
        options.workOrder = parser.value(workOrder);
        options.exportFilter.workOrder = parser.value(workOrder);
    }
    options.ports = parser.values(port);
    options.requireVerify = parser.isSet(requireVerify);
    options.start = parser.isSet(start);
    options.quitWhenDone = parser.isSet(quitWhenDone);
    return options;
}

QString QuitWhenDoneInFixtureMode() {
    return QCoreApplication::translate(
        "StationOptions",
        "--quit-when-done has no meaning in fixture mode (auto-start when a board answers), "
        "where the station runs until it is ended; give --auto-start=plug for a batch");
}

QString StationUsage() {
    return QCoreApplication::translate("StationOptions", R"(Usage: tovrane-station [OPTION]...
  or:  tovrane-station --help | --version

Flashes many devices at once, one slot a serial port. Each slot's run is a
tovrane-cli child process (the one beside tovrane-station), so one device's
fault never reaches another. A slot is a physical place: the USB port an
adapter is plugged into (a re-plugged adapter comes back to its row), or a
path given with --port. A slot passes only when its run finished (or read the
version), verified when verification is required; with a release bundle, only
when every step of the bundle passed and the device then reported the release's
version.

  --images DIR          where dsp.hex, mcu_old.mot and mcu_new.mot are
                        (default: the folder used last, at first start the
                        folder of the programs)
  --bundle FILE         open a release bundle (a tar archive or a folder, made
                        with tovrane-cli --make-bundle): its steps are the
                        operation and it holds the images (default: the bundle
                        open when the station was last used, unless --operation
                        or --require-verify is given)
  --allowed-signers FILE
                        the trust file (OpenSSH allowed_signers format) every
                        bundle's signature must verify against; without it
                        /etc/tovrane/allowed_signers when that file exists,
                        otherwise signatures are not checked
  --locked              keep the operator from changing the bundle, the
                        operation, the results file and the work order, for a
                        line's start-up script (needs --bundle)
  --port PATH           add a slot for PATH, for example a pseudo-terminal or a
                        /dev/serial/by-id link (repeatable)
  --operation OP        dsp, mcu or version: Update DSP, Update MCU or Read
                        Version (default: the one used last)
  --require-verify      refuse images without a checkpoint record, and pass a
                        slot only when its flash was verified
  --results FILE        append one JSON line per ended run to FILE (default:
                        ~/.local/share/tovrane/results.jsonl); each line also
                        goes to the system journal (journalctl
                        SYSLOG_IDENTIFIER=tovrane-station)
  --operator TEXT       who runs the station, stored with every result
                        (default: the name entered last; empty: none)
  --work-order TEXT     the work order, stored with every result (default:
                        the one entered last; empty: none); with --export-csv:
                        only runs of that work order
  --no-journal          store results in the results file only, not also in
                        the system journal
  --start               start every slot once the window is up
  --quit-when-done      end when no run is left: exit status 0 when every run
                        passed, 1 otherwise; whatever keeps the batch from
                        starting goes to standard error and ends the program
                        with exit status 1 (not in fixture mode)
  --auto-start MODE     auto-start on for this session: plug (a slot starts
                        when an adapter is plugged into it) or answer (fixture
                        mode: the adapters stay, each idle slot holds its port
                        and asks for the version about once a second; a slot
                        starts when a board answers, and again only after its
                        board was taken out)
  --export-csv FILE     write the runs of the results file (--results, or the
                        one used last) to FILE as CSV, one row per run, and end
                        without a window
  --since ISO-TIME      with --export-csv: only runs stored at that time or
                        later (2026-12-08T06:00, local time unless it ends in Z
                        or an offset; a date stands for its start)
  --help                this text
  --version             the program's version

SIGTERM, SIGINT and SIGHUP end the station cleanly: the probing ports are
closed, the runs going on are stopped as "Stop all" stops them, and their
results are stored.

Exit status: 0 (with --quit-when-done: every run passed; with --export-csv: the
file is written), 1 (a run failed or the batch could not start; the CSV file
could not be written), 2 (the command line is wrong).
)");
}
