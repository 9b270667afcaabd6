#include "cli/CliResult.h"

#include <QJsonValue>
#include <cstdio>

#include "cli/FileDigest.h"

namespace {

const char* OperationName(CliOptions::Operation operation) {
    switch (operation) {
        case CliOptions::Operation::UpdateDsp:
            return "dsp";
        case CliOptions::Operation::UpdateMcu:
            return "mcu";
        case CliOptions::Operation::ReadVersion:
            return "version";
        case CliOptions::Operation::None:
            break;
    }
    return "none";
}

QJsonValue LoaderName(int loader) {
    if (loader == LoaderOld) {
        return "old";
    }
    return loader == LoaderNew ? QJsonValue("new") : QJsonValue(QJsonValue::Null);
}

QJsonValue TextOrNull(const std::string& text) {
    return text.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromStdString(text));
}

QJsonValue MsOrNull(const std::optional<uint32_t>& ms) {
    return ms ? QJsonValue(static_cast<qint64>(*ms)) : QJsonValue(QJsonValue::Null);
}

bool IsUpdate(CliOptions::Operation operation) {
    return operation == CliOptions::Operation::UpdateDsp ||
           operation == CliOptions::Operation::UpdateMcu;
}

}  // namespace

QJsonObject ResultFields(const RunReport& report, const RunContext& context) {
    return {
        {"exit", context.exitStatus},
        {"outcome", RunResultName(report.result)},
        {"port", QString::fromStdString(context.port)},
        {"operation", OperationName(context.operation)},
        {"loader", LoaderName(report.loader)},
        {"image", TextOrNull(report.image)},
        {"sha256", TextOrNull(report.image.empty() ? std::string() : Sha256OfFile(report.image))},
        {"blocks_written", static_cast<qint64>(report.blocksWritten)},
        {"blocks_total", static_cast<qint64>(report.blocksTotal)},
        {"verified", report.verified},
        {"erase_ms", MsOrNull(report.eraseMs)},
        {"program_ms", MsOrNull(report.programMs)},
        {"version", TextOrNull(report.version)},
        {"duration_ms", static_cast<qint64>(context.durationMs)},
        {"tool_version", TOVRANE_VERSION},
    };
}

std::string ResultSummary(const RunReport& report, const RunContext& context) {
    std::string outcome = RunResultName(report.result);
    for (char& c : outcome) {
        c = c == '_' ? ' ' : c;
    }
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.1f s",
                  static_cast<double>(context.durationMs) / 1000);
    std::string line = "Result: " + outcome;
    if (IsUpdate(context.operation)) {
        line += ", " + std::to_string(report.blocksWritten) + " of " +
                std::to_string(report.blocksTotal) + " blocks";
    }
    line += std::string(", ") + duration;
    if (IsUpdate(context.operation)) {
        line += report.verified ? ", verified" : ", not verified";
    }
    return line;
}
