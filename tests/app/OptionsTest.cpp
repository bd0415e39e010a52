#include "app/Cp1251.h"
#include "app/IniFile.h"
#include "app/Logging.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {
struct OptionsFixture : ::testing::Test {
    QTemporaryDir tmp;
    TFolders folders;
    TScriptedDialogs dialogs;

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        // The program's own layout for a program file in the scratch folder.
        folders = ComputeFolders(tmp.path() + "/zarnex-client");
    }
    void writeSettings(const QByteArray &text) {
        QFile f(folders.SettingsFileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray readSettings() {
        QFile f(folders.SettingsFileName);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
};
} // namespace

TEST_F(OptionsFixture, MissingFileGivesEveryDefaultAndSaysSo) {
    TOptions o;
    o.AppPort = 1; // overwritten by the default
    EXPECT_TRUE(options::LoadOptions(o, folders, dialogs));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0], "Не найден ini файл программы.\r\nИспользуются настройки по "
                                     "умолчанию (глобальные настройки приложения)");
    EXPECT_EQ(dialogs.calls[0].caption, "Зарнекс-Клиент-Авто");
    EXPECT_EQ(dialogs.calls[0].icon, TMsgIcon::Error);

    EXPECT_EQ(o.DBPath, folders.AppDir + "database/ZARNEXLDB.FDB");
    EXPECT_EQ(o.DBLogin, "SYSDBA");
    EXPECT_EQ(o.DBPass, "qvx7tpl2m");
    EXPECT_EQ(o.DBServ, "localhost");
    EXPECT_EQ(o.AppServer, "");
    EXPECT_EQ(o.AppPort, 7788);
    EXPECT_EQ(o.FtpPort, 2121);
    EXPECT_TRUE(o.FTPPAssive);
    EXPECT_EQ(o.ServerTimeOut, 120);
    EXPECT_EQ(o.TOPlaySound, 0);
    EXPECT_EQ(o.AutoConnect, 0);
    EXPECT_EQ(o.AutoConnectDelay, 10);
    EXPECT_FALSE(o.UseDServer);
    EXPECT_TRUE(o.DServer.startsWith("http://"));
    EXPECT_TRUE(o.DServer.endsWith("/zarnex/"));
    EXPECT_EQ(o.DPort, 80);
    EXPECT_FALSE(o.UseProxy);
    EXPECT_EQ(o.ProxyPort, "");
    EXPECT_EQ(o.DefaultMap, 1);
    EXPECT_EQ(o.MarkerColor, 16711680);
    EXPECT_EQ(o.TrackColor, 32768);
    EXPECT_EQ(o.LostTrackColor, 255);
    EXPECT_EQ(o.ActiveMarkerColor, 255);
    EXPECT_EQ(o.ArchiveMarkerColor, 8421504);
    EXPECT_TRUE(o.ShowPointerToNotVisObj);
    EXPECT_FALSE(o.AutoMapChange);
    EXPECT_FALSE(o.SelectBestMap);
    EXPECT_TRUE(o.Maps.isEmpty());
    EXPECT_FALSE(o.UseGoogleMap);
    EXPECT_EQ(o.RestMinTime, 1);
    EXPECT_EQ(o.MinSpeed, 10);
    EXPECT_EQ(o.MaxSpeed, 300);
    EXPECT_EQ(o.SummerStart, 6);
    EXPECT_EQ(o.SummerEnd, 8);
    EXPECT_DOUBLE_EQ(o.MaxTrackTimeStampDiff, 0);
    EXPECT_EQ(o.MaxDiffAngle, 180);
    EXPECT_EQ(o.MapHeight, 300);
    EXPECT_EQ(o.GroupsWidth, 233);
    EXPECT_TRUE(o.ShowGroups);
    EXPECT_TRUE(o.ShowGrid);
    EXPECT_FALSE(o.MainFormMaximized);
    EXPECT_EQ(o.MainFormWidth, 800);
    EXPECT_EQ(o.MainFormHeight, 600);
    EXPECT_EQ(o.MainFormLeft, 0);
    EXPECT_EQ(o.MainFormTop, 0);
    EXPECT_TRUE(o.FollowMode);
    EXPECT_FALSE(o.ShowArrowIndicators);
    EXPECT_EQ(o.ArrowIndicatorsLeft, 100);
    EXPECT_EQ(o.ArrowIndicatorsTop, 100);
    EXPECT_EQ(o.TrackListHeight, 192);
    EXPECT_TRUE(o.FirstRun);
    EXPECT_GE(o.WebServerPort, 1023);
    EXPECT_LE(o.WebServerPort, 65535);
    ASSERT_EQ(o.WebMapList.size(), 2);
    EXPECT_EQ(o.WebMapList[0], (TWebMapPath{"Карта Google", "google.html"}));
    EXPECT_EQ(o.WebMapList[1], (TWebMapPath{"Карта Яndex", "yandex.html"}));
    EXPECT_EQ(o.DefaultWebMap, -1);
    EXPECT_TRUE(o.WebMapSilent);
    EXPECT_EQ(o.DrainLitres, 20);
    EXPECT_EQ(o.DrainWindow, 10);
    EXPECT_EQ(o.DrainMedian, 5);
    EXPECT_EQ(o.DrainSoundFile, "");
    EXPECT_TRUE(o.DrainPlaySound);
}

