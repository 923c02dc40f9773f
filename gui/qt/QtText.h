#pragma once

#include <QFile>
#include <QString>
#include <string>

namespace packsmith::qt {

// The core keeps text and file names as bytes; Qt converts them the way it converts file
// names, so a path survives the round trip unchanged.
inline QString ToQt(const std::string& text) { return QFile::decodeName(QByteArray::fromStdString(text)); }
inline std::string FromQt(const QString& text) { return QFile::encodeName(text).toStdString(); }

} // namespace packsmith::qt
