#include "app/PortItemDelegate.h"

#include <QApplication>
#include <QPainter>

namespace {

const QString kDescriptionGap = QStringLiteral("   ");
const QString kReasonDash = QString::fromUtf8(" \u2014 ");

struct EntryParts {
    QString path;
    QString description;
    QString reason;
};

EntryParts PartsOf(const QModelIndex& index) {
    EntryParts parts{index.data(Qt::DisplayRole).toString(),
                     index.data(CPortItemDelegate::DescriptionRole).toString(),
                     index.data(CPortItemDelegate::ReasonRole).toString()};
    if (!parts.description.isEmpty()) {
        parts.description.prepend(kDescriptionGap);
    }
    if (!parts.reason.isEmpty()) {
        parts.reason.prepend(kReasonDash);
    }
    return parts;
}

QStyle* StyleOf(const QStyleOptionViewItem& option) {
    return option.widget != nullptr ? option.widget->style() : QApplication::style();
}

}  // namespace

void CPortItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    item.text.clear();  // the background, selection and focus frame only
    QStyle* style = StyleOf(item);
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);

    const EntryParts parts = PartsOf(index);
    const bool selected = item.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        item.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    const QColor text =
        item.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    QColor dimmed = selected ? text : item.palette.color(group, QPalette::PlaceholderText);
    if (selected) {
        dimmed.setAlphaF(0.75);
    }

    QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    const QFontMetrics metrics(item.font);
    painter->save();
    painter->setFont(item.font);
    for (const auto& [part, color] :
         {std::pair{parts.path, text}, std::pair{parts.description, dimmed},
          std::pair{parts.reason, text}}) {
        painter->setPen(color);
        painter->drawText(area, flags, part);
        area.setLeft(area.left() + metrics.horizontalAdvance(part));
    }
    painter->restore();
}

QSize CPortItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const EntryParts parts = PartsOf(index);
    item.text = parts.path + parts.description + parts.reason;
    return StyleOf(item)->sizeFromContents(QStyle::CT_ItemViewItem, &item, QSize(), item.widget);
}
