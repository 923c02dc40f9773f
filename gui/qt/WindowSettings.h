#pragma once

#include <QByteArray>
#include <QString>

namespace packsmith::qt {

// What the window remembers from one session to the next: its size and place, the folder
// files were last added from and the last target folder. Kept with QSettings under the
// application's name; a folder that no longer exists is as good as none.
namespace WindowSettings {

QByteArray Geometry();
void SetGeometry(const QByteArray& geometry);

// "" when none is remembered or it is gone.
QString AddFolder();
void SetAddFolder(const QString& folder);
QString TargetFolder();
void SetTargetFolder(const QString& folder);

} // namespace WindowSettings

} // namespace packsmith::qt
