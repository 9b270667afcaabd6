#include "cli/CliResult.h"

#include <QJsonValue>
#include <cstdio>

#include "cli/JsonLines.h"
#include "update/FileDigest.h"

const char* OperationName(CliOptions::Operation operation) {
    switch (operation) {
        case CliOptions::Operation::UpdateDsp:
            return jsonl::kOperationDsp;
        case CliOptions::Operation::UpdateMcu:
            return jsonl::kOperationMcu;
        case CliOptions::Operation::ReadVersion:
            return jsonl::kOperationVersion;
        case CliOptions::Operation::Bundle:
            return jsonl::kOperationBundle;
        case CliOptions::Operation::None:
            break;
    }
    return "none";
}

namespace {

QJsonValue MsOrNull(const std::optional<uint32_t>& ms) {
    return ms ? QJsonValue(static_cast<qint64>(*ms)) : QJsonValue(QJsonValue::Null);
}

bool IsUpdate(CliOptions::Operation operation) {
    return operation == CliOptions::Operation::UpdateDsp ||
           operation == CliOptions::Operation::UpdateMcu;
}

}  // namespace

QJsonValue LoaderName(LoaderGeneration loader) {
    if (loader == LoaderOld) {
        return jsonl::kLoaderOld;
    }
    return loader == LoaderNew ? QJsonValue(jsonl::kLoaderNew) : QJsonValue(QJsonValue::Null);
}

QJsonValue TextOrNull(const std::string& text) {
    return text.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromStdString(text));
}

QJsonObject ResultFields(const RunReport& report, const RunContext& context) {
    return {
        {jsonl::kRunId, context.runId},
        {jsonl::kExit, context.exitStatus},
        {jsonl::kOutcome, RunResultName(report.result)},
        {jsonl::kPort, QString::fromStdString(context.port)},
        {jsonl::kOperation, OperationName(context.operation)},
        {jsonl::kLoader, LoaderName(report.loader)},
        {jsonl::kImage, TextOrNull(report.image)},
        {jsonl::kSha256,
         TextOrNull(report.image.empty() ? std::string() : Sha256OfFile(report.image))},
        {jsonl::kBlocksWritten, static_cast<qint64>(report.blocksWritten)},
        {jsonl::kBlocksTotal, static_cast<qint64>(report.blocksTotal)},
        {jsonl::kVerified, report.verified},
        {jsonl::kEraseMs, MsOrNull(report.eraseMs)},
        {jsonl::kProgramMs, MsOrNull(report.programMs)},
        {jsonl::kVersion, TextOrNull(report.version)},
        {jsonl::kDurationMs, static_cast<qint64>(context.durationMs)},
        {jsonl::kToolVersion, TOVRANE_VERSION},
        {jsonl::kDetail, TextOrNull(report.detail)},
    };
}

std::string SummaryLine(const RunSummary& summary) {
    std::string outcome = summary.outcome;
    for (char& c : outcome) {
        c = c == '_' ? ' ' : c;
    }
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.1f s",
                  static_cast<double>(summary.durationMs) / 1000);
    std::string line = "Result: " + outcome;
    if (summary.update) {
        line += ", " + std::to_string(summary.blocksWritten) + " of " +
                std::to_string(summary.blocksTotal) + " blocks";
    }
    line += std::string(", ") + duration;
    if (summary.update) {
        line += summary.verified ? ", verified" : ", not verified";
    }
    return line;
}

std::string ResultSummary(const RunReport& report, const RunContext& context) {
    return SummaryLine({RunResultName(report.result), IsUpdate(context.operation),
                        report.blocksWritten, report.blocksTotal, context.durationMs,
                        report.verified});
}
