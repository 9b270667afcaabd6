#include "station/YieldStatistics.h"

#include <QHash>
#include <QSet>
#include <algorithm>

#include "station/NaturalOrder.h"

namespace {

// Margin for the percentages' rounding, so exactly 20 points below counts.
constexpr double kPointsEpsilon = 1e-9;

std::optional<double> Percent(int part, int whole) {
    if (whole <= 0) {
        return std::nullopt;
    }
    return 100.0 * part / whole;
}

template <typename T>
std::optional<T> Median(std::vector<T> values) {
    if (values.empty()) {
        return std::nullopt;
    }
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle),
                     values.end());
    const T upper = values[middle];
    if (values.size() % 2 == 1) {
        return upper;
    }
    const T lower =
        *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
    return lower + (upper - lower) / 2;
}

struct SlotTally {
    SlotYield yield;
    std::vector<qint64> durations;
};

void Count(const StoredRun& run, SlotTally& tally) {
    SlotYield& slot = tally.yield;
    ++slot.runs;
    ++(run.passed ? slot.passed : slot.failed);
    if (run.attempt == 1) {
        ++slot.boards;
        slot.firstPassed += run.passed ? 1 : 0;
    }
    if (run.durationMs >= 0) {
        tally.durations.push_back(run.durationMs);
    }
}

std::vector<SlotYield> Finish(QHash<QString, SlotTally>& tallies) {
    std::vector<SlotYield> yields;
    yields.reserve(static_cast<size_t>(tallies.size()));
    for (SlotTally& tally : tallies) {
        tally.yield.firstPassYield = Percent(tally.yield.firstPassed, tally.yield.boards);
        tally.yield.medianDurationMs = Median(std::move(tally.durations));
        yields.push_back(std::move(tally.yield));
    }
    std::sort(yields.begin(), yields.end(),
              [](const SlotYield& a, const SlotYield& b) { return NaturalLess(a.slot, b.slot); });
    return yields;
}

void Flag(YieldReport& report) {
    std::vector<double> yields;
    for (const SlotYield& slot : report.perSlot) {
        if (slot.firstPassYield) {
            yields.push_back(*slot.firstPassYield);
        }
    }
    report.medianFirstPassYield = Median(std::move(yields));
    if (!report.medianFirstPassYield) {
        return;
    }
    for (SlotYield& slot : report.perSlot) {
        slot.flagged = slot.runs >= kFlagMinimumRuns && slot.firstPassYield &&
                       *report.medianFirstPassYield - *slot.firstPassYield >=
                           kFlagPointsBelowMedian - kPointsEpsilon;
    }
}

std::vector<OutcomeCount> Pareto(const QHash<QString, int>& failures) {
    std::vector<OutcomeCount> counts;
    for (auto it = failures.begin(); it != failures.end(); ++it) {
        counts.push_back({it.key(), it.value()});
    }
    std::sort(counts.begin(), counts.end(), [](const OutcomeCount& a, const OutcomeCount& b) {
        return a.count != b.count ? a.count > b.count : a.outcome < b.outcome;
    });
    return counts;
}

}  // namespace

YieldReport ComputeYield(const std::vector<StoredRun>& runs, const RunFilter& filter) {
    YieldReport report;
    QHash<QString, SlotTally> tallies;
    QHash<QString, int> failures;
    QSet<QString> workOrders;
    for (const StoredRun& run : runs) {
        if (!run.workOrder.isEmpty()) {
            workOrders.insert(run.workOrder);
        }
        if (!filter.Admits(run)) {
            continue;
        }
        SlotTally& tally = tallies[run.slot];
        tally.yield.slot = run.slot;
        Count(run, tally);
        if (!run.passed) {
            ++failures[run.outcome];
        }
    }
    report.perSlot = Finish(tallies);
    report.failures = Pareto(failures);
    int boards = 0;
    int firstPassed = 0;
    for (const SlotYield& slot : report.perSlot) {
        report.runs += slot.runs;
        report.passed += slot.passed;
        report.failed += slot.failed;
        boards += slot.boards;
        firstPassed += slot.firstPassed;
    }
    report.firstPassYield = Percent(firstPassed, boards);
    Flag(report);
    report.workOrders = QStringList(workOrders.begin(), workOrders.end());
    std::sort(report.workOrders.begin(), report.workOrders.end(), NaturalLess);
    return report;
}
