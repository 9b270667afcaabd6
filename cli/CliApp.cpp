#include "cli/CliApp.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUuid>
#include <cstdio>

#include "SerialLib/PortInfo/PortEnumerator.h"
#include "SerialLib/Serial/Diagnostics.h"
#include "cli/CliOptions.h"
#include "cli/CliResult.h"
#include "cli/CliWindow.h"
#include "cli/ImageCheckCommand.h"
#include "cli/JsonLines.h"
#include "cli/PortListing.h"
#include "cli/SignalPipe.h"
#include "link/DeviceLink.h"
#include "update/ImageFiles.h"
#include "update/UpdateEngine.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

bool StartOperation(CUpdateEngine& engine, const CliOptions& options) {
    switch (options.operation) {
        case CliOptions::Operation::UpdateDsp:
            return engine.OnUpdateDsp(options.port);
        case CliOptions::Operation::UpdateMcu:
            return engine.OnUpdateMcu(options.port);
        case CliOptions::Operation::ReadVersion:
            return engine.OnReadVersion(options.port);
        case CliOptions::Operation::None:
            break;
    }
    return false;
}

int ExitStatusFor(OperationOutcome outcome) {
    return outcome == OperationOutcome::Finished || outcome == OperationOutcome::VersionRead
               ? kExitOk
               : kExitFailed;
}

// Ends the run's output: the result object, or for the plain lines a summary on
// a terminal.
void ReportRun(CCliWindow& window, const CliOptions& options, const QString& runId,
               const RunReport& report, int exitStatus, int64_t durationMs) {
    window.FinishProgressLine();
    const RunContext context{runId, options.port, options.operation, exitStatus, durationMs};
    if (options.json) {
        window.WriteEvent(jsonl::kResultEvent, ResultFields(report, context));
    } else {
        window.PrintSummary(ResultSummary(report, context));
    }
}

int RunOperation(QCoreApplication& app, const CliOptions& options, CCliWindow& window) {
    if (!options.imageDirectory.empty()) {
        SetImageDirectory(options.imageDirectory);
    }
    CDeviceLink link(window);
    CUpdateEngine engine(link, window);
    engine.SetRequireCheckpoint(options.requireVerify);
    engine.SetRunEndedHandler(
        [&app] { QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection); });

    int exitStatus = -1;
    // Ctrl-C and SIGTERM stop the worker from the event loop, where that is safe.
    CSignalPipe signalPipe;
    if (!signalPipe.Watching()) {
        std::perror("tovrane-cli: cannot watch for signals");
        return kExitFailed;
    }
    QObject::connect(&signalPipe, &CSignalPipe::Received, [&](int number) {
        if (exitStatus >= 0) {
            return;
        }
        engine.Stop();
        link.ClosePort();
        window.FinishProgressLine();
        window.PrintLine(
            "Interrupted: the update stopped and the port was closed. A new loader "
            "resumes where it stopped on the next run.");
        exitStatus = 128 + number;
        app.quit();
    });

    const QString runId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QElapsedTimer duration;
    duration.start();
    if (StartOperation(engine, options)) {
        app.exec();
    }
    engine.Stop();
    if (exitStatus < 0) {
        exitStatus = ExitStatusFor(engine.LastOutcome());
    }
    ReportRun(window, options, runId, engine.LastReport(), exitStatus, duration.elapsed());
    return exitStatus;
}

}  // namespace

int RunCli(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const CliOptions options = ParseCliArguments(arguments);
    switch (options.action) {
        case CliOptions::Action::Help:
            std::fputs(CliUsage(), stdout);
            return kExitOk;
        case CliOptions::Action::Version:
            std::printf("tovrane-cli %s\n", TOVRANE_VERSION);
            return kExitOk;
        case CliOptions::Action::UsageError:
            std::fprintf(stderr, "tovrane-cli: %s\nTry 'tovrane-cli --help'.\n",
                         options.error.c_str());
            return kExitUsage;
        case CliOptions::Action::ListPorts:
            return PrintPortList(CPortEnumerator().Ports(), stdout);
        case CliOptions::Action::CheckImages:
        case CliOptions::Action::Run:
            break;
    }
    // The serial library's traces are for developers; they reach stderr only on request.
    if (!options.trace) {
        serialdiag::SetHandler([](const serialdiag::Report&) {});
    }
    CCliWindow window(stdout, isatty(STDERR_FILENO) ? stderr : nullptr, options.json);
    if (options.action == CliOptions::Action::CheckImages) {
        return RunImageCheck(options, window);
    }
    return RunOperation(app, options, window);
}
