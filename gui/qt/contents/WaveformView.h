#pragma once

#include <QString>
#include <QWidget>
#include <memory>

#include "gui/browse/WaveformPeaks.h"

class QPainter;

namespace packsmith::qt {

// A sound's waveform, one lane per channel, with the part already played in the highlight
// colour and a line where playing is. Until the peaks are there it shows a message in their
// place ("Decoding..."); peaks still being made show as far as they are filled. A click or
// drag asks to play from there.
class WaveformView final : public QWidget {
    Q_OBJECT
public:
    explicit WaveformView(QWidget* parent = nullptr);

    void SetPeaks(std::shared_ptr<const WaveformPeaks> peaks);
    const WaveformPeaks* Peaks() const { return peaks_.get(); }
    void SetMessage(const QString& message);
    // Where playing is, as a part of the whole length (0..1).
    void SetPosition(double fraction);

    QSize sizeHint() const override { return {640, 180}; }
    QSize minimumSizeHint() const override { return {160, 60}; }

signals:
    void SeekRequested(double fraction);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void PaintLane(QPainter& painter, int channel, const QRect& lane, int playedX) const;
    void SeekTo(int x);

    std::shared_ptr<const WaveformPeaks> peaks_;
    QString message_;
    double position_ = 0.0;
};

} // namespace packsmith::qt
