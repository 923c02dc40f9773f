#pragma once

#include <QListView>

#include "gui/qt/contents/CopyDrag.h"

namespace packsmith::qt {

// The grid of thumbnails: cells of one size laid out in batches, so that a pack of
// thousands of entries shows at once. Dragging selected cells out hands over what
// dragData gives.
class ThumbnailView final : public QListView {
    Q_OBJECT
public:
    explicit ThumbnailView(QWidget* parent = nullptr);

    // Set before the first drag.
    void SetDragData(DragData dragData) { dragData_ = std::move(dragData); }

protected:
    void startDrag(Qt::DropActions supportedActions) override;

private:
    DragData dragData_;
};

} // namespace packsmith::qt
