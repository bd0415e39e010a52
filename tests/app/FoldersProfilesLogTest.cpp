#include "app/Cp1251.h"
#include "app/Folders.h"
#include "app/IniFile.h"
#include "app/Logging.h"
#include "app/Profiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace {
void writeFile(const QString &name, const QByteArray &bytes) {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
QByteArray readFile(const QString &name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
} // namespace

TEST(Folders, UserPathChoosesProgramOrPerUserFolder) {
    QTemporaryDir tmp;
    const QString prog = tmp.path() + "/bin/zarnex-client";
    QDir().mkpath(tmp.path() + "/bin");
    qputenv("XDG_CONFIG_HOME", (tmp.path() + "/cfg").toUtf8());

    for (const QByteArray ini :
         {QByteArray(), QByteArray("[SettingsLocation]\r\nUserPath=0\r\n")}) {
        if (!ini.isEmpty())
            writeFile(tmp.path() + "/bin/zarnex-client.ini", ini);
        const TFolders f = ComputeFolders(prog);
        EXPECT_EQ(f.AppDir, tmp.path() + "/bin/");
        EXPECT_EQ(f.ProfileDir, f.AppDir);
        EXPECT_EQ(f.SettingsFileName, f.AppDir + "zarnex-client.ini");
        EXPECT_EQ(f.DataDir, f.AppDir + "data/");
        EXPECT_EQ(f.CoordCacheDir, f.AppDir + "coord/");
        EXPECT_EQ(f.WebServerDir, f.AppDir + "webmap/");
    }

    writeFile(tmp.path() + "/bin/zarnex-client.ini", "[settingslocation]\r\nuserpath=1\r\n");
    SetupFolders(prog);
    const TFolders f = Folders();
    EXPECT_EQ(f.ProfileDir, tmp.path() + "/cfg/ZarnexClientAuto/");
    EXPECT_TRUE(QFileInfo(f.ProfileDir).isDir());
    EXPECT_EQ(f.SettingsFileName, f.ProfileDir + "zarnex-client.ini");
    EXPECT_EQ(f.DataDir, f.ProfileDir + "data/");
    EXPECT_EQ(f.CoordCacheDir, f.ProfileDir + "coord/");
    EXPECT_EQ(f.WebServerDir, tmp.path() + "/bin/webmap/");
    EXPECT_FALSE(QFileInfo::exists(f.DataDir)); // made by whoever writes there
    qunsetenv("XDG_CONFIG_HOME");
}

TEST(Folders, VersionTextAndCompatibility) {
    const QString v = GetFileVersionText();
    EXPECT_EQ(v.split('.').size(), 4);
    EXPECT_NE(v, "?.?.?.?");
    struct {
        const char *text;
        bool ok;
    } cases[] = {{"3", true},   {"17", true}, {"2", false},  {"1", false},  {"0", false},
                 {"-5", false}, {"", false},  {"3a", false}, {"3.0", false}};
    for (const auto &c : cases)
        EXPECT_EQ(IsCompatibleVersion(c.text), c.ok) << c.text;
}

TEST(IniFile, KeepsOrderCaseAndForeignLines) {
    TIniFile ini;
    ini.fromBytes("; comment\r\n[One]\r\nB=2\r\nA=1\r\n[Two]\nx=\xC0\xC1\n");
    EXPECT_EQ(ini.readString("one", "a", "?"), "1");
    EXPECT_EQ(ini.readString("TWO", "X", "?"), "АБ");
    ini.writeString("ONE", "b", "3");
    ini.writeString("Three", "C", "Ж");
    const QByteArray out = ini.toBytes();
    EXPECT_EQ(out, QByteArray("; comment\r\n\r\n[One]\r\nB=3\r\nA=1\r\n\r\n[Two]\r\nx=\xC0\xC1\r\n"
                              "\r\n[Three]\r\nC=\xC6\r\n"));
}

TEST(Profiles, FirstStartBuildsTheDefaultTreeAndFoldersLoad) {
    QTemporaryDir tmp;
    const QString root = tmp.path() + "/profiles/";
    {
        TLogging log(tmp.path() + "/p.log");
        TProfileList list(tmp.path(), &log);
        const QString def = root + "Профиль по умолчанию/";
        for (const char *entry :
             {"profile.ini", "data", "objects", "objects/description.csv", "zones",
              "zones/ownership", "zones/ownership/zoneownership.csv", "groups.txt"})
            EXPECT_TRUE(QFileInfo::exists(def + entry)) << entry;

        // A plain file is ignored; a folder without profile.ini is a profile with empty fields.
        writeFile(root + "stray.txt", "x");
        QDir().mkpath(root + "Бригада 2");
        QDir().mkpath(root + "Depot");
        writeFile(root + "Depot/profile.ini",
                  cp1251::encode("[Profile]\r\nName=Depot\r\nAltName=Депо\r\n[Server]\r\n"
                                 "Name=10.0.0.1\r\nPort=7788\r\n[Authorization]\r\nLogin=op\r\n"
                                 "Password=pw\r\n"));
        list.Load();
        ASSERT_EQ(list.profiles().size(), 2u);
        const TProfile *depot = nullptr, *brigade = nullptr;
        for (const auto &p : list.profiles())
            (p->FName == "Depot" ? depot : brigade) = p.get();
        ASSERT_TRUE(depot && brigade);
        EXPECT_EQ(depot->FAltName, "Депо");
        EXPECT_EQ(depot->FServer, "10.0.0.1");
        EXPECT_EQ(depot->FPort, 7788);
        EXPECT_EQ(depot->FPassword, "pw");
        EXPECT_EQ(brigade->FName, "Бригада 2");
        EXPECT_EQ(brigade->FServer, "");
        EXPECT_EQ(brigade->FPort, 0);
        EXPECT_FALSE(QFileInfo::exists(root + "Бригада 2/profile.ini"));
        list.Save();
        EXPECT_TRUE(log.MessageList().empty());
    }
    TIniFile ini(root + "Бригада 2/profile.ini");
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.readString("Profile", "Name", "?"), "Бригада 2");
    EXPECT_EQ(ini.readInteger("Server", "Port", -1), 0);
}

