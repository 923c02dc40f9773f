#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <exception>
#include <string>
#include <vector>

#include "core/ErrorText.h"
#include "gui/qt/QtText.h"
#include "gui/qt/mainform/TMainForm.h"
#include "gui/qt/mainform/ToolBarPictures.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName("Packsmith");
    // Settings in ~/.config/packsmith on Linux, in the registry (HKEY_CURRENT_USER\Software\packsmith)
    // on Windows: QSettings' native places.
    QApplication::setOrganizationName("packsmith");
    QApplication::setDesktopFileName("packsmith");
    QApplication::setWindowIcon(packsmith::qt::ApplicationIcon());
    try {
        packsmith::qt::TMainForm form;
        form.show();
        // Files named on the command line (a double click in a file manager) join the job
        // list as files dropped on it do.
        QStringList arguments = QApplication::arguments();
        arguments.removeFirst();
        if (!arguments.isEmpty()) {
            std::vector<std::string> files;
            for (const QString& argument : arguments)
                files.push_back(packsmith::qt::FromQt(QFileInfo(argument).absoluteFilePath()));
            form.Logic().Execute([&] { form.Logic().AddFiles(files); });
        }
        return QApplication::exec();
    } catch (...) {
        // A failure while the window is being built is shown like any other, then the
        // program ends.
        const auto text = packsmith::ErrorBoxText(packsmith::MessageOf(std::current_exception()));
        QMessageBox::critical(nullptr, QApplication::applicationName(), packsmith::qt::ToQt(text));
        return 1;
    }
}
