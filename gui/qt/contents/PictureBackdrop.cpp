#include "gui/qt/contents/PictureBackdrop.h"

#include <QBrush>
#include <QImage>
#include <QPainter>

namespace packsmith::qt {

void PaintCheckerboard(QPainter& painter, const QRect& rect)
{
    constexpr int kSquare = 8;
    static const QBrush checkers = [] {
        QImage tile(2 * kSquare, 2 * kSquare, QImage::Format_RGB32);
        tile.fill(QColor(0xFF, 0xFF, 0xFF));
        for (int y = 0; y < tile.height(); ++y)
            for (int x = 0; x < tile.width(); ++x)
                if ((x / kSquare + y / kSquare) % 2 == 1)
                    tile.setPixel(x, y, qRgb(0xCC, 0xCC, 0xCC));
        return QBrush(tile);
    }();
    painter.save();
    // The squares stay put under the picture, wherever the picture is drawn.
    painter.setBrushOrigin(rect.topLeft());
    painter.fillRect(rect, checkers);
    painter.restore();
}

} // namespace packsmith::qt
