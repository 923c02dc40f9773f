#pragma once

#include <QString>

class QWidget;

namespace packsmith::qt {

// The About box's text (rich text): the version, what the tool does, its first steps, the
// licences and where the manual is: the README beside the program where it ships with one
// (the zip and the installer on Windows, where there are no manual pages), else the manual
// pages. readme names that README; empty, it is looked for beside the program.
QString AboutText(const QString& readme = {});
// Shows it, modal to parent; its links open in the desktop's viewer for them.
void ShowAboutBox(QWidget* parent);

} // namespace packsmith::qt
