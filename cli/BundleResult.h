#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "bundle/BundleCheck.h"
#include "cli/CliOptions.h"
#include "cli/CliResult.h"
#include "update/RunReport.h"

// The bundle's own fields: name, release, manifest_sha256 and signer (null where
// the bundle did not say, or the signature was not checked).
QJsonObject BundleIdentity(const CheckedBundle& bundle);
// "Bundle "NAME" release RELEASE", or "Bundle PATH" before the manifest said.
std::string BundleTitle(const CheckedBundle& bundle, const std::string& path);

// The steps' names, "dsp", "mcu", "version", in their order.
std::vector<std::string> StepNames(const std::vector<BundleStep>& steps);
// "a, b, c".
std::string CommaList(const std::vector<std::string>& items);

// What a bundle run did, step by step, and how it ended.
class CBundleRecord {
  public:
    CBundleRecord(QString runId, std::string port);

    // A step that ran: today's result fields for its operation, the image named as
    // in the bundle (the private copy it was sent from is gone after the run).
    void AddStep(CliOptions::Operation operation, const RunReport& report, int64_t durationMs);
    // The bundle's outcome: "finished", the failing step's own outcome,
    // "version_mismatch", "bundle_refused" or "interrupted".
    void End(std::string outcome, std::string detail = {});
    const std::string& Outcome() const { return m_outcome; }
    const std::string& Detail() const { return m_detail; }

    // The result object's fields (without "event" and "t_ms").
    QJsonObject Result(const CheckedBundle& bundle, int exitStatus, int64_t durationMs) const;
    RunSummary Summary(int64_t durationMs) const;

  private:
    QString m_runId;
    std::string m_port;
    QJsonArray m_steps;
    std::string m_outcome;
    std::string m_detail;
    std::string m_version;
    bool m_updated = false;  // an update step ran
    bool m_verified = true;  // every update step that ran was verified
    uint32_t m_blocksWritten = 0;
    uint32_t m_blocksTotal = 0;
};
