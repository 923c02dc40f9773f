#pragma once

#include <QImage>
#include <QScrollArea>
#include <QString>

class QLabel;

namespace packsmith::qt {

// One picture large: fitted to the pane, or at 100 % or 200 % with scroll bars, over a
// checkerboard where it is transparent; or a line saying why there is none.
class PictureView final : public QScrollArea {
    Q_OBJECT
public:
    enum class Zoom { Fit, Actual, Double };

    explicit PictureView(QWidget* parent = nullptr);

    void SetPicture(const QImage& picture);
    // No picture, and why (empty: nothing selected).
    void SetMessage(const QString& message);
    void SetZoom(Zoom zoom);

    const QImage& Picture() const { return picture_; }
    Zoom CurrentZoom() const { return zoom_; }
    // Where the picture is drawn within the canvas, at the current zoom.
    QRect PictureRect() const;

private:
    class Canvas;
    void Layout();

    Canvas* canvas_;
    QImage picture_;
    QString message_;
    Zoom zoom_ = Zoom::Fit;
};

} // namespace packsmith::qt
