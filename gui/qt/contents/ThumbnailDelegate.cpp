#include "gui/qt/contents/ThumbnailDelegate.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPen>

#include "gui/qt/contents/PackEntryModel.h"
#include "gui/qt/contents/PictureBackdrop.h"

namespace packsmith::qt {

namespace {

constexpr int kPadding = 6;
constexpr int kMinCellWidth = 120;

// Where a picture of the given size goes in area: centred, shrunk to fit if need be.
QRect Centred(QSize size, const QRect& area)
{
    if (size.width() > area.width() || size.height() > area.height())
        size.scale(area.size(), Qt::KeepAspectRatio);
    return QRect(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2,
                 size.width(), size.height());
}

void PaintCross(QPainter& painter, const QRect& area)
{
    const int side = area.width() / 2;
    const QRect cross(area.center().x() - side / 2, area.center().y() - side / 2, side, side);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0xD0, 0x20, 0x20), std::max(3, side / 8), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(cross.topLeft(), cross.bottomRight());
    painter.drawLine(cross.topRight(), cross.bottomLeft());
    painter.restore();
}

} // namespace

ThumbnailDelegate::ThumbnailDelegate(PackEntryModel& model, int thumbnailSide, QObject* parent)
    : QStyledItemDelegate(parent), model_(model), side_(thumbnailSide)
{
}

QSize ThumbnailDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const int line = option.fontMetrics.height();
    return QSize(std::max(kMinCellWidth, side_ + 2 * kPadding), kPadding + side_ + kPadding + 2 * line + kPadding);
}

void ThumbnailDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    const QWidget* widget = cell.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    const bool selected = cell.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = cell.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    // The whole cell shows the selection, not only the name.
    if (selected)
        painter->fillRect(cell.rect, cell.palette.brush(group, QPalette::Highlight));
    else
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, widget);

    const int row = index.data(PackEntryModel::kEntryRole).toInt();
    const ListedEntry& entry = model_.Entry(row);
    const QRect& r = cell.rect;
    const QRect pictureArea(r.x() + (r.width() - side_) / 2, r.y() + kPadding, side_, side_);
    QString sizeLine = QStringLiteral("%1 x %2").arg(entry.Width).arg(entry.Height);
    if (const std::shared_ptr<const Thumbnail> thumbnail = model_.ThumbnailOf(row); !thumbnail) {
        // A frame of the size to come, so the grid keeps its look while it fills in.
        const QRect frame = Centred(QSize(static_cast<int>(std::max(entry.Width, 8u)),
                                          static_cast<int>(std::max(entry.Height, 8u))), pictureArea);
        painter->save();
        painter->setPen(QColor(0xB8, 0xB8, 0xB8));
        painter->drawRect(frame.adjusted(0, 0, -1, -1));
        painter->restore();
    } else if (!thumbnail->Problem.empty()) {
        PaintCross(*painter, pictureArea);
        sizeLine = tr("cannot be read");
    } else {
        const QImage image(thumbnail->Pixels.data(), static_cast<int>(thumbnail->Width),
                           static_cast<int>(thumbnail->Height), static_cast<qsizetype>(thumbnail->Width) * 4,
                           QImage::Format_ARGB32_Premultiplied);
        const QRect target = Centred(image.size(), pictureArea);
        PaintCheckerboard(*painter, target);
        painter->drawImage(target, image);
    }

    const int line = cell.fontMetrics.height();
    const QRect nameRect(r.x() + 2, pictureArea.bottom() + 1 + kPadding, r.width() - 4, line);
    const QRect sizeRect = nameRect.translated(0, line);
    painter->save();
    painter->setFont(cell.font);
    painter->setPen(cell.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(nameRect, Qt::AlignHCenter | Qt::AlignVCenter,
                      cell.fontMetrics.elidedText(cell.text, Qt::ElideMiddle, nameRect.width()));
    if (!selected)
        painter->setPen(cell.palette.color(group, QPalette::PlaceholderText));
    painter->drawText(sizeRect, Qt::AlignHCenter | Qt::AlignVCenter, sizeLine);
    painter->restore();
}

} // namespace packsmith::qt
