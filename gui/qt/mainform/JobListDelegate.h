#pragma once

#include <QStyledItemDelegate>
#include <functional>

namespace packsmith::qt {

// Draws a job of the job list: its path with the middle left out where the list is too
// narrow, so the file name stays in sight (the item's tool tip holds the whole path), and
// at the right, greyed, what the job makes where that is not plain from the path (the
// packed format of a sound file: "→ .wac").
class JobListDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    // made: the note drawn at the right of every job, or an empty text for none.
    JobListDelegate(std::function<QString()> made, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // As wide as the list: no path needs a horizontal scroll bar.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    std::function<QString()> made_;
};

} // namespace packsmith::qt
