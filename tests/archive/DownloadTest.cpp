// The archive download against real servers on loopback: the archive FTP service (pyftpdlib),
// an HTTP data server and an HTTP proxy that wants basic authorisation; what was fetched is
// checked in the data folder, the track files and the database on the local Firebird server.

#include "archive/DownloadObjectData.h"
#include "archive/DownloadProgress.h"
#include "archive/Transfers.h"

#include "archive/ArchiveServers.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "db/TrackImport.h"
#include "tracks/DeviceData.h"
#include "tracks/FileManager.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gmock/gmock.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// ---- without servers

TEST(ArchiveNames, ListEntriesOnlyNameAFileInTheObjectsFolder) {
    struct Case {
        const char *line;
        bool accepted;
        int number = 0;
        const char *local = "";
        qint64 size = 0;
    };
    const Case cases[] = {
        {"5\\20240101.dat=1234", true, 5, "5/20240101.dat", 1234},
        {"5/20240101.dat=0", true, 5, "5/20240101.dat", 0},
        {"0005\\x.dat=7", true, 5, "5/x.dat", 7},
        {"12\\20240101.dat= 99", true, 12, "12/20240101.dat", 99},
        {"..\\..\\evil.dat=5", false},
        {"5\\..\\..\\evil.dat=5", false},
        {"5/../evil.dat=5", false},
        {"5\\..=5", false},
        {"5\\.=5", false},
        {"/etc/evil.dat=5", false},
        {"\\evil.dat=5", false},
        {"C:\\evil.dat=5", false},
        {"5\\sub\\evil.dat=5", false},
        {"5\\=5", false},
        {"5\\x.dat", false},
        {"5\\x.dat=", false},
        {"5\\x.dat=-1", false},
        {"5\\x.dat=12abc", false},
        {"0\\x.dat=5", false},
        {"99999999999\\x.dat=5", false},
        {"5\\a\tb.dat=5", false},
    };
    for (const Case &c : cases) {
        const auto e = ParseListEntry(QString::fromLatin1(c.line));
        ASSERT_EQ(e.has_value(), c.accepted) << c.line;
        if (!e)
            continue;
        EXPECT_EQ(e->name, QString::fromLatin1(c.line).section('=', 0, 0));
        EXPECT_EQ(e->number, c.number) << c.line;
        EXPECT_EQ(e->local, QString::fromLatin1(c.local)) << c.line;
        EXPECT_EQ(e->size, c.size) << c.line;
    }
}

TEST(ArchiveNames, TheChosenDaysWidenToTheUtcDaysTheyOverlap) {
    const QDate day(2024, 1, 2);
    // Moscow (UTC = local - 3 h): the evening before belongs to the same local day.
    TDownloadRange r = WidenedRange(day, day, -180);
    EXPECT_EQ(dt::formatDateTime("dd.mm.yyyy hh:nn", r.start), "01.01.2024 21:00");
    EXPECT_EQ(dt::formatDateTime("dd.mm.yyyy hh:nn", r.end), "02.01.2024 00:00");
    EXPECT_EQ(ArchiveListName(5, r.start, r.end), "_5_01.01.2024_02.01.2024");
    EXPECT_EQ(DayFileNames(r.start, r.end), QStringList({"20240101.dat", "20240102.dat"}));
    // West of Greenwich the end reaches into the same UTC day: one name.
    r = WidenedRange(day, day, 300);
    EXPECT_EQ(dt::formatDateTime("dd.mm.yyyy hh:nn", r.end), "02.01.2024 05:00");
    EXPECT_EQ(DayFileNames(r.start, r.end), QStringList({"20240102.dat"}));
    // Across a month's end, both days included; the list name never follows the locale.
    r = WidenedRange(QDate(2024, 1, 30), QDate(2024, 2, 1), 0);
    EXPECT_EQ(DayFileNames(r.start, r.end),
              QStringList({"20240130.dat", "20240131.dat", "20240201.dat"}));
    EXPECT_EQ(ArchiveListName(1000, r.start, r.end), "_1000_30.01.2024_01.02.2024");
    EXPECT_TRUE(DayFileNames(r.end, r.start).isEmpty());
}

