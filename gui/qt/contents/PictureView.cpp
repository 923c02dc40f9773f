#include "gui/qt/contents/PictureView.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "gui/qt/contents/PictureBackdrop.h"
#include "gui/qt/contents/ZoomSteps.h"

namespace packsmith::qt {

namespace {

// One notch of an ordinary mouse wheel, in eighths of a degree.
constexpr int kWheelNotch = 120;

} // namespace

class PictureView::Canvas final : public QWidget {
public:
    explicit Canvas(PictureView& view) : view_(view) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (view_.picture_.isNull()) {
            painter.setPen(palette().color(QPalette::PlaceholderText));
            painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, view_.message_);
            return;
        }
        const QRect target = view_.PictureRect();
        PaintCheckerboard(painter, target);
        // Enlarged pixels stay sharp; a picture shrunk to fit is smoothed.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, target.width() < view_.picture_.width());
        painter.drawImage(target, view_.picture_);
    }

private:
    PictureView& view_;
};

PictureView::PictureView(QWidget* parent) : QScrollArea(parent), canvas_(new Canvas(*this))
{
    setAlignment(Qt::AlignCenter);
    setWidget(canvas_);
    setBackgroundRole(QPalette::Dark);
    setFocusPolicy(Qt::StrongFocus);
    Layout();
}

void PictureView::SetPicture(const QImage& picture)
{
    picture_ = picture;
    message_.clear();
    anchor_.reset();
    Layout();
    if (fitted_)
        emit ZoomChanged();
}

void PictureView::SetMessage(const QString& message)
{
    picture_ = QImage();
    message_ = message;
    anchor_.reset();
    Layout();
}

void PictureView::ZoomToFit()
{
    fitted_ = true;
    anchor_.reset();
    Layout();
    emit ZoomChanged();
}

void PictureView::ZoomTo(double scale)
{
    ZoomAbout(scale, viewport()->rect().center());
}

void PictureView::ZoomIn()
{
    if (const double scale = Scale(), step = ZoomStepIn(scale); step != scale)
        ZoomTo(step);
}

void PictureView::ZoomOut()
{
    if (const double scale = Scale(), step = ZoomStepOut(scale); step != scale)
        ZoomTo(step);
}

double PictureView::Scale() const
{
    if (!fitted_)
        return scale_;
    if (picture_.isNull())
        return 1.0;
    const QSize room = canvas_->size();
    return std::max(0.0, std::min(double(room.width()) / picture_.width(), double(room.height()) / picture_.height()));
}

QSize PictureView::ScaledSize() const
{
    const double scale = Scale();
    return {std::max(1, static_cast<int>(std::lround(picture_.width() * scale))),
            std::max(1, static_cast<int>(std::lround(picture_.height() * scale)))};
}

QRect PictureView::PictureRect() const
{
    if (picture_.isNull())
        return {};
    const QSize size = ScaledSize();
    const QSize room = canvas_->size();
    return QRect((room.width() - size.width()) / 2, (room.height() - size.height()) / 2, size.width(), size.height());
}

void PictureView::ZoomAbout(double scale, QPoint at)
{
    scale = std::clamp(scale, kSmallestZoom, kLargestZoom);
    if (picture_.isNull()) {
        fitted_ = false;
        scale_ = scale;
        Layout();
        emit ZoomChanged();
        return;
    }
    // A zoom about the same point before the last one settled keeps that one's point. A
    // pane not laid out yet has no point under at: the picture's middle stands for it.
    if (!anchor_ || anchor_->At != at) {
        const QPoint onCanvas = canvas_->mapFrom(viewport(), at);
        const double before = Scale();
        anchor_ = Anchor{before > 0 ? QPointF(onCanvas - PictureRect().topLeft()) / before
                                    : QPointF(picture_.width() / 2.0, picture_.height() / 2.0),
                         at};
    }
    fitted_ = false;
    scale_ = scale;
    Layout();
    ScrollToAnchor();
    QTimer::singleShot(0, this, [this] {
        ScrollToAnchor();
        anchor_.reset();
    });
    emit ZoomChanged();
}

void PictureView::ScrollToAnchor()
{
    if (!anchor_ || picture_.isNull())
        return;
    // Where the canvas is larger than the viewport, its point p shows at p minus the scroll
    // bars' values; a point the picture cannot be scrolled to is clamped to its nearest.
    const QPointF onCanvas = QPointF(PictureRect().topLeft()) + anchor_->OnPicture * Scale();
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(onCanvas.x() - anchor_->At.x())));
    verticalScrollBar()->setValue(static_cast<int>(std::lround(onCanvas.y() - anchor_->At.y())));
}

void PictureView::Layout()
{
    // Fitted (or with nothing to show), the canvas is the pane; zoomed, it is the picture's
    // size and the pane scrolls over it.
    const bool fitted = fitted_ || picture_.isNull();
    setWidgetResizable(fitted);
    if (!fitted)
        canvas_->resize(ScaledSize());
    canvas_->update();
}

void PictureView::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        wheelTurn_ = 0;
        QScrollArea::wheelEvent(event);
        return;
    }
    event->accept();
    const int turn = event->angleDelta().y();
    if (turn == 0)
        return;
    if ((turn > 0) != (wheelTurn_ > 0))
        wheelTurn_ = 0;
    wheelTurn_ += turn;
    // By the global position: the event reaches here from the viewport or the frame, in
    // the coordinates of either.
    const QPoint at = viewport()->mapFromGlobal(event->globalPosition().toPoint());
    for (; wheelTurn_ >= kWheelNotch; wheelTurn_ -= kWheelNotch)
        if (const double step = ZoomStepIn(Scale()); step != Scale())
            ZoomAbout(step, at);
    for (; wheelTurn_ <= -kWheelNotch; wheelTurn_ += kWheelNotch)
        if (const double step = ZoomStepOut(Scale()); step != Scale())
            ZoomAbout(step, at);
}

void PictureView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: // + without the shift on many keyboards
        ZoomIn();
        break;
    case Qt::Key_Minus:
        ZoomOut();
        break;
    default:
        QScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void PictureView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    if (fitted_ && !picture_.isNull())
        emit ZoomChanged();
}

} // namespace packsmith::qt
