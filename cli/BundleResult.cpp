#include "cli/BundleResult.h"

#include <filesystem>

#include "cli/JsonLines.h"

namespace {

// The fields of a step object, each as the result object of its operation has it.
constexpr const char* kStepFields[] = {
    jsonl::kOperation, jsonl::kOutcome,       jsonl::kLoader,      jsonl::kImage,
    jsonl::kSha256,    jsonl::kBlocksWritten, jsonl::kBlocksTotal, jsonl::kVerified,
    jsonl::kVersion,   jsonl::kDurationMs,    jsonl::kDetail,
};

QJsonValue OptionalText(const std::optional<std::string>& text) {
    return text ? TextOrNull(*text) : QJsonValue(QJsonValue::Null);
}

bool IsUpdate(CliOptions::Operation operation) {
    return operation == CliOptions::Operation::UpdateDsp ||
           operation == CliOptions::Operation::UpdateMcu;
}

}  // namespace

QJsonObject BundleIdentity(const CheckedBundle& bundle) {
    return {{jsonl::kName, OptionalText(bundle.manifest.name)},
            {jsonl::kRelease, OptionalText(bundle.manifest.release)},
            {jsonl::kManifestSha256, TextOrNull(bundle.manifestSha256)},
            {jsonl::kSigner, TextOrNull(bundle.signature.signer)}};
}

std::string BundleTitle(const CheckedBundle& bundle, const std::string& path) {
    if (!bundle.manifest.name || !bundle.manifest.release) {
        return "Bundle " + path;
    }
    return "Bundle \"" + *bundle.manifest.name + "\" release " + *bundle.manifest.release;
}

std::vector<std::string> StepNames(const std::vector<BundleStep>& steps) {
    std::vector<std::string> names;
    names.reserve(steps.size());
    for (const BundleStep step : steps) {
        names.emplace_back(StepName(step));
    }
    return names;
}

std::string CommaList(const std::vector<std::string>& items) {
    std::string list;
    for (const std::string& item : items) {
        list += (list.empty() ? "" : ", ") + item;
    }
    return list;
}

CBundleRecord::CBundleRecord(QString runId, std::string port)
    : m_runId(std::move(runId)), m_port(std::move(port)) {}

void CBundleRecord::AddStep(CliOptions::Operation operation, const RunReport& report,
                            int64_t durationMs) {
    const QJsonObject all = ResultFields(report, {m_runId, m_port, operation, 0, durationMs});
    QJsonObject step;
    for (const char* field : kStepFields) {
        step.insert(field, all.value(field));
    }
    if (!report.image.empty()) {
        step.insert(jsonl::kImage,
                    QString::fromStdString(std::filesystem::path(report.image).filename()));
    }
    m_steps.append(step);
    if (IsUpdate(operation)) {
        m_updated = true;
        m_verified = m_verified && report.verified;
        m_blocksWritten += report.blocksWritten;
        m_blocksTotal += report.blocksTotal;
    }
    if (!report.version.empty()) {
        m_version = report.version;
    }
}

void CBundleRecord::End(std::string outcome, std::string detail) {
    m_outcome = std::move(outcome);
    m_detail = std::move(detail);
}

QJsonObject CBundleRecord::Result(const CheckedBundle& bundle, int exitStatus,
                                  int64_t durationMs) const {
    RunReport whole;
    whole.version = m_version;
    whole.detail = m_detail;
    QJsonObject result = ResultFields(
        whole, {m_runId, m_port, CliOptions::Operation::Bundle, exitStatus, durationMs});
    result.insert(jsonl::kOutcome, QString::fromStdString(m_outcome));
    result.insert(jsonl::kVerified, m_updated ? QJsonValue(m_verified) : QJsonValue());
    result.insert(jsonl::kBlocksWritten, static_cast<qint64>(m_blocksWritten));
    result.insert(jsonl::kBlocksTotal, static_cast<qint64>(m_blocksTotal));
    result.insert(jsonl::kBundle, BundleIdentity(bundle));
    result.insert(jsonl::kSteps, m_steps);
    return result;
}

RunSummary CBundleRecord::Summary(int64_t durationMs) const {
    return {m_outcome,     m_updated,  m_blocksWritten,
            m_blocksTotal, durationMs, m_updated && m_verified};
}
