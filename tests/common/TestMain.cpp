#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

#include "app/FormatSettings.h"

namespace {
// The offscreen platform's screens: the two common desktop sizes side by side (a window test
// may place its window on either), the smaller one first.
QByteArray offscreenPlatform() {
    const QString file =
        QDir::tempPath() + QStringLiteral("/zarnex-test-screens-%1.json").arg(::getpid());
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return "offscreen";
    f.write(R"({"screens": [
        {"name": "1366x768", "x": 0, "y": 0, "width": 1366, "height": 768,
         "logicalDpi": 96, "logicalBpp": 32, "dpr": 1},
        {"name": "1920x1080", "x": 1366, "y": 0, "width": 1920, "height": 1080,
         "logicalDpi": 96, "logicalBpp": 32, "dpr": 1}]})");
    return "offscreen:configfile=" + file.toLocal8Bit();
}
} // namespace

// Test main: a Qt application object (offscreen) and the Russian conventions pinned.
int main(int argc, char **argv) {
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen")
        platform = offscreenPlatform();
    qputenv("QT_QPA_PLATFORM", platform);
    QApplication app(argc, argv);
    TFormatSettings::setCurrent(TFormatSettings::russian());
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    if (platform.startsWith("offscreen:configfile="))
        QFile::remove(QString::fromLocal8Bit(platform.mid(21)));
    return rc;
}
