#include "station/SlotModel.h"

#include <QBrush>
#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <algorithm>

#include "cli/JsonLines.h"
#include "station/NaturalOrder.h"
#include "update/ProgressDisplay.h"

namespace {

const QColor kPassedColor(0x1b, 0x7f, 0x3a);
const QColor kFailedColor(0xc6, 0x28, 0x28);

QString Seconds(qint64 ms) {
    return CSlotModel::tr("%1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
}

// The result object names the generations "old" and "new".
QString LoaderWords(const QString& loader) {
    if (loader == QLatin1String(jsonl::kLoaderOld)) {
        return CSlotModel::tr("old");
    }
    return loader == QLatin1String(jsonl::kLoaderNew) ? CSlotModel::tr("new") : loader;
}

bool HasProgress(const Slot& slot) {
    return slot.phase != RunPhase::Idle || slot.result != SlotResult::None;
}

// In fixture mode a slot whose port is held shows what it waits for; a port that
// would not open shows why.
bool ShowsBoardWait(const Slot& slot) {
    return slot.boardWait != BoardWait::None && slot.Usable();
}

QString IdleStateWords(const Slot& slot) {
    return ShowsBoardWait(slot) ? BoardWaitWords(slot.boardWait) : PortStateWords(slot.portState);
}

QBrush DimmedBrush() {
    return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
}

// The last result in its colour, also on the board waiting to be taken out; once
// the slot waits for the next board, the last one's result is dimmed. A gone
// device's port is dimmed.
QVariant Foreground(const Slot& slot, int column) {
    const bool ended = slot.phase == RunPhase::Idle && slot.result != SlotResult::None;
    const bool forRemoval = ShowsBoardWait(slot) && slot.boardWait == BoardWait::ForRemoval;
    if (ended &&
        (column == CSlotModel::ResultColumn || (column == CSlotModel::StateColumn && forRemoval))) {
        if (slot.boardWait == BoardWait::ForBoard) {
            return DimmedBrush();
        }
        return QBrush(slot.result == SlotResult::Passed ? kPassedColor : kFailedColor);
    }
    if (!slot.DevicePresent() &&
        (column == CSlotModel::PortColumn || column == CSlotModel::StateColumn)) {
        return DimmedBrush();
    }
    return {};
}

}  // namespace

QString PortStateWords(const std::optional<PortState>& state) {
    if (!state) {
        return CSlotModel::tr("no device");
    }
    switch (*state) {
        case PortState::Usable:
            return CSlotModel::tr("usable");
        case PortState::Busy:
            return CSlotModel::tr("busy");
        case PortState::NoPermission:
            return CSlotModel::tr("no permission");
        case PortState::Unavailable:
            break;
    }
    return CSlotModel::tr("unavailable");
}

QString BoardWaitWords(BoardWait wait) {
    switch (wait) {
        case BoardWait::ForBoard:
            return CSlotModel::tr("waiting for a board");
        case BoardWait::ForRemoval:
            return CSlotModel::tr("done, take the board out");
        case BoardWait::Stopped:
            return CSlotModel::tr("probing stopped");
        case BoardWait::None:
            break;
    }
    return {};
}

int CSlotModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int CSlotModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CSlotModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case SlotColumn:
            return tr("Slot");
        case PortColumn:
            return tr("Port");
        case DescriptionColumn:
            return tr("Device");
        case StateColumn:
            return tr("State");
        case ProgressColumn:
            return tr("Progress");
        case BlocksColumn:
            return tr("Blocks");
        case SpeedColumn:
            return tr("Speed");
        case RemainingColumn:
            return tr("Remaining");
        case LoaderColumn:
            return tr("Loader");
        case ResultColumn:
            return tr("Result");
        case DurationColumn:
            return tr("Duration");
        default:
            return {};
    }
}

QVariant CSlotModel::DisplayText(const Slot& slot, int column) const {
    const ProgressFigures& progress = slot.progress;
    switch (column) {
        case SlotColumn:
            return slot.id;
        case PortColumn:
            return slot.path;
        case DescriptionColumn:
            return slot.serialNumber.isEmpty()
                       ? slot.description
                       : tr("%1, serial %2").arg(slot.description, slot.serialNumber);
        case StateColumn:
            return slot.phase == RunPhase::Idle ? IdleStateWords(slot) : tr("running");
        case ProgressColumn:
            if (!HasProgress(slot)) {
                return QString();
            }
            return slot.step.isEmpty() ? tr("%1%").arg(progress.percent)
                                       : tr("%1  %2%").arg(slot.step).arg(progress.percent);
        case BlocksColumn:
            return progress.total > 0 ? tr("%1 of %2").arg(progress.written).arg(progress.total)
                                      : QString();
        case SpeedColumn:
            return slot.phase == RunPhase::Running && progress.total > 0
                       ? tr("%1 blocks/s").arg(progress.speed)
                       : QString();
        case RemainingColumn:
            return slot.phase == RunPhase::Running && progress.total > 0
                       ? QString::fromStdString(
                             FormatMinutesSeconds(static_cast<uint32_t>(progress.remaining)))
                       : QString();
        case LoaderColumn:
            return LoaderWords(slot.loader);
        case ResultColumn:
            if (slot.phase == RunPhase::Running) {
                return slot.activity;
            }
            return slot.phase == RunPhase::Saving ? tr("saving the result…") : slot.resultText;
        case DurationColumn:
            return slot.durationMs ? Seconds(*slot.durationMs) : QString();
        default:
            return {};
    }
}

QVariant CSlotModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) {
        return {};
    }
    const Slot& slot = At(index.row());
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return DisplayText(slot, column);
        case Qt::ToolTipRole:
            return column == ResultColumn || column == DescriptionColumn ? DisplayText(slot, column)
                                                                         : QVariant();
        case PercentRole:
            return HasProgress(slot) ? QVariant(slot.progress.percent) : QVariant();
        case Qt::ForegroundRole:
            return Foreground(slot, column);
        default:
            return {};
    }
}

int CSlotModel::RowOf(const QString& id) const {
    const auto found = std::find_if(m_slots.begin(), m_slots.end(),
                                    [&id](const Slot& slot) { return slot.id == id; });
    return found == m_slots.end() ? -1 : static_cast<int>(found - m_slots.begin());
}

int CSlotModel::Add(Slot slot) {
    const auto place =
        std::upper_bound(m_slots.begin(), m_slots.end(), slot,
                         [](const Slot& a, const Slot& b) { return NaturalLess(a.id, b.id); });
    const int row = static_cast<int>(place - m_slots.begin());
    beginInsertRows({}, row, row);
    m_slots.insert(place, std::move(slot));
    endInsertRows();
    return row;
}

void CSlotModel::Remove(int row) {
    beginRemoveRows({}, row, row);
    m_slots.erase(m_slots.begin() + row);
    endRemoveRows();
}

void CSlotModel::Update(int row, const std::function<void(Slot&)>& change, int first, int last) {
    change(m_slots[static_cast<size_t>(row)]);
    emit dataChanged(index(row, first), index(row, last));
}

void CSlotModel::UpdateColumn(int column, const std::function<bool(Slot&)>& change) {
    int first = Count();
    int last = -1;
    for (int row = 0; row < Count(); ++row) {
        if (change(m_slots[static_cast<size_t>(row)])) {
            first = std::min(first, row);
            last = row;
        }
    }
    if (last >= 0) {
        emit dataChanged(index(first, column), index(last, column));
    }
}
