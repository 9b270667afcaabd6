#include "station/RunVerdict.h"

#include <string.h>

#include <QCoreApplication>

#include "cli/JsonLines.h"
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
    const bool passing = IsPassingOutcome(outcome);
    if (passing != (ending.exitCode == 0)) {
        return Reason(
            QT_TRANSLATE_NOOP("RunVerdict", "tovrane-cli reported %1 but exited with status %2"),
            {outcome, QString::number(ending.exitCode)});
    }
    const bool verified = ending.result->value(jsonl::kVerified).toBool();
    if (passing && launch.requireVerify && WritesImage(launch.operation) && !verified) {
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
    record.insert(jsonl::kOperation, OperationName(launch.operation));
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
    verdict.passed = IsPassingOutcome(verdict.outcome);
    return verdict;
}

namespace {

struct OutcomeWords {
    RunResult result;
    const char* words;
};

constexpr OutcomeWords kOutcomeWords[] = {
    {RunResult::Finished, QT_TRANSLATE_NOOP("RunVerdict", "passed")},
    {RunResult::VersionRead, QT_TRANSLATE_NOOP("RunVerdict", "passed")},
    {RunResult::WriteFail, QT_TRANSLATE_NOOP("RunVerdict", "write failed")},
    {RunResult::VerifyFail, QT_TRANSLATE_NOOP("RunVerdict", "verification failed")},
    {RunResult::ConnectFail, QT_TRANSLATE_NOOP("RunVerdict", "connection failed")},
    {RunResult::NoLoader, QT_TRANSLATE_NOOP("RunVerdict", "no loader answered")},
    {RunResult::ImageMissing, QT_TRANSLATE_NOOP("RunVerdict", "image missing")},
    {RunResult::ImageRefused, QT_TRANSLATE_NOOP("RunVerdict", "image refused")},
    {RunResult::PortOpenFail, QT_TRANSLATE_NOOP("RunVerdict", "port could not be opened")},
    {RunResult::SetupFail, QT_TRANSLATE_NOOP("RunVerdict", "port setup failed")},
    {RunResult::Interrupted, QT_TRANSLATE_NOOP("RunVerdict", "stopped")},
};

QString WordsOfOutcome(const QString& outcome) {
    for (const OutcomeWords& row : kOutcomeWords) {
        if (outcome == QLatin1String(RunResultName(row.result))) {
            return QCoreApplication::translate(kContext, row.words);
        }
    }
    return outcome;
}

}  // namespace

QString ResultWords(const RunVerdict& verdict) {
    if (!verdict.reason.IsEmpty()) {
        return QCoreApplication::translate(kContext,
                                           QT_TRANSLATE_NOOP("RunVerdict", "tool error: %1"))
            .arg(verdict.reason.Translated());
    }
    QString words = WordsOfOutcome(verdict.outcome);
    const QString version = verdict.record.value(jsonl::kVersion).toString();
    const QString detail = verdict.record.value(jsonl::kDetail).toString();
    if (verdict.passed && !version.isEmpty()) {
        words += QStringLiteral(", ") + version;
    } else if (!verdict.passed && !detail.isEmpty()) {
        words += QStringLiteral(": ") + detail;
    }
    return words;
}
