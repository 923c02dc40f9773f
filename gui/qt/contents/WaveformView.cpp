#include "gui/qt/contents/WaveformView.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace packsmith::qt {

WaveformView::WaveformView(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setCursor(Qt::IBeamCursor);
}

void WaveformView::SetPeaks(std::shared_ptr<const WaveformPeaks> peaks)
{
    peaks_ = std::move(peaks);
    message_.clear();
    update();
}

void WaveformView::SetMessage(const QString& message)
{
    message_ = message;
    update();
}

void WaveformView::SetPosition(double fraction)
{
    fraction = std::clamp(fraction, 0.0, 1.0);
    // Repainting costs a pass over the columns; skip it while the line stays on its pixel.
    const bool moved = std::lround(fraction * width()) != std::lround(position_ * width());
    position_ = fraction;
    if (moved)
        update();
}

void WaveformView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = rect().adjusted(0, 0, -1, -1);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(area);
    if (!peaks_ || peaks_->Channels == 0 || peaks_->Columns == 0) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, message_);
        return;
    }
    const int playedX = static_cast<int>(std::lround(position_ * width()));
    const int lanes = peaks_->Channels;
    for (int channel = 0; channel < lanes; ++channel) {
        const int top = area.top() + 1 + channel * (area.height() - 1) / lanes;
        const int bottom = area.top() + 1 + (channel + 1) * (area.height() - 1) / lanes;
        PaintLane(painter, channel, QRect(area.left() + 1, top, area.width() - 1, bottom - top), playedX);
        if (channel > 0) {
            painter.setPen(palette().color(QPalette::Midlight));
            painter.drawLine(area.left() + 1, top, area.right() - 1, top);
        }
    }
    painter.setPen(QPen(palette().color(QPalette::Text), 1));
    painter.drawLine(playedX, area.top() + 1, playedX, area.bottom() - 1);
}

void WaveformView::PaintLane(QPainter& painter, int channel, const QRect& lane, int playedX) const
{
    const QColor played = palette().color(QPalette::Highlight);
    QColor ahead = palette().color(QPalette::Text);
    ahead.setAlphaF(0.55F);
    const double middle = lane.top() + lane.height() / 2.0;
    const double half = (lane.height() - 2) / 2.0;
    painter.setPen(palette().color(QPalette::Midlight));
    painter.drawLine(lane.left(), static_cast<int>(middle), lane.right(), static_cast<int>(middle));

    const std::size_t columns = peaks_->Columns;
    const auto pixels = static_cast<std::size_t>(std::max(lane.width(), 1));
    for (std::size_t x = 0; x < pixels; ++x) {
        // Each pixel draws the columns that fall on it, at least one.
        const std::size_t first = x * columns / pixels;
        const std::size_t last = std::max((x + 1) * columns / pixels, first + 1);
        if (last > peaks_->Filled)
            break; // not read yet
        const auto [low, high] = peaks_->Range(channel, first, last);
        const int px = lane.left() + static_cast<int>(x);
        const int y1 = static_cast<int>(std::lround(middle - high * half));
        const int y2 = static_cast<int>(std::lround(middle - low * half));
        painter.setPen(px < playedX ? played : ahead);
        painter.drawLine(px, y1, px, std::max(y1, y2));
    }
}

void WaveformView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        SeekTo(static_cast<int>(event->position().x()));
}

void WaveformView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        SeekTo(static_cast<int>(event->position().x()));
}

void WaveformView::SeekTo(int x)
{
    if (peaks_ && peaks_->Columns > 0 && width() > 0)
        emit SeekRequested(std::clamp(static_cast<double>(x) / width(), 0.0, 1.0));
}

} // namespace packsmith::qt