TEST_F(OptionsFixture, PerUserFileMissingFallsBackToTheProgramsOwn) {
    folders.ProfileDir = folders.AppDir + "user/";
    folders.SettingsFileName = folders.ProfileDir + "zarnex-client.ini";
    QFile f(folders.AppDir + "zarnex-client.ini");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[AppServer]\r\nAppIP=global.example\r\n");
    f.close();
    TOptions o;
    options::LoadOptions(o, folders, dialogs);
    EXPECT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(o.AppServer, "global.example");
    // Saving always goes to the per-user file.
    QDir().mkpath(folders.ProfileDir);
    ASSERT_TRUE(options::SaveOptions(o, folders, dialogs));
    EXPECT_TRUE(QFileInfo::exists(folders.SettingsFileName));
}

TEST_F(OptionsFixture, KeysAreCaseInsensitiveAndOddValuesHandled) {
    writeSettings("[appserver]\r\nftppassive=0\r\nAppPort=abc\r\n"
                  "[Map]\r\nMapsCount=0\r\nDefaultMap=1\r\n"
                  "[WebServer]\r\nWebMapCount=0\r\n"
                  "[Filters]\r\nMaxTrackTimeStampDiff=30.12.1899 01:30:00\r\nMinSpeed=5\r\n"
                  "[drains]\r\ndrainlitres=35\r\nDrainWindow=0\r\nDrainMedian=x\r\n");
    TOptions o;
    EXPECT_TRUE(options::LoadOptions(o, folders, dialogs));
    EXPECT_TRUE(dialogs.messages().isEmpty());
    EXPECT_FALSE(o.FTPPAssive);
    EXPECT_EQ(o.AppPort, 7788); // not a number: the default
    EXPECT_TRUE(o.Maps.isEmpty());
    EXPECT_EQ(o.DefaultMap, 1);
    EXPECT_TRUE(o.WebMapList.isEmpty()); // 0 is an empty list, not the built-in one
    EXPECT_DOUBLE_EQ(o.MaxTrackTimeStampDiff, dt::encodeTime(1, 30, 0));
    EXPECT_EQ(o.MinSpeed, 5);
    // A drain rule out of its range, or no number, keeps the default.
    EXPECT_EQ(o.DrainLitres, 35);
    EXPECT_EQ(o.DrainWindow, 10);
    EXPECT_EQ(o.DrainMedian, 5);
}

