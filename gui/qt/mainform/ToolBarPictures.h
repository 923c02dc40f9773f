#pragma once

#include <QIcon>
#include <QPixmap>

namespace packsmith::qt {

// The tool bar's pictures, by their numbers: 0 add, 1 save list, 2 remove, 3 process,
// 4 exit, 5 clear, 6 help. They are drawn here rather than taken from an icon theme, so the tool
// looks the same on every desktop and in a session without a theme.
inline constexpr int kPictureCount = 7;

QPixmap EnabledPicture(int picture, int size);
// The disabled form: grey and faded, so a disabled button is told apart at a glance.
QPixmap DisabledPicture(int picture, int size);
// Both forms, at the sizes a tool bar asks for.
QIcon ToolBarIcon(int picture);
QIcon ApplicationIcon();

} // namespace packsmith::qt
