#pragma once

#include <QLabel>

namespace packsmith::qt {

// A one-line label that never cuts its text off at its edge: a text wider than the label is
// drawn with its middle left out ("Processing very_l…name.at3...") and shown whole in its
// tool tip, so both ends, where names and counts are, stay in sight. text() is the whole text.
class ElidedLabel final : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr) : QLabel(parent) {}

    // Whether the text is drawn with its middle left out at the label's width.
    bool IsElided() const;
    // The width the whole text takes.
    int TextWidth() const;

    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

} // namespace packsmith::qt
