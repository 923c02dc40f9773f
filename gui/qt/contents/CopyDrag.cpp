#include "gui/qt/contents/CopyDrag.h"

#include <QAbstractItemView>
#include <QDrag>
#include <QMimeData>

namespace packsmith::qt {

void AllowCopyDrag(QAbstractItemView& view)
{
    view.setDragEnabled(true);
    view.setDragDropMode(QAbstractItemView::DragOnly);
    view.setDefaultDropAction(Qt::CopyAction);
}

void StartCopyDrag(QAbstractItemView& view, Qt::DropActions supportedActions, const DragData& dragData)
{
    if (!dragData || !(supportedActions & Qt::CopyAction))
        return;
    QMimeData* data = dragData();
    if (data == nullptr)
        return;
    auto* drag = new QDrag(&view);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

} // namespace packsmith::qt
