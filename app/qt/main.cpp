#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "app/ErrorText.h"
#include "app/qt/QtText.h"
#include "app/qt/TMainForm.h"
#include "app/qt/ToolBarPictures.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName("Packsmith");
    QApplication::setDesktopFileName("packsmith");
    QApplication::setWindowIcon(packsmith::qt::ApplicationIcon());
    try {
        packsmith::qt::TMainForm form;
        form.show();
        return QApplication::exec();
    } catch (...) {
        // A failure while the window is being built is shown like any other, then the
        // program ends.
        const auto text = packsmith::ErrorBoxText(packsmith::MessageOf(std::current_exception()));
        QMessageBox::critical(nullptr, QApplication::applicationName(), packsmith::qt::ToQt(text));
        return 1;
    }
}
