#include "station/StoredRun.h"

#include "cli/JsonLines.h"
#include "station/RunVerdict.h"

namespace {

qint64 TimeOf(const QJsonValue& value) {
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toMSecsSinceEpoch() : -1;
}

}  // namespace

std::optional<StoredRun> StoredRunOf(const QJsonObject& line) {
    const QJsonValue slot = line.value(QLatin1String(jsonl::kSlot));
    const QJsonValue outcome = line.value(QLatin1String(jsonl::kOutcome));
    if (!slot.isString() || !outcome.isString()) {
        return std::nullopt;
    }
    StoredRun run;
    run.slot = slot.toString();
    run.outcome = outcome.toString();
    run.passed = IsPassingOutcome(run.outcome);
    run.workOrder = line.value(QLatin1String(jsonl::kWorkOrder)).toString();
    run.timeMs = TimeOf(line.value(QLatin1String(jsonl::kStationTime)));
    run.attempt = std::max(0, line.value(QLatin1String(jsonl::kAttempt)).toInt());
    run.durationMs = line.value(QLatin1String(jsonl::kDurationMs)).toInteger(-1);
    return run;
}

bool RunFilter::Admits(const StoredRun& run) const {
    if (since && (run.timeMs < 0 || run.timeMs < since->toMSecsSinceEpoch())) {
        return false;
    }
    return !workOrder || run.workOrder == *workOrder;
}
