#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "station/StoredRun.h"

// A slot is flagged when it has at least this many runs and its first-pass yield
// lies this many points or more below the median of the slots' first-pass yields.
inline constexpr int kFlagMinimumRuns = 5;
inline constexpr double kFlagPointsBelowMedian = 20.0;

struct SlotYield {
    QString slot;
    int runs = 0;
    int passed = 0;
    int failed = 0;
    int boards = 0;       // runs that were a board's first attempt
    int firstPassed = 0;  // of those, the ones that passed
    // firstPassed of boards in percent; none without a board (older lines have no attempt).
    std::optional<double> firstPassYield;
    std::optional<qint64> medianDurationMs;  // of the runs that stored a duration
    bool flagged = false;                    // "check this slot's cable or fixture"
};

struct OutcomeCount {
    QString outcome;
    int count = 0;
};

struct YieldReport {
    std::vector<SlotYield> perSlot;      // in the natural order of the slots' names
    std::vector<OutcomeCount> failures;  // by outcome, largest first (a Pareto)
    int runs = 0;
    int passed = 0;
    int failed = 0;
    std::optional<double> firstPassYield;        // of every board counted
    std::optional<double> medianFirstPassYield;  // of the slots that have one
    QStringList workOrders;                      // every work order in the file, to choose from
    int unreadableLines = 0;
    QString readError;  // why the results file could not be read; empty otherwise
};

// The yield of the runs `filter` admits, per slot and in all.
YieldReport ComputeYield(const std::vector<StoredRun>& runs, const RunFilter& filter);
