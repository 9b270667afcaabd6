#include "cli/BundleRunCommand.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include "cli/BundleResult.h"
#include "cli/CliWindow.h"
#include "cli/JsonLines.h"
#include "cli/OperationSession.h"
#include "cli/SignalPipe.h"
#include "update/ImageFiles.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

CliOptions::Operation OperationOf(BundleStep step) {
    switch (step) {
        case BundleStep::Dsp:
            return CliOptions::Operation::UpdateDsp;
        case BundleStep::Mcu:
            return CliOptions::Operation::UpdateMcu;
        case BundleStep::Version:
            return CliOptions::Operation::ReadVersion;
    }
    return CliOptions::Operation::None;
}

bool StepPassed(RunResult result) {
    return result == RunResult::Finished || result == RunResult::VersionRead;
}

// Why the version text read breaks the release's pattern; empty when it matches.
std::string VersionMismatch(const std::optional<std::string>& pattern, const std::string& version) {
    if (!pattern || QRegularExpression(QString::fromStdString(*pattern))
                        .match(QString::fromStdString(version))
                        .hasMatch()) {
        return {};
    }
    return "the version text \"" + version + "\" does not match the release's version_pattern " +
           *pattern;
}

void RunSteps(QCoreApplication& app, const CliOptions& options, CCliWindow& window,
              CSignalPipe& signalPipe, const CheckedBundle& bundle, CBundleRecord& record) {
    SetImageDirectory(bundle.copy.Path());
    COperationSession session(app, window, signalPipe, options.port);
    session.Engine().SetRequireCheckpoint(bundle.manifest.requireVerify.value_or(false));
    const std::vector<BundleStep>& steps = bundle.manifest.steps.value();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (CSignalPipe::Caught() != 0) {
            record.End(RunResultName(RunResult::Interrupted));
            return;
        }
        const CliOptions::Operation operation = OperationOf(steps[i]);
        if (options.json) {
            window.WriteEvent(jsonl::kStepEvent,
                              {{jsonl::kStep, OperationName(operation)},
                               {jsonl::kStepIndex, static_cast<qint64>(i + 1)},
                               {jsonl::kStepCount, static_cast<qint64>(steps.size())}});
        }
        QElapsedTimer duration;
        duration.start();
        const RunReport report = session.Run(operation);
        record.AddStep(operation, report, duration.elapsed());
        if (!StepPassed(report.result)) {
            record.End(RunResultName(report.result), report.detail);
            return;
        }
        if (steps[i] == BundleStep::Version) {
            const std::string mismatch =
                VersionMismatch(bundle.manifest.versionPattern, report.version);
            if (!mismatch.empty()) {
                record.End(jsonl::kVersionMismatchOutcome, mismatch);
                return;
            }
        }
    }
    record.End(RunResultName(RunResult::Finished));
}

int ExitStatusFor(const CBundleRecord& record) {
    if (record.Outcome() == RunResultName(RunResult::Finished)) {
        return kExitOk;
    }
    const bool interrupted = record.Outcome() == RunResultName(RunResult::Interrupted);
    return interrupted && CSignalPipe::Caught() != 0 ? 128 + CSignalPipe::Caught() : kExitFailed;
}

// "Bundle "NAME" release R: outcome", with the detail where there is one.
std::string OutcomeLine(const CheckedBundle& bundle, const std::string& path,
                        const CBundleRecord& record) {
    std::string line = BundleTitle(bundle, path) + ": " + record.Outcome();
    if (!record.Detail().empty()) {
        line += ": " + record.Detail();
    }
    return line;
}

}  // namespace

int RunBundle(QCoreApplication& app, const CliOptions& options, CCliWindow& window,
              CSignalPipe& signalPipe, const QString& runId) {
    QElapsedTimer duration;
    duration.start();
    CBundleRecord record(runId, options.port);
    const CheckedBundle bundle = CheckBundle(
        options.bundle, {options.allowedSigners, [] { return CSignalPipe::Caught() != 0; }});
    if (bundle.stopped) {
        record.End(RunResultName(RunResult::Interrupted));
    } else if (!bundle.Accepted()) {
        record.End(jsonl::kBundleRefusedOutcome, bundle.refusal);
    } else {
        RunSteps(app, options, window, signalPipe, bundle, record);
    }
    const int exitStatus = ExitStatusFor(record);
    window.FinishProgressLine();
    if (options.json) {
        window.WriteEvent(jsonl::kResultEvent,
                          record.Result(bundle, exitStatus, duration.elapsed()));
    } else {
        window.PrintLine(OutcomeLine(bundle, options.bundle, record));
        window.PrintSummary(SummaryLine(record.Summary(duration.elapsed())));
    }
    return exitStatus;
}
