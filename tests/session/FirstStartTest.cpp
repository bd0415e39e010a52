#include "session/FirstStart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"

namespace {
void writeFile(const QString &name, const QByteArray &bytes) {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
QByteArray readFile(const QString &name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

// An administrator names the workstations' database server in the installed program's global
// settings; a new user's first start takes it over without being told that a file is missing.
TEST(SeedUserSettings, ANewUserStartsFromTheGlobalSettings) {
    QTemporaryDir tmp;
    const QString program = tmp.path() + "/opt/zarnex-client/zarnex-client";
    QDir().mkpath(tmp.path() + "/opt/zarnex-client");
    const QByteArray global = "[SettingsLocation]\r\nUserPath=1\r\n[DataBase]\r\n"
                              "DBServ=dbserver.example\r\nDBPath=/var/lib/zarnex/ZARNEXLDB.FDB\r\n";
    writeFile(tmp.path() + "/opt/zarnex-client/zarnex-client.ini", global);
    qputenv("XDG_CONFIG_HOME", (tmp.path() + "/home/.config").toUtf8());
    SetupFolders(program);
    const TFolders f = Folders();
    qunsetenv("XDG_CONFIG_HOME");
    ASSERT_NE(f.ProfileDir, f.AppDir);

    EXPECT_TRUE(SeedUserSettings(f));
    EXPECT_EQ(readFile(f.SettingsFileName), global);
    EXPECT_EQ(QFileInfo(f.SettingsFileName).permissions(),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser); // passwords in plain text: the user's alone
    TOptions o = options::Defaults(f);
    TScriptedDialogs d;
    ASSERT_TRUE(options::LoadOptions(o, f, d));
    EXPECT_TRUE(d.calls.empty()) << d.messages().join('|').toStdString();
    EXPECT_EQ(o.DBServ, "dbserver.example");
    EXPECT_EQ(o.DBPath, "/var/lib/zarnex/ZARNEXLDB.FDB");

    // A user's own settings are never replaced.
    writeFile(f.SettingsFileName, "[DataBase]\r\nDBServ=\r\n");
    EXPECT_FALSE(SeedUserSettings(f));
    EXPECT_EQ(readFile(f.SettingsFileName), "[DataBase]\r\nDBServ=\r\n");
    EXPECT_FALSE(QFileInfo::exists(f.SettingsFileName + ".new"));
}

TEST(SeedUserSettings, NothingWithoutAPerUserFolderOrAGlobalFile) {
    QTemporaryDir tmp;
    TFolders f;
    f.AppDir = tmp.path() + "/prog/";
    f.ProfileDir = f.AppDir;
    f.SettingsFileName = f.AppDir + "zarnex-client.ini";
    QDir().mkpath(f.AppDir);
    EXPECT_FALSE(SeedUserSettings(f)); // settings in the program folder: nothing to seed
    EXPECT_FALSE(QFileInfo::exists(f.SettingsFileName));

    f.ProfileDir = tmp.path() + "/user/";
    f.SettingsFileName = f.ProfileDir + "zarnex-client.ini";
    QDir().mkpath(f.ProfileDir);
    EXPECT_FALSE(SeedUserSettings(f)); // no global file: the defaults apply as before
    EXPECT_FALSE(QFileInfo::exists(f.SettingsFileName));
}
