#pragma once

#include <Qt>
#include <functional>

class QAbstractItemView;
class QMimeData;

namespace packsmith::qt {

// What a drag out of a view hands over (files in a folder the window owns); null when
// there is nothing to hand over.
using DragData = std::function<QMimeData*()>;

// Lets the view's selected items be dragged out, never dropped onto it.
void AllowCopyDrag(QAbstractItemView& view);

// Starts a drag from view with what dragData gives. The files stay the window's, so a
// drag only ever copies: none starts where copying is not among the supported actions,
// or when there is nothing to hand over.
void StartCopyDrag(QAbstractItemView& view, Qt::DropActions supportedActions, const DragData& dragData);

} // namespace packsmith::qt
