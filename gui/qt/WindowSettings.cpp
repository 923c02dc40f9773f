#include "gui/qt/WindowSettings.h"

#include <QFileInfo>
#include <QSettings>

namespace packsmith::qt::WindowSettings {

namespace {

constexpr const char* kGeometry = "window/geometry";
constexpr const char* kAddFolder = "folders/add";
constexpr const char* kTargetFolder = "folders/target";

QString ExistingFolder(const char* key)
{
    const QString folder = QSettings().value(key).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

} // namespace

QByteArray Geometry() { return QSettings().value(kGeometry).toByteArray(); }

void SetGeometry(const QByteArray& geometry) { QSettings().setValue(kGeometry, geometry); }

QString AddFolder() { return ExistingFolder(kAddFolder); }

void SetAddFolder(const QString& folder) { QSettings().setValue(kAddFolder, folder); }

QString TargetFolder() { return ExistingFolder(kTargetFolder); }

void SetTargetFolder(const QString& folder) { QSettings().setValue(kTargetFolder, folder); }

} // namespace packsmith::qt::WindowSettings
