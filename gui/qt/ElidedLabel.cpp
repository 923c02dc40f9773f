#include "gui/qt/ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace packsmith::qt {

bool ElidedLabel::IsElided() const { return TextWidth() > contentsRect().width(); }

int ElidedLabel::TextWidth() const { return fontMetrics().horizontalAdvance(text()); }

// However long the text, the label may be as narrow as its layout wants.
QSize ElidedLabel::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

bool ElidedLabel::event(QEvent* event)
{
    // The whole text as the tip while only its ends are in sight; the label's own tip else.
    if (event->type() == QEvent::ToolTip && IsElided()) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
        return true;
    }
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect room = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width());
    style()->drawItemText(&painter, room, static_cast<int>(alignment()) | Qt::TextSingleLine, palette(), isEnabled(),
                          shown, foregroundRole());
}

} // namespace packsmith::qt
