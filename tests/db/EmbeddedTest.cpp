#include "DbTestEnv.h"

#include <QFileInfo>
#include <QProcess>

#include "app/Folders.h"
#include "app/Options.h"
#include "common/ScriptedDialogs.h"
#include "db/DatabaseController.h"

#include <sys/stat.h>

using namespace db;

// Without a server name the database is opened by the embedded engine: the file path alone.
TEST(EmbeddedEngine, TheCliBuildsTheShippedDatabaseAndTheClientOpensItWithoutAServer) {
    if (!QFileInfo::exists(ZARNEX_BIN_DIR "/zarnex-cli"))
        GTEST_SKIP() << "zarnex-cli is not built";
    const QString path = dbtest::scratchDir() + "EMBEDDED.FDB";
    QFile::remove(path);
    QProcess tool;
    tool.start(
        ZARNEX_BIN_DIR "/zarnex-cli",
        {"create-db", path, "--script", ZARNEX_SOURCE_DIR "/update/UPDB.sql", "--if-missing"});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    ASSERT_TRUE(QFileInfo::exists(path));
    if (geteuid() == 0) { // handed to the server's user
        EXPECT_EQ(QFileInfo(path).owner(), "firebird");
    }

    // A second run leaves the existing file alone.
    const auto created = QFileInfo(path).lastModified();
    tool.start(
        ZARNEX_BIN_DIR "/zarnex-cli",
        {"create-db", path, "--script", ZARNEX_SOURCE_DIR "/update/UPDB.sql", "--if-missing"});
    ASSERT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_EQ(QFileInfo(path).lastModified(), created);

    TOptions o;
    o.DBServ = "";
    o.DBPath = path;
    TScriptedDialogs d;
    TDatabaseController c(o, d);
    ASSERT_TRUE(c.ConnectToDB(o.DBServ, o.DBPath, o.DBPass, o.DBLogin));
    EXPECT_FALSE(c.versionCheck());
    EXPECT_TRUE(d.calls.empty());
    EXPECT_EQ(c.Database().name(), path);
    EXPECT_EQ(c.GetCurrDBVersion(), CurrentDbVersion);
    c.DisconnectFromDB();
    QFile::remove(path);
}
