#include "gui/qt/contents/ThumbnailView.h"

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
    AllowCopyDrag(*this);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
}

void ThumbnailView::startDrag(Qt::DropActions supportedActions)
{
    StartCopyDrag(*this, supportedActions, dragData_);
}

} // namespace packsmith::qt