TEST(ArchiveNames, TheDialogRefusesABackwardRangeAndAnUnknownNumber) {
    const std::vector<int> numbers{5, 7};
    const QDate a(2024, 1, 1), b(2024, 1, 2);
    struct Case {
        QDate from, to;
        bool one;
        const char *text;
        TDownloadChoice result;
        int number;
    };
    const Case cases[] = {
        {b, a, false, "", TDownloadChoice::BadInterval, 0},
        {b, a, true, "x", TDownloadChoice::BadInterval, 0},
        {a, a, false, "x", TDownloadChoice::Ok, 0},
        {a, b, true, "7", TDownloadChoice::Ok, 7},
        {a, b, true, " 5 ", TDownloadChoice::Ok, 5},
        {a, b, true, "9", TDownloadChoice::BadObject, 0},
        {a, b, true, "7x", TDownloadChoice::BadObject, 0},
        {a, b, true, "", TDownloadChoice::BadObject, 0},
    };
    for (const Case &c : cases) {
        int number = -1;
        EXPECT_EQ(
            CheckDownloadChoice(c.from, c.to, c.one, QString::fromLatin1(c.text), numbers, number),
            c.result)
            << c.text;
        EXPECT_EQ(number, c.number) << c.text;
    }
}

TEST(ArchiveNames, InflateNeedsTheWholeStream) {
    QByteArray plain;
    for (int i = 0; i < 30000; ++i)
        plain += char('a' + i % 23);
    const QByteArray z = qCompress(plain).mid(4); // without Qt's length prefix: a zlib stream
    QByteArray out;
    QString error;
    ASSERT_TRUE(InflateArchive(z, out, error)) << error.toStdString();
    EXPECT_EQ(out, plain);
    out.clear();
    EXPECT_FALSE(InflateArchive(z.left(z.size() / 2), out, error));
    EXPECT_EQ(error, "Архив получен не полностью");
    out.clear();
    EXPECT_FALSE(InflateArchive(plain, out, error));
    EXPECT_THAT(error.toStdString(), StartsWith("Повреждённый архив"));
    // A stream that unpacks beyond the limit stops there (a 1 MiB bomb of zeros, 2 MiB allowed
    // and then 512 KiB allowed).
    const QByteArray bomb = qCompress(QByteArray(1 << 20, '\0'), 9).mid(4);
    out.clear();
    EXPECT_TRUE(InflateArchive(bomb, out, error, 2 << 20));
    out.clear();
    EXPECT_FALSE(InflateArchive(bomb, out, error, 512 << 10));
    EXPECT_THAT(error.toStdString(), StartsWith("Архив больше"));
    EXPECT_LE(out.size(), 512 << 10);
}

struct TCountingConnection : TArchiveConnection {
    int disconnects = 0;
    void Disconnect() override { ++disconnects; }
};

TEST(DownloadProgress, LogCancelAndTheAutoCloseCountdown) {
    TDownloadProgress p;
    QSignalSpy closed(&p, &TDownloadProgress::closed);
    p.show();
    EXPECT_EQ(p.cancelCaption(), "Отмена");
    EXPECT_EQ(p.advancedCaption(), "Подробно >>");
    EXPECT_FALSE(p.expanded() || p.errorsMarkShown() || p.completed());
    p.AppendLogMessage("к ", 1, 0); // on an empty log it starts the first line
    p.AppendLogMessage("Получение списка файлов (объект 5): ", 0, dt::encode(2024, 1, 2, 9, 5, 7));
    p.AppendLogMessage("OK", 1, 0);
    EXPECT_EQ(p.lines(), QStringList({"к ", "02.01.2024 09:05:07: Получение списка файлов "
                                            "(объект 5): OK"}));

    // Cancel while running: marked, logged, the connection cut; the window stays.
    TCountingConnection connection;
    p.FtpConnectrion = &connection;
    p.btnCancelClick();
    EXPECT_TRUE(p.Cancelled);
    EXPECT_EQ(connection.disconnects, 1);
    EXPECT_THAT(p.lines().last().toStdString(), testing::EndsWith(": Отмена загрузки данных "));
    EXPECT_TRUE(p.isShown());

    // Finished: the countdown reads 5 once, then 4, 3, 2 and 1 four ticks each, then closes.
    p.SwitchToDownloadCompleted();
    EXPECT_TRUE(p.tmrAutoClose.isActive());
    EXPECT_EQ(p.cancelTag(), 1);
    QStringList captions;
    for (int tick = 0; tick < 17; ++tick) {
        p.tmrAutoCloseTimer();
        captions << p.cancelCaption();
    }
    EXPECT_EQ(captions.count("Закрыть (5)"), 1);
    for (const char *c : {"Закрыть (4)", "Закрыть (3)", "Закрыть (2)", "Закрыть (1)"})
        EXPECT_EQ(captions.count(c), 4) << c;
    EXPECT_EQ(closed.count(), 0);
    p.tmrAutoCloseTimer();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(p.isShown() || p.tmrAutoClose.isActive());

    // "Подробно >>" stops the countdown and leaves the window to the user.
    p.show();
    p.SwitchToDownloadCompleted();
    p.tmrAutoCloseTimer();
    p.btnAdvancedClick();
    EXPECT_TRUE(p.expanded());
    EXPECT_EQ(p.advancedCaption(), "Скрыть <<");
    EXPECT_EQ(p.cancelCaption(), "Закрыть");
    EXPECT_FALSE(p.tmrAutoClose.isActive());
    p.btnAdvancedClick();
    EXPECT_EQ(p.advancedCaption(), "Подробно >>");
    p.btnCancelClick();
    EXPECT_EQ(closed.count(), 2);
}

