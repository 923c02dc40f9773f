#pragma once

#include <QListView>
#include <functional>

class QMimeData;

namespace packsmith::qt {

// The grid of thumbnails: cells of one size laid out in batches, so that a pack of
// thousands of entries shows at once. Dragging selected cells out hands over what
// dragData gives (files in a folder the window owns).
class ThumbnailView final : public QListView {
    Q_OBJECT
public:
    explicit ThumbnailView(QWidget* parent = nullptr);

    // Set before the first drag; a null result (nothing to hand over) starts none.
    void SetDragData(std::function<QMimeData*()> dragData) { dragData_ = std::move(dragData); }

protected:
    void startDrag(Qt::DropActions supportedActions) override;

private:
    std::function<QMimeData*()> dragData_;
};

} // namespace packsmith::qt
