#include "gui/qt/mainform/JobListDelegate.h"

#include <QApplication>
#include <QPainter>

namespace packsmith::qt {

JobListDelegate::JobListDelegate(std::function<QString()> made, QObject* parent)
    : QStyledItemDelegate(parent), made_(std::move(made))
{
}

void JobListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString path = item.text;
    item.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    room.adjust(margin, 0, -margin, 0);
    const bool selected = (item.state & QStyle::State_Selected) != 0;
    const QPalette::ColorGroup group = (item.state & QStyle::State_Enabled) == 0 ? QPalette::Disabled
                                       : (item.state & QStyle::State_Active) != 0 ? QPalette::Active
                                                                                   : QPalette::Inactive;
    painter->save();
    painter->setFont(item.font);
    const QString made = made_ ? made_() : QString();
    if (!made.isEmpty()) {
        const int width = item.fontMetrics.horizontalAdvance(made);
        painter->setPen(item.palette.color(group, selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
        painter->drawText(room, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, made);
        room.setRight(room.right() - width - item.fontMetrics.averageCharWidth() * 2);
    }
    painter->setPen(item.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(room, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      item.fontMetrics.elidedText(path, Qt::ElideMiddle, room.width()));
    painter->restore();
}

QSize JobListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (option.widget != nullptr)
        size.setWidth(0);
    return size;
}

} // namespace packsmith::qt
