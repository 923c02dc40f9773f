#pragma once

#include <QImage>
#include <QScrollArea>
#include <QString>
#include <optional>

namespace packsmith::qt {

// One picture large: fitted to the pane, or at a scale of its own with scroll bars, over a
// checkerboard where it is transparent; or a line saying why there is none. Ctrl+wheel
// zooms about the point under the cursor, + and - about the middle of the pane, in the
// steps of ZoomSteps.h. The scale stays when another picture is shown.
class PictureView final : public QScrollArea {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    void SetPicture(const QImage& picture);
    // No picture, and why (empty: nothing selected).
    void SetMessage(const QString& message);

    void ZoomToFit();
    // Clamped to the smallest and largest step.
    void ZoomTo(double scale);
    // A step from the scale shown (from a fitted one too); no change past the last step.
    void ZoomIn();
    void ZoomOut();

    const QImage& Picture() const { return picture_; }
    bool Fitted() const { return fitted_; }
    // The scale the picture is drawn at (1.0 is 100 %), fitted or not.
    double Scale() const;
    // Where the picture is drawn within the canvas, at the current zoom.
    QRect PictureRect() const;

signals:
    // The scale shown changed: zoomed, or fitted to a pane or picture of another size.
    void ZoomChanged();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class Canvas;
    // Zooms so that what is at at (in the viewport) stays there where the picture allows.
    void ZoomAbout(double scale, QPoint at);
    void ScrollToAnchor();
    QSize ScaledSize() const;
    void Layout();

    Canvas* canvas_;
    QImage picture_;
    QString message_;
    bool fitted_ = true;
    double scale_ = 1.0; // when not fitted
    int wheelTurn_ = 0; // wheel angle not yet zoomed by, for wheels turning in small steps
    // The point of the picture (in its pixels) a zoom keeps under a point of the viewport,
    // kept until the scroll bars the new size calls for have come or gone (Qt does that a
    // moment later, and the viewport's size changes with them).
    struct Anchor {
        QPointF OnPicture;
        QPoint At;
    };
    std::optional<Anchor> anchor_;
};

} // namespace packsmith::qt
