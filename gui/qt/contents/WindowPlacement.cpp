#include "gui/qt/contents/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace packsmith::qt {

namespace {

QScreen* ScreenOf(const QWidget* anchor)
{
    QScreen* screen = nullptr;
    if (anchor != nullptr) {
        // Where most of the parent is: a window across two screens reports the first.
        screen = QGuiApplication::screenAt(anchor->frameGeometry().center());
        if (screen == nullptr)
            screen = anchor->screen();
    }
    return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}

// The window manager's frame around a window is known only once it is shown; the parent's
// is the best guess, as the same manager frames both.
QMargins FrameOf(const QWidget* anchor)
{
    if (anchor == nullptr || !anchor->isVisible())
        return {};
    const QRect inside = anchor->geometry();
    const QRect frame = anchor->frameGeometry();
    return {inside.left() - frame.left(), inside.top() - frame.top(), frame.right() - inside.right(),
            frame.bottom() - inside.bottom()};
}

int Clamped(int start, int length, int roomStart, int roomLength)
{
    return std::clamp(start, roomStart, std::max(roomStart, roomStart + roomLength - length));
}

} // namespace

void PlaceOnScreen(QWidget& window, const QWidget* parent)
{
    const QWidget* anchor = parent != nullptr ? parent->window() : nullptr;
    const QScreen* screen = ScreenOf(anchor);
    if (screen == nullptr)
        return;
    const QRect room = screen->availableGeometry();
    const QMargins frame = FrameOf(anchor);
    window.resize(window.size().boundedTo(room.size().shrunkBy(frame)).expandedTo(window.minimumSize()));
    const QSize framed = window.size().grownBy(frame);
    const QPoint middle = anchor != nullptr ? anchor->frameGeometry().center() : room.center();
    // A window's position is that of its frame.
    window.move(Clamped(middle.x() - framed.width() / 2, framed.width(), room.left(), room.width()),
                Clamped(middle.y() - framed.height() / 2, framed.height(), room.top(), room.height()));
}

} // namespace packsmith::qt
