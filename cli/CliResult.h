#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <cstdint>
#include <string>

#include "cli/CliOptions.h"
#include "update/RunReport.h"

// What the front end adds to the engine's report of a run.
struct RunContext {
    QString runId;  // made at the start of the run, the key of its record everywhere
    std::string port;
    CliOptions::Operation operation = CliOptions::Operation::None;
    int exitStatus = 0;
    int64_t durationMs = 0;
};

// A loader generation as the JSON names it: "old", "new", or null for none.
QJsonValue LoaderName(LoaderGeneration loader);

// A text as a JSON string, or null when it is empty.
QJsonValue TextOrNull(const std::string& text);

// The fields of the result object that ends a run's JSON output (without "event"
// and "t_ms"). Its names and types are documented in the README and stay stable.
QJsonObject ResultFields(const RunReport& report, const RunContext& context);

// The name the result object gives an operation: "dsp", "mcu", "version", "bundle".
const char* OperationName(CliOptions::Operation operation);

// What the operator's summary line says of a run.
struct RunSummary {
    std::string outcome;
    bool update = false;  // blocks and verification are shown
    uint32_t blocksWritten = 0;
    uint32_t blocksTotal = 0;
    int64_t durationMs = 0;
    bool verified = false;
};

// One line for the operator: outcome, blocks, duration, verified or not.
std::string SummaryLine(const RunSummary& summary);
std::string ResultSummary(const RunReport& report, const RunContext& context);
