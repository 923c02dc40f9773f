#pragma once

#include <QStyledItemDelegate>

namespace packsmith::qt {

class PackEntryModel;

// Draws a grid cell: the entry's thumbnail over a checkerboard (a frame while it is being
// made, a red cross when the picture cannot be had), and its name and size beneath.
class ThumbnailDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    // model: the source of the entries, behind whatever proxy the view shows.
    ThumbnailDelegate(PackEntryModel& model, int thumbnailSide, QObject* parent = nullptr);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    PackEntryModel& model_;
    int side_;
};

} // namespace packsmith::qt