// ---- with servers and the database

const TDateTime Jan1 = dt::encode(2024, 1, 1), Jan2 = dt::encode(2024, 1, 2);

// A device data file of `records` ten-minute records from 01:00 UTC of the day, each with
// another supply voltage, so that each is one state row.
QByteArray dayFile(const QDate &day, int records, int seed = 0) {
    QByteArray bytes;
    for (int i = 0; i < records; ++i) {
        QByteArray state("\x00\x08\x00\x00\x08\x01\x00\x01\x00", 9);
        state[8] = char(10 + i + seed);
        const TDeviceRecord r{dt::encodeDate(day) + (1 + i / 6.0) / 24,
                              TGeoCoords{3345.0L + i * 0.1L, 2256.0L + seed}, state};
        bytes += r.toBytes();
    }
    return bytes;
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The log's texts without the date-and-time prefix.
QStringList texts(const TDownloadProgress &p) {
    QStringList out;
    for (const QString &l : p.lines())
        out << l.section(QStringLiteral(": "), 1);
    return out;
}

class ArchiveDownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { database = onlinetest::makeDatabase(); }
    static void TearDownTestSuite() { database.reset(); }

    void SetUp() override {
        ASSERT_TRUE(database);
        database->exec("DELETE FROM OBJECTS");
        database->exec("DELETE FROM INPUTSIGNALS");
        for (const auto &[n, zone] : {std::pair{5, 0}, std::pair{7, 3}})
            database->exec(QString("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TIMEZONE) "
                                   "VALUES (%1, 'Объект %1', %2)")
                               .arg(n)
                               .arg(zone));
        dataDir = tmp.path() + "/data/";
        cacheDir = tmp.path() + "/coord/";
        serverRoot = tmp.path() + "/server";
        QDir().mkpath(serverRoot);
        registry = std::make_unique<TManager>(database->settings, dialogs, cacheDir);
        ASSERT_EQ(registry->ObjectsCount(), 2);
        import = std::make_unique<TTrackImport>(*registry, fmngr, database->settings, cacheDir,
                                                importProgress);
    }

    // The day file of an object on the server, as it keeps them.
    QByteArray serve(int number, const QDate &day, int records, int seed = 0) {
        const QByteArray bytes = dayFile(day, records, seed);
        writeFile(QString("%1/%2/%3.dat").arg(serverRoot).arg(number).arg(day.toString("yyyyMMdd")),
                  bytes);
        return bytes;
    }
    // A hand-made file list at the server, compressed and served under its remote name.
    void serveList(const QString &name, const QStringList &entries) {
        writeFile(serverRoot + "/" + name, (entries.join("\r\n") + "\r\n").toLatin1());
    }

    TDownloadSettings ftp(int port) const {
        TDownloadSettings s;
        s.ftp.host = "127.0.0.1";
        s.ftp.port = port;
        s.ftp.user = "arch";
        s.ftp.password = "pw";
        return s;
    }
    TDownloadSettings http(int port) const {
        TDownloadSettings s;
        s.useDServer = true;
        s.http.server = "127.0.0.1";
        s.http.port = port;
        return s;
    }
    // One run; the run object is kept for its figures.
    TDownloadObjectData &download(const TDownloadSettings &s, int object, TDateTime start,
                                  TDateTime end) {
        run = std::make_unique<TDownloadObjectData>(*registry, *import, progress, dialogs, s,
                                                    dataDir);
        // The run pauses while it waits for a transfer; a window would serve its events then.
        TRunTask task = run->DownloadObjectData(object, start, end);
        while (task.resume()) {
            if (onPause)
                onPause();
            if (task.pause() == TRunPause::Wait)
                QThread::msleep(2);
        }
        return *run;
    }

    QString rows(int number) const {
        return database->scalar(
            QString("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = %1").arg(number));
    }
    int trackPoints(int number, const QString &name) const {
        TTrackFile f;
        f.fname = cacheDir + QString::number(number) + "/" + name;
        f.load();
        return int(f.coords.size());
    }
    QStringList storedFiles() const {
        QStringList out;
        QDirIterator it(dataDir, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            out << it.next().mid(dataDir.size());
        out.sort();
        return out;
    }

    QTemporaryDir tmp;
    QString dataDir, cacheDir, serverRoot;
    TScriptedDialogs dialogs;
    TFManager fmngr;
    TImportProgress importProgress;
    TDownloadProgress progress;
    std::unique_ptr<TManager> registry;
    std::unique_ptr<TTrackImport> import;
    std::unique_ptr<TDownloadObjectData> run;
    std::function<void()> onPause;
    static inline std::unique_ptr<onlinetest::TScriptDatabase> database;
};

TEST_F(ArchiveDownloadTest, FtpFetchesStoresAndImportsTheListedFilesOfEveryObject) {
    const QByteArray a = serve(5, {2024, 1, 1}, 3), b = serve(5, {2024, 1, 2}, 4);
    serve(5, {2024, 1, 3}, 5); // outside the range: not listed
    const QByteArray c = serve(7, {2024, 1, 2}, 2, 40);
    // Object 7's list also names an object the registry does not hold, and a file of size 0
    // that is not stored.
    serveList("_7_01.01.2024_02.01.2024", {QString("7\\20240102.dat=%1").arg(c.size()),
                                           "9\\20240102.dat=100", "7\\20240101.dat=0"});
    const auto server = startFtp(serverRoot);

    TDownloadObjectData &r = download(ftp(server->port()), 0, Jan1, Jan2);
    EXPECT_THAT(texts(progress),
                ElementsAre("Загрузка архива: все объекты 0",
                            "Получение списка файлов (объект 5): OK",
                            "Получение списка файлов (объект 7): OK", "Файлов на сервере: 5",
                            "Загрузка файла 5\\20240101.dat: обработка... ОК",
                            "Загрузка файла 5\\20240102.dat: обработка... ОК",
                            "Загрузка файла 7\\20240102.dat: обработка... ОК",
                            "Файл 7\\20240101.dat: уже загружен", "Докачка данных завершена"));
    EXPECT_FALSE(progress.errorsMarkShown() || r.failed());
    EXPECT_TRUE(progress.completed());
    EXPECT_EQ(progress.cancelCaption(), "Закрыть");
    EXPECT_EQ(progress.position(), 5);
    EXPECT_EQ(progress.maximum(), 5);
    EXPECT_EQ(storedFiles(), QStringList({"5/20240101.dat", "5/20240102.dat", "7/20240102.dat"}));
    EXPECT_EQ(readFile(dataDir + "5/20240101.dat"), a);
    EXPECT_EQ(readFile(dataDir + "5/20240102.dat"), b);
    EXPECT_EQ(readFile(dataDir + "7/20240102.dat"), c);
    EXPECT_EQ(rows(5), "7");
    EXPECT_EQ(rows(7), "2");
    EXPECT_EQ(rows(9), "0");
    EXPECT_EQ(trackPoints(5, "20240102.dat"), 4);
    EXPECT_EQ(trackPoints(7, "20240102.dat"), 2);
    EXPECT_EQ(r.importedFiles(), 3);

    // Again: every file has its listed size, nothing is fetched or imported.
    download(ftp(server->port()), 0, Jan1, Jan2);
    EXPECT_EQ(
        texts(progress).mid(4, 4),
        QStringList({"Файл 5\\20240101.dat: уже загружен", "Файл 5\\20240102.dat: уже загружен",
                     "Файл 7\\20240102.dat: уже загружен", "Файл 7\\20240101.dat: уже загружен"}));
    EXPECT_EQ(run->importedFiles(), 0);

    // A day the server has more of now is fetched again, alone, for one object.
    const QByteArray longer = serve(5, {2024, 1, 2}, 6);
    download(ftp(server->port()), 5, Jan1, Jan2);
    EXPECT_EQ(texts(progress).first(), "Загрузка архива, объект 5");
    EXPECT_THAT(texts(progress),
                ::testing::Contains("Загрузка файла 5\\20240102.dat: обработка... ОК"));
    EXPECT_EQ(run->importedFiles(), 1);
    EXPECT_EQ(readFile(dataDir + "5/20240102.dat"), longer);
    EXPECT_EQ(rows(5), "9");
}

TEST_F(ArchiveDownloadTest, FtpActiveModeWithAndWithoutTheAnnouncedAddress) {
    serve(5, {2024, 1, 1}, 2);
    const auto server = startFtp(serverRoot);
    for (const QString &address : {QString("127.0.0.1"), QString()}) {
        QDir(dataDir).removeRecursively();
        TDownloadSettings s = ftp(server->port());
        s.ftp.passive = false;
        s.ftp.externalAddress = address;
        download(s, 5, Jan1, Jan1);
        EXPECT_THAT(texts(progress), ::testing::Contains("Загрузка файла 5\\20240101.dat: "
                                                         "обработка... ОК"))
            << progress.lines().join("\n").toStdString();
        EXPECT_FALSE(run->failed());
    }
}

TEST_F(ArchiveDownloadTest, FtpStoresOnlyCompleteTransfersAndTakesAResetAsTheEnd) {
    serve(5, {2024, 1, 1}, 2);                     // sent uncompressed: cannot be decompressed
    writeFile(serverRoot + "/5/20240102.dat", {}); // compresses to an empty day
    const QByteArray reset = serve(5, {2024, 1, 3}, 3);
    serveList("_5_01.01.2024_04.01.2024",
              {"5\\20240101.dat=10", "5\\20240102.dat=10", "5\\20240103.dat=10",
               "5\\20240104.dat=10"}); // the last is missing at the server
    const auto server =
        startFtp(serverRoot, {"--raw", "5\\20240101.dat", "--reset", "5\\20240103.dat"});

    download(ftp(server->port()), 5, Jan1, dt::encode(2024, 1, 4));
    const QStringList t = texts(progress);
    ASSERT_EQ(t.size(), 8) << progress.lines().join("\n").toStdString();
    EXPECT_THAT(t[3].toStdString(), StartsWith("Загрузка файла 5\\20240101.dat: ошибка 2 - "
                                               "Повреждённый архив"));
    EXPECT_EQ(t[4], "Загрузка файла 5\\20240102.dat: обработка... Неверный формат архива");
    // The reset after the content ("10054") ends the transfer like a close.
    EXPECT_EQ(t[5], "Загрузка файла 5\\20240103.dat: обработка... ОК");
    EXPECT_THAT(t[6].toStdString(), StartsWith("Загрузка файла 5\\20240104.dat: ошибка 1 - "));
    EXPECT_EQ(t[7], "Докачка данных завершена");
    EXPECT_TRUE(progress.errorsMarkShown());
    EXPECT_TRUE(run->failed());
    EXPECT_EQ(storedFiles(), QStringList({"5/20240103.dat"}));
    EXPECT_EQ(readFile(dataDir + "5/20240103.dat"), reset);
    EXPECT_EQ(rows(5), "3");
}

TEST_F(ArchiveDownloadTest, AHostileListWritesNothingOutsideTheDataFolder) {
    const QByteArray good = serve(5, {2024, 1, 1}, 2);
    // What the server would hand out if asked for the names below.
    writeFile(serverRoot + "/5/sub/evil.dat", "evil");
    writeFile(serverRoot + "/evil.dat", "evil");
    const QStringList hostile{
        "..\\..\\evil.dat=4", "5\\..\\..\\evil.dat=4", "5/../evil.dat=4",    "/tmp/evil.dat=4",
        "\\evil.dat=4",       "C:\\evil.dat=4",        "5\\sub\\evil.dat=4", "5\\..=4",
        "5\\evil.dat=x"};
    serveList("_5_01.01.2024_01.01.2024",
              hostile + QStringList{QString("5\\20240101.dat=%1").arg(good.size())});
    const auto server = startFtp(serverRoot);

    download(ftp(server->port()), 0, Jan1, Jan1);
    const QStringList t = texts(progress);
    for (const QString &entry : hostile)
        EXPECT_TRUE(t.contains("Загрузка файла " + entry.section('=', 0, 0) +
                               ": ошибка загрузки данных: недопустимая запись списка"))
            << entry.toStdString();
    EXPECT_TRUE(t.contains("Загрузка файла 5\\20240101.dat: обработка... ОК"));
    EXPECT_TRUE(progress.errorsMarkShown());
    EXPECT_EQ(storedFiles(), QStringList({"5/20240101.dat"}));
    QDirIterator it(tmp.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        EXPECT_TRUE(!f.endsWith("evil.dat") || f.startsWith(serverRoot)) << f.toStdString();
    }
    EXPECT_FALSE(QFile::exists("/tmp/evil.dat"));
}

TEST_F(ArchiveDownloadTest, ARefusedConnectionOrLoginEndsTheRun) {
    serve(5, {2024, 1, 1}, 2);
    const auto server = startFtp(serverRoot);
    // A port that was free a moment ago and is closed now.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    ::close(fd);
    const int closedPort = ntohs(a.sin_port);
    TDownloadSettings refused = ftp(closedPort), badLogin = ftp(server->port());
    badLogin.ftp.password = "wrong";
    for (const TDownloadSettings &s : {refused, badLogin}) {
        download(s, 0, Jan1, Jan1);
        const QStringList t = texts(progress);
        ASSERT_EQ(t.size(), 3) << progress.lines().join("\n").toStdString();
        EXPECT_EQ(t[1], "Получение списка файлов (объект 5): ");
        EXPECT_THAT(t[2].toStdString(), StartsWith("Ошибка загрузки данных: "));
        EXPECT_GT(t[2].size(), QString("Ошибка загрузки данных: ").size());
        EXPECT_TRUE(progress.errorsMarkShown() && progress.completed());
        EXPECT_TRUE(storedFiles().isEmpty());
    }
}

TEST_F(ArchiveDownloadTest, CancelDuringTheFilePhaseCutsTheRunningTransfer) {
    // Two large files at 20 kB/s: each would take half a minute.
    for (const char *day : {"20240101", "20240102"}) {
        QByteArray noise(600000, '\0');
        for (auto &c : noise)
            c = char(QRandomGenerator::global()->bounded(256));
        writeFile(serverRoot + "/5/" + day + ".dat", noise);
    }
    const auto server = startFtp(serverRoot, {"--throttle", "20000"});
    QElapsedTimer clock;
    clock.start();
    qint64 fetching = -1;
    onPause = [&] {
        if (progress.Cancelled || !texts(progress).last().startsWith("Загрузка файла"))
            return;
        if (fetching < 0)
            fetching = clock.elapsed();
        else if (clock.elapsed() - fetching > 300)
            progress.btnCancelClick();
    };
    download(ftp(server->port()), 5, Jan1, Jan2);
    EXPECT_LT(clock.elapsed(), 8000);
    const QStringList t = texts(progress);
    EXPECT_EQ(t.last(), "Докачка данных отменена") << progress.lines().join("\n").toStdString();
    // The failure of the cut transfer lands on the last line, which is the cancel's.
    EXPECT_THAT(t[t.size() - 2].toStdString(), StartsWith("Отмена загрузки данных ошибка 1 - "));
    EXPECT_EQ(t.filter("Загрузка файла").size(), 1);
    EXPECT_TRUE(progress.errorsMarkShown());
    EXPECT_TRUE(storedFiles().isEmpty());
    EXPECT_EQ(rows(5), "0");
}

TEST_F(ArchiveDownloadTest, HttpFetchesEveryDayOfEveryObjectAndPassesOverWhatIsNotWhole) {
    const QString root = tmp.path() + "/http";
    const QByteArray a = dayFile({2024, 1, 1}, 3), b = dayFile({2024, 1, 2}, 2, 50);
    writeFile(root + "/zarnex/5/20240101.dat", a);
    writeFile(root + "/zarnex/5/20240102.dat", dayFile({2024, 1, 2}, 4)); // cut short
    writeFile(root + "/zarnex/5/20240103.dat", dayFile({2024, 1, 3}, 4)); // "Content-Length: 0"
    writeFile(root + "/zarnex/7/20240101.dat", dayFile({2024, 1, 1}, 4)); // no Content-Length
    writeFile(root + "/zarnex/7/20240102.dat", b);
    writeFile(root + "/zarnex/7/20240103.dat", dayFile({2024, 1, 3}, 4)); // "Content-Length: abc"
    const QString log = tmp.path() + "/data-server.log";
    const auto server =
        startHttp({"data", root, "--log", log, "--mode", "zarnex/5/20240102.dat=short", "--mode",
                   "zarnex/5/20240103.dat=zero", "--mode", "zarnex/7/20240101.dat=nolength",
                   "--mode", "zarnex/7/20240103.dat=badlength"});

    // 04.01 is missing for both objects: "404".
    download(http(server->port()), 0, Jan1, dt::encode(2024, 1, 4, 12));
    EXPECT_EQ(storedFiles(), QStringList({"5/20240101.dat", "7/20240102.dat"}));
    EXPECT_EQ(readFile(dataDir + "5/20240101.dat"), a);
    EXPECT_EQ(readFile(dataDir + "7/20240102.dat"), b);
    EXPECT_EQ(rows(5), "3");
    EXPECT_EQ(rows(7), "2");
    EXPECT_EQ(trackPoints(7, "20240102.dat"), 2);
    EXPECT_TRUE(run->failed()); // the body cut short
    EXPECT_FALSE(progress.isShown());
    EXPECT_EQ(progress.maximum(), 8);
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text, "Докачка данных завершена");
    EXPECT_EQ(dialogs.calls[0].caption, "Внимание");
    // Eight requests, in order, none with a proxy header.
    const QStringList requests = QString::fromUtf8(readFile(log)).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(requests.size(), 8);
    EXPECT_EQ(requests[0], "GET /zarnex/5/20240101.dat -");
    EXPECT_EQ(requests[7], "GET /zarnex/7/20240104.dat -");

    // Again: what is stored with the announced length counts as fetched.
    download(http(server->port()), 0, Jan1, dt::encode(2024, 1, 4));
    EXPECT_EQ(run->importedFiles(), 0);
    EXPECT_EQ(rows(5), "3");
}

