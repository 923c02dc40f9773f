#include "gui/qt/contents/ContentsWindow.h"

#include <QMainWindow>

#include "core/ErrorText.h"
#include "core/PackError.h"
#include "gui/WindowOperations.h"
#include "gui/qt/contents/PackContentsWindow.h"
#include "gui/qt/contents/SoundContentsWindow.h"
#include "jobs/FormatTable.h"

namespace packsmith::qt {

namespace {

const Format* ShownFormat(const std::string& path)
{
    const Format* format = FormatForFile(path);
    return format != nullptr && format->List != nullptr ? format : nullptr;
}

} // namespace

bool HasContents(const std::string& path) { return ShownFormat(path) != nullptr; }

void ShowContents(const std::string& path, QWidget* parent, DialogOperations& dialogs)
{
    const Format* format = ShownFormat(path);
    if (format == nullptr)
        return;
    QMainWindow* window = nullptr;
    try {
        if (format->List == ListAt3)
            window = new PackContentsWindow(path, parent);
        else
            window = new SoundContentsWindow(path, *format, parent);
    } catch (...) {
        dialogs.ErrorBox(ErrorBoxText(About(path, MessageOf(std::current_exception()))));
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace packsmith::qt
