#pragma once

#include <QTreeView>

#include "gui/qt/contents/CopyDrag.h"

namespace packsmith::qt {

// The details list of a pack's entries, a row each with the columns of PackEntryModel.
// The columns fit the pane: the name takes what the others leave, which are as wide as
// what they show (the free-text ones give way first when the pane is narrow; narrower
// still, the list scrolls sideways), until the user sizes one. Dragging selected rows out
// hands over what dragData gives.
class EntryDetailsView final : public QTreeView {
    Q_OBJECT
public:
    explicit EntryDetailsView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    // Set before the first drag.
    void SetDragData(DragData dragData) { dragData_ = std::move(dragData); }
    // Sizes the columns to the pane (as a resize of the pane does until the user sizes one).
    void FitColumns();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    DragData dragData_;
    bool fitting_ = false;
    bool sizedByUser_ = false;
};

} // namespace packsmith::qt
