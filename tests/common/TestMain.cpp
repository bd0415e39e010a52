#include <QApplication>

#include <gtest/gtest.h>

#include "app/FormatSettings.h"

// Test main: a Qt application object (offscreen) and the Russian conventions pinned.
int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    TFormatSettings::setCurrent(TFormatSettings::russian());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
