#include "gui/qt/contents/PictureView.h"

#include <QPainter>
#include <QPaintEvent>

#include "gui/qt/contents/PictureBackdrop.h"

namespace packsmith::qt {

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
    Layout();
}

void PictureView::SetPicture(const QImage& picture)
{
    picture_ = picture;
    message_.clear();
    Layout();
}

void PictureView::SetMessage(const QString& message)
{
    picture_ = QImage();
    message_ = message;
    Layout();
}

void PictureView::SetZoom(Zoom zoom)
{
    zoom_ = zoom;
    Layout();
}

QRect PictureView::PictureRect() const
{
    if (picture_.isNull())
        return {};
    QSize size = picture_.size();
    if (zoom_ == Zoom::Fit)
        size.scale(canvas_->size(), Qt::KeepAspectRatio);
    else if (zoom_ == Zoom::Double)
        size *= 2;
    const QSize room = canvas_->size();
    return QRect((room.width() - size.width()) / 2, (room.height() - size.height()) / 2, size.width(), size.height());
}

void PictureView::Layout()
{
    // Fitted (or with nothing to show), the canvas is the pane; zoomed, it is the picture's
    // size and the pane scrolls over it.
    const bool fitted = zoom_ == Zoom::Fit || picture_.isNull();
    setWidgetResizable(fitted);
    if (!fitted)
        canvas_->resize(zoom_ == Zoom::Double ? picture_.size() * 2 : picture_.size());
    canvas_->update();
}

} // namespace packsmith::qt
