#include "station/RunVerdict.h"

#include <string.h>

#include <QCoreApplication>
#include <QJsonArray>

#include "cli/JsonLines.h"
#include "station/BundleTexts.h"
#include "update/RunReport.h"

namespace {

constexpr char kContext[] = "RunVerdict";

// In one pass, so an argument that holds "%2" stays as it is.
QString WithArguments(const QString& text, const QStringList& arguments) {
    switch (arguments.size()) {
        case 0:
            return text;
        case 1:
            return text.arg(arguments[0]);
        default:
            return text.arg(arguments[0], arguments[1]);
    }
}

// A bundle passes only when every step did: its own outcome is then finished, never
// its version step's version_read.
bool PassesFor(const QString& outcome, const ChildLaunch& launch) {
    return IsPassingOutcome(outcome) &&
           (!launch.RunsBundle() || outcome == QLatin1String(RunResultName(RunResult::Finished)));
}

ReasonText Reason(const char* source, QStringList arguments = {}) {
    return {source, std::move(arguments)};
}

// Why the ending cannot be trusted as the CLI's own verdict; empty when it can.
ReasonText ToolErrorReason(const ChildEnding& ending, const ChildLaunch& launch) {
    if (!ending.startError.isEmpty()) {
        return Reason(QT_TRANSLATE_NOOP("RunVerdict", "tovrane-cli could not be started: %1"),
                      {ending.startError});
    }
    if (ending.silent) {
        return Reason(QT_TRANSLATE_NOOP("RunVerdict",
                                        "tovrane-cli wrote nothing for too long and was stopped"));
    }
    if (ending.crashed) {
        return Reason(QT_TRANSLATE_NOOP("RunVerdict", "tovrane-cli was killed by signal %1 (%2)"),
                      {QString::number(ending.exitCode),
                       QString::fromLocal8Bit(::strsignal(ending.exitCode))});
    }
    if (!ending.malformedLine.isEmpty()) {
        return Reason(
            QT_TRANSLATE_NOOP("RunVerdict", "tovrane-cli wrote a line that is not JSON: %1"),
            {ending.malformedLine});
    }
    if (!ending.result) {
        return Reason(
            QT_TRANSLATE_NOOP("RunVerdict", "tovrane-cli ended without a result (exit status %1)"),
            {QString::number(ending.exitCode)});
    }
    if (ending.linesAfterResult) {
        return Reason(QT_TRANSLATE_NOOP("RunVerdict", "tovrane-cli wrote more after its result"));
    }
    const QString outcome = ending.result->value(jsonl::kOutcome).toString();
    const bool passing = PassesFor(outcome, launch);
    if (passing != (ending.exitCode == 0) || passing != IsPassingOutcome(outcome)) {
        return Reason(
            QT_TRANSLATE_NOOP("RunVerdict", "tovrane-cli reported %1 but exited with status %2"),
            {outcome, QString::number(ending.exitCode)});
    }
    const bool verified = ending.result->value(jsonl::kVerified).toBool();
    if (passing && launch.requireVerify && !launch.RunsBundle() && WritesImage(launch.operation) &&
        !verified) {
        return Reason(QT_TRANSLATE_NOOP(
            "RunVerdict", "the update finished without verification, which is required"));
    }
    return {};
}

QJsonObject ToolErrorRecord(const ChildEnding& ending, const ChildLaunch& launch,
                            const ReasonText& reason) {
    QJsonObject record = ending.result.value_or(QJsonObject{});
    record.insert(jsonl::kEvent, jsonl::kResultEvent);
    record.insert(jsonl::kOutcome, jsonl::kToolErrorOutcome);
    record.insert(jsonl::kDetail, reason.English());
    const bool exited = ending.startError.isEmpty() && !ending.crashed;
    record.insert(jsonl::kExit, exited ? QJsonValue(ending.exitCode) : QJsonValue());
    record.insert(jsonl::kPort, launch.port);
    record.insert(jsonl::kOperation, launch.RunsBundle()
                                         ? QString::fromLatin1(jsonl::kOperationBundle)
                                         : OperationName(launch.operation));
    if (!record.contains(jsonl::kDurationMs)) {
        record.insert(jsonl::kDurationMs, ending.durationMs);
    }
    return record;
}

}  // namespace

bool IsPassingOutcome(const QString& outcome) {
    return outcome == QLatin1String(RunResultName(RunResult::Finished)) ||
           outcome == QLatin1String(RunResultName(RunResult::VersionRead));
}

