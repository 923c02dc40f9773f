#include "gui/qt/AboutBox.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace packsmith::qt {

QString AboutText(const QString& readme)
{
    const QString besideProgram = QDir(QApplication::applicationDirPath()).filePath("README.md");
    const QString manualFile = !readme.isEmpty() ? readme : QFileInfo::exists(besideProgram) ? besideProgram : QString();
    const QString manual =
        manualFile.isEmpty()
            ? QStringLiteral("<p>The manual: <a href=\"man:packsmith(1)\">packsmith(1)</a>, and for the command line "
                             "<a href=\"man:packsmith-cli(1)\">packsmith-cli(1)</a> (<tt>man packsmith-cli</tt>).</p>")
            : QStringLiteral("<p>The manual, for the window and the command line: <a href=\"%1\">%2</a>.</p>")
                  .arg(QUrl::fromLocalFile(manualFile).toString(QUrl::FullyEncoded).toHtmlEscaped(),
                       QDir::toNativeSeparators(manualFile).toHtmlEscaped());
    return QStringLiteral(
               "<h3>Packsmith %1</h3>"
               "<p>Unpacks packed game sound (.wac, .was) into .wav files and image packs (.at3) into .tga "
               "pictures, and rebuilds an image pack from edited pictures by replaying the result.log its "
               "extraction wrote.</p>"
               "<p><b>First steps</b></p>"
               "<ol>"
               "<li>Add packs with the first tool button (Ctrl+O), or drop files or a folder on the job list.</li>"
               "<li>Process the list (F5) and choose the target folder: the pictures and sounds go there, "
               "with result.log naming them.</li>"
               "<li>Edit pictures, add the target's result.log and process it to rebuild the pack.</li>"
               "</ol>"
               "<p>Double-click a job to see what it holds. Every control's tool tip names its shortcut.</p>"
               "<p><b>Licence</b>: Packsmith's own terms are yet to be chosen by its developers; no licence file "
               "ships with this copy. It is built on Qt 6 (GNU LGPL 3), libsndfile and libsoxr (GNU LGPL 2.1 or "
               "later).</p>%2")
        .arg(QStringLiteral(PACKSMITH_VERSION), manual);
}

void ShowAboutBox(QWidget* parent)
{
    QMessageBox box(parent);
    box.setObjectName("AboutBox");
    box.setWindowTitle("About " + QApplication::applicationName());
    box.setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    box.setTextFormat(Qt::RichText);
    box.setText(AboutText());
    box.setTextInteractionFlags(Qt::TextBrowserInteraction);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

} // namespace packsmith::qt
