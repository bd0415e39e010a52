#include "app/Dialogs.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A file dialog whose caller names no folder opens where the user works, never at "/".
TEST(DialogFolders, AnUnnamedFolderIsTheDocumentsFolderThenTheLastOneUsed) {
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    struct TRestore {
        QByteArray home;
        ~TRestore() { qputenv("HOME", home); }
    } restore{savedHome};
    QDir(home.path()).mkpath("Documents");
    TDialogFolders folders;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    EXPECT_EQ(folders.startFolder(QString()), documents);
    EXPECT_EQ(folders.startPath(QString(), "31.oni"), QDir(documents).filePath("31.oni"));
    EXPECT_EQ(folders.startPath("/var/data", "31.oni"), "/var/data/31.oni");
    EXPECT_EQ(folders.startPath("/var/data", QString()), "/var/data");

    // A file chosen somewhere: the next unnamed folder is that one; a cancelled dialog keeps it.
    folders.remember(home.path() + "/exports/track-7.gpx");
    EXPECT_EQ(folders.startPath(QString(), "8.oni"), home.path() + "/exports/8.oni");
    folders.remember(QString());
    EXPECT_EQ(folders.startFolder(QString()), home.path() + "/exports");
    folders.remember(home.path() + "/imports", true);
    EXPECT_EQ(folders.startFolder(QString()), home.path() + "/imports");
}
