#pragma once

#include <QStyledItemDelegate>

// Paints a port list entry: the device path, its description dimmed beside it and,
// after a dash, why it cannot be used now. The entry's text stays the path alone.
class CPortItemDelegate : public QStyledItemDelegate {
  public:
    // Item data roles of the port list.
    enum Role { DescriptionRole = Qt::UserRole + 1, ReasonRole };

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
