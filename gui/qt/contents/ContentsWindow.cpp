#include "gui/qt/contents/ContentsWindow.h"

#include <QApplication>
#include <QMainWindow>
#include <filesystem>
#include <system_error>

#include "core/ErrorText.h"
#include "core/PackError.h"
#include "gui/WindowOperations.h"
#include "gui/qt/QtText.h"
#include "gui/qt/contents/PackContentsWindow.h"
#include "gui/qt/contents/SoundContentsWindow.h"
#include "gui/qt/contents/WindowPlacement.h"
#include "jobs/FormatTable.h"

namespace packsmith::qt {

namespace {

// The file a contents window shows, by which it is found again.
constexpr char kShownFile[] = "packsmithShownFile";

const Format* ShownFormat(const std::string& path)
{
    const Format* format = FormatForFile(path);
    return format != nullptr && format->List != nullptr ? format : nullptr;
}

// One name for the file however it was written ("a.at3", "./a.at3" or "dir/../a.at3").
QString ShownFileKey(const std::string& path)
{
    std::error_code failed;
    const std::filesystem::path absolute = std::filesystem::absolute(path, failed);
    return ToQt(failed ? path : absolute.lexically_normal().string());
}

// The contents window of parent's showing the file, if one is open. A closed one may wait
// a moment to be deleted; it is hidden by then and does not count.
QMainWindow* OpenWindow(const QString& key, QWidget* parent)
{
    QList<QMainWindow*> windows;
    if (parent != nullptr) {
        windows = parent->findChildren<QMainWindow*>(Qt::FindDirectChildrenOnly);
    } else {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<QMainWindow*>(widget); window != nullptr && window->parentWidget() == nullptr)
                windows.push_back(window);
    }
    for (QMainWindow* window : windows)
        if (window->isVisible() && window->property(kShownFile).toString() == key)
            return window;
    return nullptr;
}

void BringForward(QMainWindow& window)
{
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

bool HasContents(const std::string& path) { return ShownFormat(path) != nullptr; }

void ShowContents(const std::string& path, QWidget* parent, DialogOperations& dialogs)
{
    const Format* format = ShownFormat(path);
    if (format == nullptr)
        return;
    const QString key = ShownFileKey(path);
    if (QMainWindow* open = OpenWindow(key, parent); open != nullptr) {
        BringForward(*open);
        return;
    }
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
    window->setProperty(kShownFile, key);
    PlaceOnScreen(*window, parent);
    BringForward(*window);
}

} // namespace packsmith::qt
