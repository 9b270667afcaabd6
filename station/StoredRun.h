#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

// What the yield view needs of one stored run.
struct StoredRun {
    QString slot;
    QString outcome;
    QString workOrder;   // empty when none was given
    qint64 timeMs = -1;  // station_time in ms since the epoch; -1 when missing or unreadable
    // The run's number among its slot's runs on one board; 0 for a line from a
    // station that did not count attempts yet.
    int attempt = 0;
    qint64 durationMs = -1;  // -1 when not stored
    bool passed = false;     // finished or version_read; a stored tool_error is a failure
};

// The run a results line stores; none for an object without a slot and an outcome.
std::optional<StoredRun> StoredRunOf(const QJsonObject& line);

// Which runs to count or export: those stored at `since` or later (a run without a
// time only when there is no `since`), of `workOrder` when one is given.
struct RunFilter {
    std::optional<QDateTime> since;
    std::optional<QString> workOrder;

    bool Admits(const StoredRun& run) const;
};