TEST(Profiles, RenameMovesTheFolder) {
    QTemporaryDir tmp;
    TProfile p(tmp.path(), "Old", "srv", 1, "l", "p");
    p.Save();
    p.SetName("New");
    EXPECT_EQ(p.FName, "New");
    EXPECT_TRUE(QFileInfo(tmp.path() + "/profiles/New/profile.ini").exists());
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/profiles/Old"));
}

TEST(Logging, ProgramLogLinesAndASecondInstanceKeptOut) {
    QTemporaryDir tmp;
    const QString name = tmp.path() + "/zarnex-client.log";
    TLogging first(name);
    ASSERT_TRUE(first.isFileOpen());
    first.WriteMessage(LM_WARNING, "склад закрыт");
    first.WriteMessage(LM_ERROR, "сбой");
    first.WriteMessage(LM_INFO, "ок");
    const QStringList lines = QString::fromUtf8(readFile(name)).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(" Внимание! склад закрыт"));
    EXPECT_TRUE(lines[1].endsWith(" Ошибка! сбой"));
    EXPECT_TRUE(
        QRegularExpression(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d ок$)").match(lines[2]).hasMatch())
        << lines[2].toStdString();

    TLogging second(name);
    EXPECT_FALSE(second.isFileOpen());
    ASSERT_EQ(second.MessageList().size(), 1u);
    EXPECT_EQ(second.MessageList()[0].FMsgType, LM_ERROR);
    EXPECT_TRUE(second.MessageList()[0].FMessage.startsWith("Невозможно открыть файл лога: "));
    second.WriteMessage(LM_INFO, "только в памяти");
    EXPECT_EQ(second.MessageList().size(), 2u);
    EXPECT_EQ(QString::fromUtf8(readFile(name)).split("\r\n", Qt::SkipEmptyParts).size(), 3);
}

TEST(Logging, OperationsLogWindows1251FileAndCappedView) {
    QTemporaryDir tmp;
    const QString name = tmp.path() + "/log.txt";
    TOperationsLog log(name);
    log.LogOperations("Объект № 5 отключён", "General", 20);
    const QByteArray raw = readFile(name);
    EXPECT_TRUE(raw.endsWith(cp1251::encode(" (20) General:: Объект № 5 отключён\r\n")));
    EXPECT_EQ(QRegularExpression(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d \(20\))")
                  .match(cp1251::decode(raw))
                  .hasMatch(),
              true);

    // Many threads at once: every line arrives whole.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&log, t] {
            for (int i = 0; i < 300; ++i)
                log.LogOperations(QString("t%1 line %2").arg(t).arg(i), "TCPin", 10);
        });
    for (auto &th : threads)
        th.join();
    const QStringList fileLines = cp1251::decode(readFile(name)).split("\r\n", Qt::SkipEmptyParts);
    EXPECT_EQ(fileLines.size(), 1201);
    for (const QString &l : fileLines)
        EXPECT_TRUE(l.contains(":: ")) << l.toStdString();

    log.flushToView(); // 1201 queued lines go in at the top
    EXPECT_EQ(log.view().size(), 1201u);
    log.LogOperations("newest", "X", 0);
    log.flushToView(); // trimmed below 1000 first, then the new line on top
    EXPECT_EQ(log.view().size(), 1000u);
    EXPECT_TRUE(log.view().front().endsWith("X:: newest"));
}

// With nobody emptying the queue (the view is not open), it keeps only the newest lines; the
// file keeps every one.
TEST(Logging, OperationsQueueIsBounded) {
    QTemporaryDir dir;
    const QString name = dir.filePath("log.txt");
    TOperationsLog log(name);
    const int n = TOperationsLog::QueueCapacity + 500;
    for (int i = 0; i < n; ++i)
        log.LogOperations(QString("line %1").arg(i), "X", 0);
    const QStringList q = log.takeQueued();
    ASSERT_EQ(q.size(), TOperationsLog::QueueCapacity);
    EXPECT_TRUE(q.front().endsWith("X:: line 500"));
    EXPECT_TRUE(q.back().endsWith(QString("X:: line %1").arg(n - 1)));
    EXPECT_EQ(cp1251::decode(readFile(name)).count("\r\n"), n);
}

TEST(Logging, UnopenableOperationsLogQueuesTheReason) {
    TOperationsLog log("/nonexistent-folder/log.txt");
    const QStringList q = log.takeQueued();
    ASSERT_EQ(q.size(), 1);
    EXPECT_TRUE(q[0].startsWith("Cannot open log file \"/nonexistent-folder/log.txt\": "));
    log.LogOperations("still queued", "General", 20);
    EXPECT_EQ(log.takeQueued().size(), 1);
}

TEST(Logging, ArrayToString) {
    EXPECT_EQ(TOperationsLog::ArrayToString(QByteArray("\x08\x41\x42", 3)), "[3] 08 41 42");
    EXPECT_EQ(TOperationsLog::ArrayToString(QByteArray()), "[0]");
    EXPECT_EQ(TOperationsLog::ArrayToString(QByteArray("\xff\x00", 2)), "[2] FF 00");
}
