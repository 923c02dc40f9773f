// The window's tests run against real widgets; without a display they use the offscreen
// platform, so CI needs no X server.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef _WIN32
    // The offscreen platform on Windows draws with the fonts of one folder, and the system's
    // are not there: the tests bring the fonts their measures were taken with on Linux, in
    // test-fonts beside them.
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR") && argc > 0)
        qputenv("QT_QPA_FONTDIR", QFileInfo(QString::fromLocal8Bit(argv[0])).dir().filePath("test-fonts").toLocal8Bit());
#endif
    QApplication application(argc, argv);
    QApplication::setApplicationName("Packsmith");
    QApplication::setOrganizationName("packsmith");
    // What the window remembers goes to a folder of this process's own, never into the
    // user's settings, nor into those of a test running beside it. Windows keeps settings in
    // the registry, which has no such folder: there the tests keep them in a file too.
    const QTemporaryDir settings;
    if (!settings.isValid())
        return 1;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