TEST_F(ArchiveDownloadTest, HttpThroughAProxyThatWantsBasicAuthorisation) {
    const QString root = tmp.path() + "/http";
    const QByteArray a = dayFile({2024, 1, 1}, 3);
    writeFile(root + "/zarnex/5/20240101.dat", a);
    const QString dataLog = tmp.path() + "/data.log", proxyLog = tmp.path() + "/proxy.log";
    const auto data = startHttp({"data", root, "--log", dataLog});
    const auto proxy = startHttp({"proxy", "--auth", "pl:pp", "--log", proxyLog});

    // The data server named as a URL: its host and port are used, its path is not.
    TDownloadSettings s = http(80);
    s.http.server = QString("http://127.0.0.1:%1/zarnex/").arg(data->port());
    s.http.useProxy = true;
    s.http.proxyServer = "127.0.0.1";
    s.http.proxyPort = QString::number(proxy->port());
    s.http.proxyLogin = "pl";
    s.http.proxyPassword = "wrong";
    download(s, 5, Jan1, Jan1);
    EXPECT_TRUE(storedFiles().isEmpty()); // "407"

    s.http.proxyPassword = "pp";
    download(s, 5, Jan1, Jan1);
    EXPECT_EQ(storedFiles(), QStringList({"5/20240101.dat"}));
    EXPECT_EQ(readFile(dataDir + "5/20240101.dat"), a);
    EXPECT_EQ(rows(5), "3");
    const QString url = QString("http://127.0.0.1:%1/zarnex/5/20240101.dat").arg(data->port());
    EXPECT_EQ(
        QString::fromUtf8(readFile(proxyLog)).split('\n', Qt::SkipEmptyParts),
        QStringList({"GET " + url + " Basic cGw6d3Jvbmc=", "GET " + url + " Basic cGw6cHA="}));
    EXPECT_EQ(QString::fromUtf8(readFile(dataLog)).split('\n', Qt::SkipEmptyParts),
              QStringList({"GET /zarnex/5/20240101.dat -"}));

    // A proxy without its port, or no server: nothing happens at all.
    QSignalSpy shown(&progress, &TDownloadProgress::shown);
    dialogs.calls.clear();
    s.http.proxyPort = " ";
    download(s, 5, Jan1, Jan1);
    s = http(data->port());
    s.http.server.clear();
    download(s, 5, Jan1, Jan1);
    EXPECT_EQ(shown.count(), 0);
    EXPECT_TRUE(dialogs.calls.empty());
    EXPECT_EQ(QString::fromUtf8(readFile(proxyLog)).count('\n'), 2);
}

} // namespace