QString ReasonText::English() const {
    return WithArguments(QString::fromLatin1(source), arguments);
}

QString ReasonText::Translated() const {
    return WithArguments(QCoreApplication::translate(kContext, source), arguments);
}

RunVerdict JudgeRun(const ChildEnding& ending, const ChildLaunch& launch) {
    RunVerdict verdict;
    verdict.reason = ToolErrorReason(ending, launch);
    if (!verdict.reason.IsEmpty()) {
        verdict.outcome = jsonl::kToolErrorOutcome;
        verdict.record = ToolErrorRecord(ending, launch, verdict.reason);
        return verdict;
    }
    verdict.record = *ending.result;
    verdict.outcome = verdict.record.value(jsonl::kOutcome).toString();
    verdict.passed = PassesFor(verdict.outcome, launch);
    return verdict;
}

namespace {

struct OutcomeWords {
    const char* outcome;
    const char* words;
};

const OutcomeWords kOutcomeWords[] = {
    {RunResultName(RunResult::Finished), QT_TRANSLATE_NOOP("RunVerdict", "passed")},
    {RunResultName(RunResult::VersionRead), QT_TRANSLATE_NOOP("RunVerdict", "passed")},
    {RunResultName(RunResult::WriteFail), QT_TRANSLATE_NOOP("RunVerdict", "write failed")},
    {RunResultName(RunResult::VerifyFail), QT_TRANSLATE_NOOP("RunVerdict", "verification failed")},
    {RunResultName(RunResult::ConnectFail), QT_TRANSLATE_NOOP("RunVerdict", "connection failed")},
    {RunResultName(RunResult::NoLoader), QT_TRANSLATE_NOOP("RunVerdict", "no loader answered")},
    {RunResultName(RunResult::ImageMissing), QT_TRANSLATE_NOOP("RunVerdict", "image missing")},
    {RunResultName(RunResult::ImageRefused), QT_TRANSLATE_NOOP("RunVerdict", "image refused")},
    {RunResultName(RunResult::PortOpenFail),
     QT_TRANSLATE_NOOP("RunVerdict", "port could not be opened")},
    {RunResultName(RunResult::SetupFail), QT_TRANSLATE_NOOP("RunVerdict", "port setup failed")},
    {RunResultName(RunResult::Interrupted), QT_TRANSLATE_NOOP("RunVerdict", "stopped")},
    {jsonl::kVersionMismatchOutcome, QT_TRANSLATE_NOOP("RunVerdict", "version mismatch")},
    {jsonl::kBundleRefusedOutcome, QT_TRANSLATE_NOOP("RunVerdict", "bundle refused")},
    {jsonl::kToolErrorOutcome, QT_TRANSLATE_NOOP("RunVerdict", "tool error")},
};

// The bundle's step that failed with the bundle's outcome ("DSP: "); empty otherwise.
QString FailedStepPrefix(const QJsonObject& record, const QString& outcome) {
    const QJsonObject last = record.value(jsonl::kSteps).toArray().last().toObject();
    if (last.value(jsonl::kOutcome).toString() != outcome) {
        return {};
    }
    return StepWords(last.value(jsonl::kOperation).toString()) + QStringLiteral(": ");
}

}  // namespace

QString WordsOfOutcome(const QString& outcome) {
    for (const OutcomeWords& row : kOutcomeWords) {
        if (outcome == QLatin1String(row.outcome)) {
            return QCoreApplication::translate(kContext, row.words);
        }
    }
    return outcome;
}

QString ResultWords(const RunVerdict& verdict) {
    if (!verdict.reason.IsEmpty()) {
        return QCoreApplication::translate(kContext,
                                           QT_TRANSLATE_NOOP("RunVerdict", "tool error: %1"))
            .arg(verdict.reason.Translated());
    }
    QString words = WordsOfOutcome(verdict.outcome);
    if (!verdict.passed) {
        words.prepend(FailedStepPrefix(verdict.record, verdict.outcome));
    }
    const QString version = verdict.record.value(jsonl::kVersion).toString();
    const QString detail = verdict.record.value(jsonl::kDetail).toString();
    if (verdict.passed && !version.isEmpty()) {
        words += QStringLiteral(", ") + version;
    } else if (!verdict.passed && !detail.isEmpty()) {
        words += QStringLiteral(": ") + detail;
    }
    return words;
}
