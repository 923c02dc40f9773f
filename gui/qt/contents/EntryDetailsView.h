#pragma once

#include <QTreeView>

#include <array>

#include "gui/qt/contents/CopyDrag.h"
#include "gui/qt/contents/PackEntryModel.h"

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
    // What the columns show changed (or the order): measured again, and fitted unless the
    // user sized a column.
    void TextChanged();
    void Measure();

    DragData dragData_;
    std::array<int, PackEntryModel::ColumnCount> wanted_{}; // each column's heading and text
    bool measured_ = false;
    bool refitDue_ = false;
    bool fitting_ = false;
    bool sizedByUser_ = false;
};

} // namespace packsmith::qt
