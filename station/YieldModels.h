#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "station/YieldStatistics.h"

// The yield view's tables: one row per slot, and the failures by outcome.

// Per slot: runs, passed, failed, first-pass yield, median duration and the flag;
// a flagged row is tinted and says "check this slot's cable or fixture".
class CSlotYieldModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column {
        SlotColumn,
        RunsColumn,
        PassedColumn,
        FailedColumn,
        FirstPassColumn,
        DurationColumn,
        FlagColumn,
        ColumnCount
    };

    using QAbstractTableModel::QAbstractTableModel;

    void SetSlots(std::vector<SlotYield> yields);
    const std::vector<SlotYield>& Slots() const { return m_slots; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    QVariant Text(const SlotYield& slot, int column) const;

    std::vector<SlotYield> m_slots;
};

// The failed runs by outcome, largest first, with each outcome's share of the
// failures and the share so far (a Pareto).
class CFailureParetoModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column { OutcomeColumn, FailuresColumn, ShareColumn, CumulativeColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    void SetFailures(std::vector<OutcomeCount> failures);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    std::vector<OutcomeCount> m_failures;
    std::vector<int> m_cumulative;  // failures up to and including each row
    int m_total = 0;
};

// "97.5 %", or "—" where there is no figure.
QString PercentText(const std::optional<double>& percent);
