#pragma once

#include <QString>

class QWidget;

namespace packsmith::qt {

// The About box's text (rich text): the version, what the tool does, its first steps, the
// licences and where the manual is.
QString AboutText();
// Shows it, modal to parent; its links open in the desktop's viewer for them.
void ShowAboutBox(QWidget* parent);

} // namespace packsmith::qt
