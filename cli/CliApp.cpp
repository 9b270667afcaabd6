#include "cli/CliApp.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUuid>
#include <cstdio>

#include "SerialLib/PortInfo/PortEnumerator.h"
#include "SerialLib/Serial/Diagnostics.h"
#include "cli/BundleCheckCommand.h"
#include "cli/BundleMakeCommand.h"
#include "cli/BundleRunCommand.h"
#include "cli/CliOptions.h"
#include "cli/CliResult.h"
#include "cli/CliWindow.h"
#include "cli/ImageCheckCommand.h"
#include "cli/JsonLines.h"
#include "cli/OperationSession.h"
#include "cli/PortListing.h"
#include "cli/SignalPipe.h"
#include "update/ImageFiles.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int ExitStatusFor(RunResult result) {
    return result == RunResult::Finished || result == RunResult::VersionRead ? kExitOk
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

int RunOperation(QCoreApplication& app, const CliOptions& options, CCliWindow& window,
                 CSignalPipe& signalPipe, const QString& runId) {
    if (!options.imageDirectory.empty()) {
        SetImageDirectory(options.imageDirectory);
    }
    COperationSession session(app, window, signalPipe, options.port);
    session.Engine().SetRequireCheckpoint(options.requireVerify);
    QElapsedTimer duration;
    duration.start();
    const RunReport report = session.Run(options.operation);
    const int exitStatus =
        session.StopSignal() != 0 ? 128 + session.StopSignal() : ExitStatusFor(report.result);
    ReportRun(window, options, runId, report, exitStatus, duration.elapsed());
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
        default:
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
    // From here on Ctrl-C and SIGTERM stop the work cleanly: the port is closed and a
    // bundle's private copy or a half-written bundle is removed.
    CSignalPipe signalPipe;
    if (!signalPipe.Watching()) {
        std::perror("tovrane-cli: cannot watch for signals");
        return kExitFailed;
    }
    switch (options.action) {
        case CliOptions::Action::CheckBundle:
            return RunBundleCheck(options, window);
        case CliOptions::Action::MakeBundle:
            return RunBundleMaker(options, window);
        default:
            break;
    }
    const QString runId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (options.operation == CliOptions::Operation::Bundle) {
        return RunBundle(app, options, window, signalPipe, runId);
    }
    return RunOperation(app, options, window, signalPipe, runId);
}
