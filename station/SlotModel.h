#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <vector>

#include "station/Slot.h"

// The station's slots as a table: one row a slot, in the natural order of the
// slots' names (1-2 before 1-10). Rows keep their slot for as long as it lives;
// the station finds them by id.
class CSlotModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column {
        SlotColumn,
        PortColumn,
        DescriptionColumn,
        StateColumn,
        ProgressColumn,
        BlocksColumn,
        SpeedColumn,
        RemainingColumn,
        LoaderColumn,
        ResultColumn,
        DurationColumn,
        ColumnCount
    };
    // The percentage as a number, for the progress bar's delegate.
    static constexpr int PercentRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    int RowOf(const QString& id) const;  // -1 when there is no such slot
    const Slot& At(int row) const { return m_slots[static_cast<size_t>(row)]; }
    int Count() const { return static_cast<int>(m_slots.size()); }
    // Adds a slot in its place; returns its row.
    int Add(Slot slot);
    void Remove(int row);
    // Changes a slot in place and tells the views which of its cells changed
    // (columns first to last; all when not said).
    void Update(int row, const std::function<void(Slot&)>& change, int first = 0,
                int last = ColumnCount - 1);
    // Changes one column of every slot where `change` says so, in one notice.
    void UpdateColumn(int column, const std::function<bool(Slot&)>& change);

  private:
    QVariant DisplayText(const Slot& slot, int column) const;

    std::vector<Slot> m_slots;
};

// The words for a port's state: "usable", "busy", "no permission", ...; "no device"
// when the slot's device is gone.
QString PortStateWords(const std::optional<PortState>& state);
// The words for what a slot waits for in fixture mode: "waiting for a board", ...
QString BoardWaitWords(BoardWait wait);