TEST(OptionsTimeOfDay, AnyLocalesFormReadsBack) {
    struct {
        const char *text;
        int h, m, s;
    } cases[] = {{"30.12.1899 01:30:00", 1, 30, 0},  {"30 Dec 1899 01:30:00", 1, 30, 0},
                 {"12/30/99 1:30:05 PM", 13, 30, 5}, {"30.12.1899", 0, 0, 0},
                 {"30 Dec 1899", 0, 0, 0},           {"00:15:00", 0, 15, 0}};
    for (const auto &c : cases) {
        TFolders f;
        QTemporaryDir tmp;
        f.AppDir = tmp.path() + "/";
        f.SettingsFileName = f.AppDir + "s.ini";
        QFile file(f.SettingsFileName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[Filters]\r\nMaxTrackTimeStampDiff=") + c.text + "\r\n");
        file.close();
        TScriptedDialogs d;
        TOptions o;
        EXPECT_TRUE(options::LoadOptions(o, f, d)) << c.text;
        EXPECT_NEAR(o.MaxTrackTimeStampDiff, dt::encodeTime(c.h, c.m, c.s), 1e-9) << c.text;
    }
}

TEST_F(OptionsFixture, BadDateTimeKeepsItsDefaultAndTheRestIsRead) {
    writeSettings("[Filters]\r\nMaxTrackTimeStampDiff=yesterday\r\nMaxDiffAngle=90\r\n"
                  "[PrevState]\r\nFirstRun=0\r\n");
    TOptions o;
    EXPECT_FALSE(options::LoadOptions(o, folders, dialogs));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_TRUE(dialogs.messages()[0].startsWith(
        "Во время загрузки настроек программы произошла ошибка: \r\n"));
    EXPECT_DOUBLE_EQ(o.MaxTrackTimeStampDiff, 0);
    EXPECT_EQ(o.MaxDiffAngle, 90);
    EXPECT_FALSE(o.FirstRun);
}

TEST_F(OptionsFixture, WebPortAbsentIsDrawnAgainAtEveryLoad) {
    writeSettings("[WebServer]\r\nMapIndex=0\r\n");
    QSet<int> ports;
    for (int i = 0; i < 8; ++i) {
        TOptions o;
        options::LoadOptions(o, folders, dialogs);
        ports.insert(o.WebServerPort);
        EXPECT_GE(o.WebServerPort, 1023);
        EXPECT_LE(o.WebServerPort, 65535);
    }
    EXPECT_GT(ports.size(), 1);
    TOptions o;
    options::LoadOptions(o, folders, dialogs);
    ASSERT_TRUE(options::SaveOptions(o, folders, dialogs));
    TOptions again;
    options::LoadOptions(again, folders, dialogs);
    EXPECT_EQ(again.WebServerPort, o.WebServerPort);
}

TEST_F(OptionsFixture, MapPathsRelativeInsideTheProgramFolderAndDuplicatesDropped) {
    TOptions o = options::Defaults(folders);
    const QString inside = folders.AppDir + "map/area.map";
    const QString insideOtherCase = folders.AppDir + "MAP/Area.MAP";
    const QString above = QFileInfo(tmp.path()).absolutePath() + "/elsewhere/far.map";
    o.Maps = {inside, above, insideOtherCase, "/opt/maps/x.map"};
    ASSERT_TRUE(options::SaveOptions(o, folders, dialogs));
    EXPECT_EQ(o.Maps.size(), 3);

    TIniFile ini(folders.SettingsFileName);
    ini.load();
    EXPECT_EQ(ini.readInteger("Map", "MapsCount", -1), 3);
    EXPECT_EQ(ini.readString("Map", "Map0", ""), "map/area.map");
    EXPECT_EQ(ini.readString("Map", "Map1", ""), above);
    EXPECT_EQ(ini.readString("Map", "Map2", ""), "/opt/maps/x.map");

    TOptions back;
    options::LoadOptions(back, folders, dialogs);
    EXPECT_EQ(back.Maps, (QStringList{inside, above, "/opt/maps/x.map"}));
    // A stored Windows-style relative name is read with "/".
    EXPECT_EQ(options::MapPathFromFile("map\\a.map", folders.AppDir), folders.AppDir + "map/a.map");
}

TEST_F(OptionsFixture, SaveWritesTheTableOrderAndRoundTrips) {
    TOptions o = options::Defaults(folders);
    o.AppServer = "srv.local";
    o.AppPass = "pa'ss";
    o.DBPath = "/data/Ъ.fdb";
    o.MaxTrackTimeStampDiff = dt::encodeTime(0, 15, 0);
    o.WebMapList = {{"Моя", "my.html"}};
    o.DefaultWebMap = 0;
    o.MapHeight = 1; // not written
    o.FirstRun = false;
    o.DrainLitres = 40;
    o.DrainWindow = 7;
    o.DrainMedian = 3;
    o.DrainSoundFile = "/snd/слив.wav";
    o.DrainPlaySound = false;
    ASSERT_TRUE(options::SaveOptions(o, folders, dialogs));

    QByteArray raw = readSettings();
    EXPECT_FALSE(raw.contains("MapHeight"));
    EXPECT_TRUE(raw.contains("\r\n"));
    EXPECT_FALSE(raw.replace("\r\n", "").contains('\n'));
    EXPECT_TRUE(readSettings().contains(cp1251::encode("/data/Ъ.fdb"))); // Windows-1251 text
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(folders.SettingsFileName).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // it holds passwords

    TIniFile ini(folders.SettingsFileName);
    ini.load();
    EXPECT_EQ(ini.sections(),
              (QStringList{"DataBase", "AppServer", "TimeOut", "Auto", "DataServer", "ProxyServer",
                           "Map", "Filters", "Sizes", "PrevState", "WebServer", "Drains"}));
    EXPECT_EQ(ini.keys("Drains"),
              (QStringList{"DrainLitres", "DrainWindow", "DrainMedian", "SoundFile", "Play"}));
    EXPECT_EQ(ini.keys("AppServer"), (QStringList{"AppIP", "AppPort", "AppLogin", "AppPass",
                                                  "FTPPort", "FTPIP", "FTPPAssive"}));
    EXPECT_EQ(ini.keys("Auto"), (QStringList{"AutoConnect", "AutoConnectDelay", "GroupsWidth",
                                             "ShowGroups", "ShowGrid"}));
    EXPECT_EQ(ini.keys("Sizes"),
              (QStringList{"MainFormMaximized", "MainFormWidth", "MainFormHeight", "MainFormLeft",
                           "MainFormTop", "ArrowIndicatorsLeft", "ArrowIndicatorsTop",
                           "TrackListHeight"}));
    EXPECT_EQ(ini.keys("PrevState"), (QStringList{"FollowMode", "ShowIndicators", "FirstRun"}));
    EXPECT_EQ(ini.keys("WebServer"), (QStringList{"WebPort", "WebMapCount", "MapName0", "MapPath0",
                                                  "MapIndex", "WebMapSilent"}));
    EXPECT_EQ(ini.keys("Map"),
              (QStringList{"DefaultMap", "MarkerColor", "TrackColor", "LostTrackColor",
                           "ActiveMarkerColor", "ArchiveMarkerColor", "ShowPointerToNotVisObj",
                           "AutomaticMapChange", "SelectBestMap", "MapsCount", "UseGoogleMap"}));

    TOptions back;
    ASSERT_TRUE(options::LoadOptions(back, folders, dialogs));
    EXPECT_EQ(back.AppServer, "srv.local");
    EXPECT_EQ(back.AppPass, "pa'ss");
    EXPECT_EQ(back.DBPath, "/data/Ъ.fdb");
    EXPECT_DOUBLE_EQ(back.MaxTrackTimeStampDiff, dt::encodeTime(0, 15, 0));
    EXPECT_EQ(back.WebMapList, o.WebMapList);
    EXPECT_EQ(back.DefaultWebMap, 0);
    EXPECT_EQ(back.MapHeight, 300);
    EXPECT_EQ(back.WebServerPort, o.WebServerPort);
    EXPECT_FALSE(back.FirstRun);
    EXPECT_EQ(back.DrainLitres, 40);
    EXPECT_EQ(back.DrainWindow, 7);
    EXPECT_EQ(back.DrainMedian, 3);
    EXPECT_EQ(back.DrainSoundFile, "/snd/слив.wav");
    EXPECT_FALSE(back.DrainPlaySound);
}

TEST_F(OptionsFixture, ForeignKeysSurviveAndAFailedSaveKeepsTheOldFile) {
    writeSettings("[Extra]\r\nKeep=me\r\n[AppServer]\r\nFTPPassive=0\r\n");
    TOptions o;
    options::LoadOptions(o, folders, dialogs);
    ASSERT_TRUE(options::SaveOptions(o, folders, dialogs));
    TIniFile ini(folders.SettingsFileName);
    ini.load();
    EXPECT_EQ(ini.readString("extra", "keep", ""), "me");
    // The key keeps the spelling it had in the file.
    EXPECT_EQ(ini.keys("AppServer").filter("FTPPas", Qt::CaseInsensitive).size(), 1);

    // A folder that does not exist cannot take the file: the error is reported, not thrown.
    folders.SettingsFileName = folders.AppDir + "missing/zarnex-client.ini";
    EXPECT_FALSE(options::SaveOptions(o, folders, dialogs));
    EXPECT_TRUE(dialogs.messages().last().startsWith(
        "Во время сохранения настроек программы произошла ошибка: \r\n"));
}

// A damaged list count reads only the entries the file holds, at once, and says so in the
// operations log; saving over such a file costs nothing either, and drops the stale entries.
TEST_F(OptionsFixture, HugeListCountsReadOnlyTheEntriesPresent) {
    auto opLog = std::make_shared<TOperationsLog>(tmp.filePath("log.txt"));
    InstallOperationsLog(opLog);
    writeSettings(cp1251::encode("[Map]\r\nMapsCount=999999991\r\nMap0=a.map\r\nMap2=/m/c.map\r\n"
                                 "Map1000000000=/m/beyond.map\r\nMapIndexOf=x\r\n"
                                 "[WebServer]\r\nWebMapCount=2147483647\r\nMapName0=Карта\r\n"
                                 "MapPath0=m.html\r\nMapName7=Другая\r\n"));
    QElapsedTimer t;
    t.start();
    TOptions o;
    EXPECT_TRUE(options::LoadOptions(o, folders, dialogs));
    EXPECT_EQ(o.Maps, (QStringList{folders.AppDir + "a.map", "/m/c.map"}));
    ASSERT_EQ(o.WebMapList.size(), 2);
    EXPECT_EQ(o.WebMapList[0], (TWebMapPath{"Карта", "m.html"}));
    EXPECT_EQ(o.WebMapList[1], (TWebMapPath{"Другая", ""}));
    const QStringList logged = opLog->takeQueued();
    EXPECT_EQ(logged.filter("MapsCount=999999991").size(), 1) << logged.join('\n').toStdString();
    EXPECT_EQ(logged.filter("WebMapCount=2147483647").size(), 1);

    o.Maps = {"/m/only.map"};
    o.WebMapList = {{"Одна", "one.html"}};
    ASSERT_TRUE(options::SaveOptions(o, folders, dialogs));
    EXPECT_LT(t.elapsed(), 2000);
    TIniFile ini(folders.SettingsFileName);
    ini.load();
    EXPECT_EQ(ini.readInteger("Map", "MapsCount", -1), 1);
    EXPECT_FALSE(ini.valueExists("Map", "Map2"));
    // Beyond the old count: not an entry of the list, kept like any foreign key.
    EXPECT_TRUE(ini.valueExists("Map", "Map1000000000"));
    EXPECT_FALSE(ini.valueExists("WebServer", "MapName7"));
    EXPECT_EQ(ini.readString("WebServer", "MapName0", ""), "Одна");
    EXPECT_TRUE(dialogs.messages().isEmpty());
    InstallOperationsLog(nullptr);
}
