#pragma once

#include <QRect>

class QPainter;

namespace packsmith::qt {

// Fills rect with the checkerboard that shows through where a picture is transparent.
void PaintCheckerboard(QPainter& painter, const QRect& rect);

} // namespace packsmith::qt
