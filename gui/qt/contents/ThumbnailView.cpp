#include "gui/qt/contents/ThumbnailView.h"

#include <QDrag>
#include <QMimeData>

namespace packsmith::qt {

ThumbnailView::ThumbnailView(QWidget* parent) : QListView(parent)
{
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setWrapping(true);
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setBatchSize(500);
    setSpacing(2);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
}

void ThumbnailView::startDrag(Qt::DropActions supportedActions)
{
    if (!dragData_ || !(supportedActions & Qt::CopyAction))
        return;
    QMimeData* data = dragData_();
    if (data == nullptr)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

} // namespace packsmith::qt
