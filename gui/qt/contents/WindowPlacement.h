#pragma once

class QWidget;

namespace packsmith::qt {

// Places a window not yet shown over the middle of parent's window (of the screen, without
// a parent), shrunk and moved so that all of it, frame included, lies on the part of that
// screen that panels leave free.
void PlaceOnScreen(QWidget& window, const QWidget* parent);

} // namespace packsmith::qt
