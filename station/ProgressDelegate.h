#pragma once

#include <QStyledItemDelegate>

// Draws a slot's percentage as a progress bar with the number on it; an empty
// cell while the slot has not run.
class CProgressDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
