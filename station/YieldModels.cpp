#include "station/YieldModels.h"

#include <QBrush>
#include <QColor>

#include "station/RunVerdict.h"

namespace {

const QColor kFlaggedRowColor(0xff, 0xe0, 0xe0);
const QColor kFlagTextColor(0xb7, 0x1c, 0x1c);
const QString kNoFigure = QStringLiteral("—");

QVariant RightAligned() {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
}

QString Seconds(const std::optional<qint64>& ms) {
    return ms ? CSlotYieldModel::tr("%1 s").arg(static_cast<double>(*ms) / 1000.0, 0, 'f', 1)
              : kNoFigure;
}

}  // namespace

QString PercentText(const std::optional<double>& percent) {
    return percent ? CSlotYieldModel::tr("%1 %").arg(*percent, 0, 'f', 1) : kNoFigure;
}

void CSlotYieldModel::SetSlots(std::vector<SlotYield> yields) {
    beginResetModel();
    m_slots = std::move(yields);
    endResetModel();
}

int CSlotYieldModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_slots.size());
}

int CSlotYieldModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CSlotYieldModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case SlotColumn:
            return tr("Slot");
        case RunsColumn:
            return tr("Runs");
        case PassedColumn:
            return tr("Passed");
        case FailedColumn:
            return tr("Failed");
        case FirstPassColumn:
            return tr("First-pass yield");
        case DurationColumn:
            return tr("Median duration");
        case FlagColumn:
            return tr("Flag");
        default:
            return {};
    }
}

QVariant CSlotYieldModel::Text(const SlotYield& slot, int column) const {
    switch (column) {
        case SlotColumn:
            return slot.slot;
        case RunsColumn:
            return slot.runs;
        case PassedColumn:
            return slot.passed;
        case FailedColumn:
            return slot.failed;
        case FirstPassColumn:
            return PercentText(slot.firstPassYield);
        case DurationColumn:
            return Seconds(slot.medianDurationMs);
        case FlagColumn:
            return slot.flagged ? tr("check this slot's cable or fixture") : QString();
        default:
            return {};
    }
}

QVariant CSlotYieldModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const SlotYield& slot = m_slots[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return Text(slot, index.column());
        case Qt::TextAlignmentRole:
            return index.column() == SlotColumn || index.column() == FlagColumn ? QVariant()
                                                                                : RightAligned();
        case Qt::BackgroundRole:
            return slot.flagged ? QBrush(kFlaggedRowColor) : QVariant();
        case Qt::ForegroundRole:
            return slot.flagged ? QBrush(kFlagTextColor) : QVariant();
        case Qt::ToolTipRole:
            if (index.column() == FirstPassColumn) {
                return slot.firstPassYield
                           ? tr("%1 of %2 boards passed at their first attempt")
                                 .arg(slot.firstPassed)
                                 .arg(slot.boards)
                           : tr("No run of this slot has an attempt number (stored by an older "
                                "Tovrane)");
            }
            return {};
        default:
            return {};
    }
}

void CFailureParetoModel::SetFailures(std::vector<OutcomeCount> failures) {
    beginResetModel();
    m_failures = std::move(failures);
    m_cumulative.clear();
    m_total = 0;
    for (const OutcomeCount& failure : m_failures) {
        m_total += failure.count;
        m_cumulative.push_back(m_total);
    }
    endResetModel();
}

int CFailureParetoModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_failures.size());
}

int CFailureParetoModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CFailureParetoModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case OutcomeColumn:
            return tr("Outcome");
        case FailuresColumn:
            return tr("Failures");
        case ShareColumn:
            return tr("Share");
        case CumulativeColumn:
            return tr("Cumulative");
        default:
            return {};
    }
}

QVariant CFailureParetoModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || m_total == 0) {
        return {};
    }
    const auto row = static_cast<size_t>(index.row());
    if (role == Qt::TextAlignmentRole) {
        return index.column() == OutcomeColumn ? QVariant() : RightAligned();
    }
    if (role == Qt::ToolTipRole && index.column() == OutcomeColumn) {
        return m_failures[row].outcome;  // the code the results file and the CSV carry
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
        case OutcomeColumn:
            return WordsOfOutcome(m_failures[row].outcome);
        case FailuresColumn:
            return m_failures[row].count;
        case ShareColumn:
            return PercentText(100.0 * m_failures[row].count / m_total);
        case CumulativeColumn:
            return PercentText(100.0 * m_cumulative[row] / m_total);
        default:
            return {};
    }
}
