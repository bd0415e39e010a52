// zarnex-cli as an operator runs it: the built program in a child process, against databases
// on the local Firebird server.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>

#include <gmock/gmock.h>

#include "app/Cp1251.h"
#include "app/Folders.h"
#include "app/IniFile.h"
#include "app/Options.h"
#include "app/OptionsIO.h"
#include "archive/ArchiveServers.h"
#include "common/ScriptedDialogs.h"
#include "db/DbTestEnv.h"
#include "link/SimProcess.h"
#include "session/ClientSession.h"
#include "session/DataRuns.h"
#include "session/DatabasePart.h"
#include "session/Runner.h"
#include "tracks/CoordsUtils.h"

#include <cstring>
#include <map>

namespace {

const QString kCli = QStringLiteral(ZARNEX_BIN_DIR "/zarnex-cli");

struct TRun {
    int code = -1;
    QString out;
    QString err;
};

TRun runProgram(const QString &program, const QStringList &args,
                const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    TRun r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2; // -2: crashed
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

TRun cli(const QStringList &args) {
    return runProgram(kCli, args);
}

std::ostream &operator<<(std::ostream &os, const TRun &r) {
    return os << "exit " << r.code << "\nstdout:\n"
              << r.out.toStdString() << "stderr:\n"
              << r.err.toStdString();
}

QStringList lines(const QString &text) {
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void writeFile(const QString &path, const QString &text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(text.toUtf8());
}

// One database built by create-db, with a settings file naming it, in a folder the server's
// user can write.
class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_FIREBIRD_SERVER();
        dir = dbtest::scratchDir() +
              QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
              QLatin1Char('/');
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        ::chmod(QFile::encodeName(dir).constData(), 01777);
        dbPath = dir + QStringLiteral("START.FDB");
        const TRun r = cli({QStringLiteral("create-db"), QStringLiteral("localhost:") + dbPath});
        ASSERT_EQ(r.code, 0) << r;
        settings = dir + QStringLiteral("zarnex-client.ini");
        writeSettings(settings, QStringLiteral("localhost"), dbPath);
        database.open(QStringLiteral("localhost:") + dbPath, QStringLiteral("SYSDBA"),
                      dbtest::password());
    }
    void TearDown() override { database.forceClose(); }

    static void writeSettings(const QString &file, const QString &server, const QString &path) {
        writeFile(file, QStringLiteral("[DataBase]\r\nDBServ=%1\r\nDBPath=%2\r\nDBLogin=SYSDBA\r\n"
                                       "DBPass=%3\r\n")
                            .arg(server, path, dbtest::password()));
    }
    TRun withSettings(QStringList args) const {
        args.prepend(settings);
        args.prepend(QStringLiteral("--settings"));
        return cli(args);
    }
    void exec(const QString &sql) { database.execute(sql); }
    QString scalar(const QString &sql) { return db::selectValue(database, sql).toString(); }

    QString dir;
    QString dbPath;
    QString settings;
    db::TDatabase database;
};

TEST_F(CliTest, RefuelsDetectStoresWhatItFindsAndListShowsIt) {
    exec(QStringLiteral("insert into OBJECTS (OBJ_NUMBER, OBJ_NAME) values (5, 'Пятый')"));
    exec(QStringLiteral("insert into FUEL_POINTS values (5, 100, 10, 1)"));
    exec(QStringLiteral("insert into FUEL_POINTS values (5, 1100, 110, 1)"));
    const std::pair<const char *, int> series[] = {{"10:00:00", 500},
                                                   {"10:10:00", 495},
                                                   {"10:20:00", 900},
                                                   {"10:30:00", 890},
                                                   {"12:00:00", 700}};
    for (const auto &[time, value] : series)
        exec(QStringLiteral("insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_FUELLEVEL) "
                            "values (5, '10.12.2026 %1', %2)")
                 .arg(QString::fromLatin1(time))
                 .arg(value));
    const auto refuels = [&](const char *action, QStringList more = {}) {
        return withSettings(QStringList{QStringLiteral("refuels"), QString::fromLatin1(action),
                                        QStringLiteral("--object"), QStringLiteral("5"),
                                        QStringLiteral("--from"), QStringLiteral("2026-12-10"),
                                        QStringLiteral("--to"), QStringLiteral("2026-12-10")} +
                            more);
    };
    const QString header = QStringLiteral("Номер\tНачало заправки\tДатчик начала\tКонец "
                                          "заправки\tДатчик конца\tЗалито топлива\tОценка");
    TRun r = refuels("list");
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(lines(r.out), QStringList{header});

    r = refuels("detect", {QStringLiteral("--threshold"), QStringLiteral("100")});
    ASSERT_EQ(r.code, 0) << r;
    ASSERT_EQ(lines(r.out).size(), 2) << r;
    const QStringList row = lines(r.out)[1].split(QLatin1Char('\t'));
    ASSERT_EQ(row.size(), 7) << r;
    EXPECT_EQ(row[0], QStringLiteral("5"));
    EXPECT_TRUE(row[1].endsWith(QStringLiteral("10:10:00"))) << r;
    EXPECT_EQ(row[2], QStringLiteral("495"));
    EXPECT_TRUE(row[3].endsWith(QStringLiteral("10:20:00"))) << r;
    EXPECT_EQ(row[4], QStringLiteral("900"));
    EXPECT_EQ(row[5], QString());
    EXPECT_EQ(QString(row[6]).replace(QLatin1Char(','), QLatin1Char('.')),
              QStringLiteral("40.500"));
    // Stored for good; listing shows the same.
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from FUEL_CHARGE where ID = 5")),
              QStringLiteral("1"));
    TRun again = refuels("list");
    EXPECT_EQ(again.out, r.out) << again;

    // A threshold outside the window's range, or one for list, is bad usage; an object that
    // is not registered fails.
    for (const QString &t : {QStringLiteral("0"), QStringLiteral("2049"), QStringLiteral("1e2")})
        EXPECT_EQ(refuels("detect", {QStringLiteral("--threshold"), t}).code, 2) << t.toStdString();
    EXPECT_EQ(refuels("list", {QStringLiteral("--threshold"), QStringLiteral("100")}).code, 2);
    r = withSettings({QStringLiteral("refuels"), QStringLiteral("list"), QStringLiteral("--object"),
                      QStringLiteral("6"), QStringLiteral("--from"), QStringLiteral("2026-12-10"),
                      QStringLiteral("--to"), QStringLiteral("2026-12-10")});
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_EQ(lines(r.err).value(0), QStringLiteral("zarnex-cli: object 6 is not in the registry"));
}

// A standing object (its engine off) whose level falls by 40 l in five minutes: detect stores
// the drain once, list shows what is stored; one object or all; the usage's rules.
TEST_F(CliTest, DrainsDetectStoresTheDrainOnceAndListShowsIt) {
    exec(QStringLiteral("insert into OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TANKVOLUME, "
                        "OBJ_USEENGINEFORPARK) values (5, 'Пятый', 250, 1)"));
    exec(QStringLiteral("insert into OBJECTS (OBJ_NUMBER, OBJ_NAME) values (6, 'Шестой')"));
    exec(QStringLiteral("insert into FUEL_POINTS values (5, 100, 10, 1)"));
    exec(QStringLiteral("insert into FUEL_POINTS values (5, 2100, 210, 1)"));
    // 0.1 l a unit: 160 l until 03:15, 120 l from 03:20.
    const TDateTime t0 = dt::encode(2026, 12, 10, 3, 0, 0);
    for (int i = 0; i <= 240; ++i) {
        const int raw = i <= 90 ? 1600 : i >= 120 ? 1200 : 1600 - (i - 90) * 400 / 30;
        exec(QStringLiteral("insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_FUELLEVEL, "
                            "INS_ERRORAVTOPROTECT) values (5, '%1', %2, 0)")
                 .arg(dt::formatDateTime(QStringLiteral("dd.mm.yyyy hh:nn:ss"),
                                         t0 + i * 10 / 86400.0),
                      QString::number(raw)));
    }
    const auto drains = [&](const char *action, QStringList which) {
        return withSettings(QStringList{QStringLiteral("drains"), QString::fromLatin1(action)} +
                            which +
                            QStringList{QStringLiteral("--from"), QStringLiteral("2026-12-10"),
                                        QStringLiteral("--to"), QStringLiteral("2026-12-10")});
    };
    const QStringList five{QStringLiteral("--object"), QStringLiteral("5")};
    const QStringList all{QStringLiteral("--all")};
    const QString header = QStringLiteral("Номер\tНачало слива\tКонец слива\tСлито, л\tМесто");
    TRun r = drains("list", five);
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(lines(r.out), QStringList{header});

    r = drains("detect", five);
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_THAT(lines(r.err), testing::Contains(QStringLiteral("Найдено новых сливов: 1")));
    ASSERT_EQ(lines(r.out).size(), 2) << r;
    const QStringList row = lines(r.out)[1].split(QLatin1Char('\t'));
    ASSERT_EQ(row.size(), 5) << r;
    EXPECT_EQ(row[0], QStringLiteral("5"));
    EXPECT_TRUE(row[1].endsWith(QStringLiteral("03:15:00"))) << r;
    EXPECT_TRUE(row[2].endsWith(QStringLiteral("03:20:00"))) << r;
    EXPECT_EQ(QString(row[3]).replace(QLatin1Char(','), QLatin1Char('.')), QStringLiteral("40.0"));
    EXPECT_EQ(row[4], QString()); // no track files: no place

    // Found again, stored once; every object's list is the same.
    r = drains("detect", all);
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_THAT(lines(r.err), testing::Contains(QStringLiteral("Найдено новых сливов: 0")));
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from DRAIN_ALERTS where DRN_OBJECT = 5 and "
                                    "DRN_KIND = 1")),
              QStringLiteral("1"));
    EXPECT_EQ(drains("list", all).out, r.out);

    // One of --object and --all, a known action; an unregistered object fails.
    for (const QStringList &bad : {QStringList{}, five + all})
        EXPECT_EQ(drains("list", bad).code, 2) << bad.join(' ').toStdString();
    EXPECT_EQ(drains("show", five).code, 2);
    r = drains("list", {QStringLiteral("--object"), QStringLiteral("7")});
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_EQ(lines(r.err).value(0), QStringLiteral("zarnex-cli: object 7 is not in the registry"));
}

TEST_F(CliTest, CreateDbBuildsTheSchemaAndVersionReportsIt) {
    const QString structure = scalar(QStringLiteral("SELECT LAST_VERSION FROM SYS"));
    ASSERT_FALSE(structure.isEmpty());
    // The program version, then the database's, from the settings or from --database.
    for (const QStringList &args :
         {QStringList{QStringLiteral("version")},
          QStringList{QStringLiteral("version"), QStringLiteral("--database"),
                      QStringLiteral("localhost:") + dbPath}}) {
        const TRun r = withSettings(args);
        ASSERT_EQ(r.code, 0) << r;
        EXPECT_EQ(lines(r.out), (QStringList{GetFileVersionText(), structure})) << r;
    }
    // The structure is complete: the triggers and procedures of the second part exist too.
    EXPECT_NE(scalar(QStringLiteral("SELECT COUNT(*) FROM RDB$PROCEDURES")), QStringLiteral("0"));

    const QString name = QStringLiteral("localhost:") + dbPath;
    TRun again = cli({QStringLiteral("create-db"), name});
    EXPECT_EQ(again.code, 1) << again;
    EXPECT_THAT(again.err.toStdString(), ::testing::HasSubstr("cannot create the database: "));
    again = cli({QStringLiteral("create-db"), name, QStringLiteral("--if-missing")});
    EXPECT_EQ(again.code, 0) << again;
}

TEST_F(CliTest, ExecScriptCommitsTheWholeScriptOrNothing) {
    const QString good = dir + QStringLiteral("good.sql");
    writeFile(good,
              QStringLiteral("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('g1', 'Депо');\n"
                             "SET TERM ^ ;\n"
                             "EXECUTE BLOCK AS BEGIN\n"
                             "  INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('g2', 'O''Hara');\n"
                             "END^\n"
                             "SET TERM ; ^\n"));
    TRun r = withSettings({QStringLiteral("exec-script"), good});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_THAT(r.err.toStdString(),
                ::testing::HasSubstr("Выполнение скрипта: Метаданные базы данных обновленны."));
    EXPECT_EQ(scalar(QStringLiteral("SELECT LIST(GRP_NAME, '|') FROM (SELECT GRP_NAME FROM "
                                    "GROUPS WHERE GRP_ID IN ('g1','g2') ORDER BY GRP_ID)")),
              QStringLiteral("Депо|O'Hara"));

    const QString bad = dir + QStringLiteral("bad.sql");
    writeFile(bad, QStringLiteral("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('g3', 'x');\n"
                                  "INSERT INTO NO_SUCH_TABLE VALUES (1);\n"));
    r = withSettings({QStringLiteral("exec-script"), bad});
    EXPECT_EQ(r.code, 1) << r;
    ASSERT_EQ(lines(r.err).size(), 1) << r;
    EXPECT_THAT(r.err.toStdString(), ::testing::HasSubstr("NO_SUCH_TABLE"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM GROUPS WHERE GRP_ID = 'g3'")),
              QStringLiteral("0"));
}

TEST_F(CliTest, PurgeDeletesUpToTheMomentForOneObjectOrForAll) {
    exec(QStringLiteral("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (1000, 'A')"));
    // Object 5 is not in the registry: only "all objects" reaches it.
    for (int object : {1000, 5})
        for (const char *t : {"2024-01-01 09:00:00", "2024-01-02 10:00:00", "2024-01-02 10:00:01",
                              "2024-01-03 00:00:00", "2024-01-03 00:00:01"}) {
            exec(QStringLiteral("INSERT INTO INPUTSIGNALS (INS_NUMBER, INS_PACKTIME) VALUES "
                                "(%1, '%2')")
                     .arg(object)
                     .arg(QLatin1String(t)));
            exec(QStringLiteral("INSERT INTO COORDINATS (ID, TS_PACKET) VALUES (%1, '%2')")
                     .arg(object)
                     .arg(QLatin1String(t)));
        }
    const auto left = [&](int object) {
        return scalar(QStringLiteral("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = %1")
                          .arg(object)) +
               QLatin1Char('/') +
               scalar(QStringLiteral("SELECT COUNT(*) FROM COORDINATS WHERE ID = %1").arg(object));
    };

    TRun r = withSettings({QStringLiteral("purge"), QStringLiteral("--before"),
                           QStringLiteral("2024-01-02 10:00:00"), QStringLiteral("--object"),
                           QStringLiteral("42")});
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_THAT(r.err.toStdString(), ::testing::HasSubstr("42"));

    // The moment itself is included.
    r = withSettings({QStringLiteral("purge"), QStringLiteral("--before"),
                      QStringLiteral("2024-01-02 10:00:00"), QStringLiteral("--object"),
                      QStringLiteral("1000")});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_THAT(r.err.toStdString(),
                ::testing::HasSubstr("Удаление архивных данных: Очистка статистики завершена!"));
    EXPECT_EQ(left(1000), QStringLiteral("3/3"));
    EXPECT_EQ(left(5), QStringLiteral("5/5"));

    // A date alone is the start of that day; every object, registered or not.
    r = withSettings({QStringLiteral("purge"), QStringLiteral("--before=2024-01-03")});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(left(1000), QStringLiteral("1/1"));
    EXPECT_EQ(left(5), QStringLiteral("1/1"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM OBJECTS")), QStringLiteral("1"));
}

TEST_F(CliTest, UpdateDbCopiesTheDataAndSwitchesTheSettings) {
    exec(QStringLiteral("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (7, 'O''Brien')"));
    exec(QStringLiteral("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('g', 'Депо')"));
    database.forceClose();

    const TRun r = withSettings({QStringLiteral("update-db")});
    ASSERT_EQ(r.code, 0) << r;
    const QString newPath = r.out.trimmed();
    EXPECT_EQ(QFileInfo(newPath).path() + QLatin1Char('/'), dir);
    EXPECT_TRUE(QFileInfo(newPath).fileName().startsWith(QStringLiteral("ZARNEXLDB")));
    EXPECT_THAT(r.err.toStdString(), ::testing::HasSubstr("Копирование базы данных успешно "
                                                          "завершено!\n"));

    TIniFile ini(settings);
    ini.load();
    EXPECT_EQ(ini.readString(QStringLiteral("DataBase"), QStringLiteral("DBPath"), QString()),
              newPath);
    EXPECT_TRUE(QFileInfo::exists(dbPath)); // the old database stays

    db::TDatabase copy;
    copy.open(QStringLiteral("localhost:") + newPath, QStringLiteral("SYSDBA"), dbtest::password());
    EXPECT_EQ(db::selectValue(copy, QStringLiteral("SELECT OBJ_NAME FROM OBJECTS WHERE "
                                                   "OBJ_NUMBER = 7"))
                  .toString(),
              QStringLiteral("O'Brien"));
    copy.drop();
}

// A table the old database cannot fill asks whether to go on: without an answer on the command
// line the update stops and the settings stay; --continue-on-error answers Yes.
TEST_F(CliTest, UpdateDbAnswersTheCopyQuestionOnlyWhenTold) {
    exec(QStringLiteral("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('g', 'Депо')"));
    database.forceClose();
    QFile shipped(QStringLiteral(ZARNEX_SOURCE_DIR "/update/UPDB.sql"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(shipped.readAll());
    const QString column = QStringLiteral("GRP_NAME     VARCHAR(250)\n);");
    ASSERT_TRUE(text.contains(column));
    text.replace(column, QStringLiteral("GRP_NAME     VARCHAR(250),\n    GRP_EXTRA INTEGER\n);"));
    const QString script = dir + QStringLiteral("UPDB-extra.sql");
    writeFile(script, text);
    const QByteArray before = [&] {
        QFile f(settings);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    TRun r = withSettings({QStringLiteral("update-db"), QStringLiteral("--script"), script});
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_THAT(r.err.toStdString(), ::testing::HasSubstr("Ошибка копирования таблицы"));
    EXPECT_THAT(r.err.toStdString(), ::testing::HasSubstr("--continue-on-error"));
    EXPECT_THAT(lines(r.err).last().toStdString(),
                ::testing::HasSubstr("the settings still name localhost:" + dbPath.toStdString()));
    QFile after(settings);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
    after.close();

    r = withSettings({QStringLiteral("update-db"), QStringLiteral("--script"), script,
                      QStringLiteral("--continue-on-error"), QStringLiteral("--no-history")});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_THAT(r.err.toStdString(), ::testing::HasSubstr("Пропускаем копирование таблицы "
                                                          "INPUTSIGNALS"));
    db::TDatabase copy;
    copy.open(QStringLiteral("localhost:") + r.out.trimmed(), QStringLiteral("SYSDBA"),
              dbtest::password());
    EXPECT_EQ(db::selectValue(copy, QStringLiteral("SELECT COUNT(*) FROM GROUPS")).toInt(), 0);
    copy.drop();
}

TEST_F(CliTest, BadUsageExitsWithTwoAndHelpWithZero) {
    const QList<QStringList> bad = {
        {},
        {QStringLiteral("frobnicate")},
        {QStringLiteral("--settings")},
        {QStringLiteral("--bogus"), QStringLiteral("version")},
        {QStringLiteral("version"), QStringLiteral("extra")},
        {QStringLiteral("version"), QStringLiteral("--database")},
        {QStringLiteral("create-db")},
        {QStringLiteral("exec-script")},
        {QStringLiteral("purge")},
        {QStringLiteral("purge"), QStringLiteral("--before"), QStringLiteral("01.02.2024")},
        {QStringLiteral("purge"), QStringLiteral("--before"), QStringLiteral("2024-02-30")},
        {QStringLiteral("purge"), QStringLiteral("--before"), QStringLiteral("2024-02-01"),
         QStringLiteral("--object"), QStringLiteral("x")},
        {QStringLiteral("update-db"), QStringLiteral("--history"), QStringLiteral("--no-history")},
    };
    for (const QStringList &args : bad) {
        const TRun r = cli(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString() << "\n" << r;
        EXPECT_THAT(r.err.toStdString(), ::testing::HasSubstr("usage: zarnex-cli"))
            << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r;
    }
    for (const QString &command :
         {QStringLiteral("version"), QStringLiteral("create-db"), QStringLiteral("update-db"),
          QStringLiteral("exec-script"), QStringLiteral("purge")}) {
        const TRun r = cli({command, QStringLiteral("--help")});
        EXPECT_EQ(r.code, 0) << r;
        EXPECT_TRUE(
            r.out.startsWith(QStringLiteral("usage: zarnex-cli [--settings FILE] ") + command))
            << r;
    }
}

TEST_F(CliTest, AnUnreachableDatabaseFailsWithOneLine) {
    const QString missing = dir + QStringLiteral("missing.ini");
    writeSettings(missing, QStringLiteral("localhost"), dir + QStringLiteral("NO-SUCH.FDB"));
    const QString script = dir + QStringLiteral("s.sql");
    writeFile(script, QStringLiteral("SELECT 1 FROM RDB$DATABASE;\n"));
    for (const QStringList &args :
         {QStringList{QStringLiteral("version")}, QStringList{QStringLiteral("update-db")},
          QStringList{QStringLiteral("exec-script"), script},
          QStringList{QStringLiteral("purge"), QStringLiteral("--before"),
                      QStringLiteral("2024-01-01")}}) {
        QStringList full = {QStringLiteral("--settings"), missing};
        full += args;
        const TRun r = cli(full);
        EXPECT_EQ(r.code, 1) << r;
        const QStringList errLines = lines(r.err);
        ASSERT_EQ(errLines.size(), 1) << r;
        EXPECT_TRUE(errLines[0].startsWith(
            QStringLiteral("zarnex-cli: cannot connect to the database: I/O error")))
            << r;
        EXPECT_TRUE(errLines[0].contains(QStringLiteral("NO-SUCH.FDB"))) << r;
    }
    // Nothing was left behind by the update.
    EXPECT_EQ(QDir(dir).entryList({QStringLiteral("ZARNEXLDB*")}, QDir::Files), QStringList());
}

// Without --settings the program reads the client's settings, where the client would: here the
// per-user file chosen by the program folder's UserPath.
TEST_F(CliTest, FindsTheClientsOwnSettings) {
    const QString programDir = dir + QStringLiteral("program/");
    const QString config = dir + QStringLiteral("config/");
    QDir().mkpath(programDir);
    QDir().mkpath(config + QStringLiteral("ZarnexClientAuto"));
    ASSERT_TRUE(QFile::copy(kCli, programDir + QStringLiteral("zarnex-cli")));
    QFile(programDir + QStringLiteral("zarnex-cli"))
        .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    writeFile(programDir + QStringLiteral("zarnex-client.ini"),
              QStringLiteral("[SettingsLocation]\r\nUserPath=1\r\n"));
    writeSettings(config + QStringLiteral("ZarnexClientAuto/zarnex-client.ini"),
                  QStringLiteral("localhost"), dbPath);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    const TRun r =
        runProgram(programDir + QStringLiteral("zarnex-cli"), {QStringLiteral("version")}, env);
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(lines(r.out).value(1), scalar(QStringLiteral("SELECT LAST_VERSION FROM SYS")));
    EXPECT_TRUE(r.err.isEmpty()) << r;
}

// An object's settings travel from one workstation's database to another's through a file.
TEST_F(CliTest, ObjectSettingsMoveBetweenDatabases) {
    exec(QStringLiteral("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_DESC, OBJ_SHORTNAME, "
                        "OBJ_TIMEZONE, OBJ_USEENGINEFORPARK, OBJ_FUELDEPTYPE, OBJ_TANKVOLUME, "
                        "OBJ_FUELCONSW, OBJ_FUELCONSS, OBJ_FUELSENSORDELTA, "
                        "OBJ_FUELUSETANKSENSOR, OBJ_FUELUSEENGINE) VALUES (31, 'Кран О''Хара', "
                        "'Порт', 'К31', 3, 1, 1, 812.5, 31.25, 27, 150, 1, 0)"));
    for (const char *p : {"(31, 100, 12.5, 1)", "(31, 900, 700.75, 0)"})
        exec(QStringLiteral("INSERT INTO FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, FIXED) VALUES %1")
                 .arg(QLatin1String(p)));
    const QString oni = dir + QStringLiteral("31.oni");
    TRun r = withSettings(
        {QStringLiteral("object"), QStringLiteral("export"), QStringLiteral("31"), oni});
    ASSERT_EQ(r.code, 0) << r;
    r = withSettings(
        {QStringLiteral("object"), QStringLiteral("export"), QStringLiteral("77"), oni});
    EXPECT_EQ(r.code, 1) << r;

    const QString otherPath = dir + QStringLiteral("OTHER.FDB");
    ASSERT_EQ(cli({QStringLiteral("create-db"), QStringLiteral("localhost:") + otherPath}).code, 0);
    const QString otherSettings = dir + QStringLiteral("other.ini");
    writeSettings(otherSettings, QStringLiteral("localhost"), otherPath);
    const auto onOther = [&](QStringList args) {
        args.prepend(otherSettings);
        args.prepend(QStringLiteral("--settings"));
        return cli(args);
    };
    r = onOther({QStringLiteral("object"), QStringLiteral("import"), oni});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_THAT(r.err.toStdString(),
                ::testing::HasSubstr("Импорт данных: Импорт данных объекта №31 завершен"));

    db::TDatabase other;
    other.open(QStringLiteral("localhost:") + otherPath, QStringLiteral("SYSDBA"),
               dbtest::password());
    const QString row = QStringLiteral(
        "SELECT OBJ_NAME || '|' || OBJ_DESC || '|' || OBJ_SHORTNAME || '|' || OBJ_TIMEZONE || "
        "'|' || OBJ_USEENGINEFORPARK || '|' || OBJ_FUELDEPTYPE || '|' || OBJ_TANKVOLUME || '|' || "
        "OBJ_FUELCONSW || '|' || OBJ_FUELCONSS || '|' || OBJ_FUELSENSORDELTA || '|' || "
        "OBJ_FUELUSETANKSENSOR || '|' || OBJ_FUELUSEENGINE FROM OBJECTS WHERE OBJ_NUMBER = 31");
    const QString points = QStringLiteral(
        "SELECT LIST(P, ' ') FROM (SELECT SENSOR_VAL || ':' || FUEL_VAL || ':' || FIXED AS P "
        "FROM FUEL_POINTS WHERE ID = 31 ORDER BY SENSOR_VAL)");
    EXPECT_EQ(db::selectValue(other, row).toString(), scalar(row));
    EXPECT_EQ(db::selectValue(other, points).toString(), scalar(points));
    EXPECT_EQ(db::selectValue(other, row).toString(),
              QStringLiteral("Кран О'Хара|Порт|К31|3|1|1|812.50|31.25|27.00|150|1|0"));

    // A registered number is replaced only when told.
    other.execute(QStringLiteral("UPDATE OBJECTS SET OBJ_NAME = 'местное' WHERE OBJ_NUMBER = 31"));
    r = onOther({QStringLiteral("object"), QStringLiteral("import"), oni});
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_THAT(r.err.toStdString(), ::testing::HasSubstr("--replace"));
    EXPECT_EQ(db::selectValue(other, QStringLiteral("SELECT OBJ_NAME FROM OBJECTS")).toString(),
              QStringLiteral("местное"));
    r = onOther(
        {QStringLiteral("object"), QStringLiteral("import"), oni, QStringLiteral("--replace")});
    EXPECT_EQ(r.code, 0) << r;
    EXPECT_EQ(db::selectValue(other, QStringLiteral("SELECT OBJ_NAME FROM OBJECTS")).toString(),
              QStringLiteral("Кран О'Хара"));
    other.forceClose();
}

TEST_F(CliTest, FieldSettingsExportAndImport) {
    exec(QStringLiteral("UPDATE PARAMS SET PRM_CAPTION = 'Связь О''Нила' WHERE PRM_NAME = "
                        "'подключение'"));
    const QString fcg = dir + QStringLiteral("fields.fcg");
    TRun r = withSettings({QStringLiteral("fields"), QStringLiteral("export"), fcg});
    ASSERT_EQ(r.code, 0) << r;
    // In name order: a re-inserted row need not land where it was stored before.
    const QString params = QStringLiteral(
        "SELECT LIST(P, ',') FROM (SELECT PRM_NAME || '=' || COALESCE(PRM_CAPTION, '-') AS P "
        "FROM PARAMS ORDER BY PRM_NAME)");
    const QString before = scalar(params);
    exec(QStringLiteral("DELETE FROM PARAMS WHERE PRM_NAME = 'подключение'"));
    r = withSettings({QStringLiteral("fields"), QStringLiteral("import"), fcg});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_THAT(r.err.toStdString(),
                ::testing::HasSubstr("Настройки успешно загруженны из файла в базу данных"));
    EXPECT_EQ(scalar(params), before);

    writeFile(dir + QStringLiteral("not.fcg"), QStringLiteral("[Object]\r\nID=1\r\n"));
    r = withSettings(
        {QStringLiteral("fields"), QStringLiteral("import"), dir + QStringLiteral("not.fcg")});
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_EQ(scalar(params), before);
}

// The track commands run from a copy of the program in the test's folder, so that the track
// files they write stay there.
class CliTrackTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (HasFatalFailure())
            return;
        programDir = dir + QStringLiteral("program/");
        QDir().mkpath(programDir);
        ASSERT_TRUE(QFile::copy(kCli, programDir + QStringLiteral("zarnex-cli")));
        QFile(programDir + QStringLiteral("zarnex-cli"))
            .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
        exec(QStringLiteral("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (412, 'Фургон')"));
    }
    TRun run(QStringList args) const {
        args.prepend(settings);
        args.prepend(QStringLiteral("--settings"));
        return runProgram(programDir + QStringLiteral("zarnex-cli"), args);
    }
    // A device data file: 6 minutes of driving 500 m a minute, 5 minutes standing, 6 of driving.
    QString dataFile(const QString &relative) const {
        QByteArray bytes;
        long double lat = 3345.0L;
        for (int i = 0; i < 19; ++i) {
            if (i > 0 && (i <= 6 || i > 12))
                lat += 500.0L / 1855.0L;
            TCoordData c{lat, 2256.0L, 41713.0 + 10.0 / 24 + i / 1440.0, 0};
            QByteArray rec(41 + 9, '\0');
            unsigned char r48[TCoordData::RecordSize];
            c.toBytes(r48);
            std::memcpy(rec.data(), r48 + 32, 8); // time
            std::memcpy(rec.data() + 8, r48, 32); // both coordinates in their slots
            rec[40] = 9;
            rec[42] = char(0x08 + (i % 2)); // version 1; the alarm bit alternates
            bytes += rec;
        }
        const QString path = dir + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QString programDir;
};

TEST_F(CliTrackTest, ImportThenTrackWithItsPartsAndTheGpxReadBack) {
    const QString file = dataFile(QStringLiteral("in/20140315.dat"));
    TRun r =
        run({QStringLiteral("import"), QStringLiteral("--object"), QStringLiteral("412"), file});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(lines(r.err), (QStringList{QStringLiteral("Импорт файла: ") + file,
                                         QStringLiteral("  успешно импортирован в базу"),
                                         QStringLiteral("Импорт завершен")}))
        << r;
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = 412")),
              QStringLiteral("19"));
    EXPECT_TRUE(QFile::exists(programDir + QStringLiteral("coord/412/20140315.dat")));

    // An unknown object and a missing file are error lines and a failed run.
    r = run({QStringLiteral("import"), QStringLiteral("--object"), QStringLiteral("413"), file,
             dir + QStringLiteral("missing.dat")});
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_THAT(lines(r.err), ::testing::Contains(QStringLiteral(
                                  "  ошибка: объект № 413 не зарегистрирован в базе данных")))
        << r;
    EXPECT_TRUE(lines(r.err).last().endsWith(QStringLiteral("2 of 2 files were not imported")))
        << r;

    const QString gpx = dir + QStringLiteral("track.gpx");
    r = run({QStringLiteral("track"), QStringLiteral("--object"), QStringLiteral("412"),
             QStringLiteral("--from"), QStringLiteral("2014-03-15"), QStringLiteral("--to"),
             QStringLiteral("2014-03-15"), QStringLiteral("--gpx"), gpx});
    ASSERT_EQ(r.code, 0) << r;
    const QStringList table = lines(r.out);
    ASSERT_EQ(table.size(), 5) << r;
    EXPECT_EQ(table[0], QStringLiteral("Состояние\tНачало\tОкончание\tПродолжительность\tПробег\t"
                                       "Ср. скорость"));
    EXPECT_TRUE(table[1].startsWith(QStringLiteral("Весь\t15.03.14 10:00:00\t15.03.14 10:18:00\t"
                                                   "0:18:00\t")))
        << r;
    EXPECT_TRUE(table[2].startsWith(QStringLiteral("движение\t15.03.14 10:00:00\t")));
    EXPECT_TRUE(table[3].startsWith(QStringLiteral("стоянка\t15.03.14 10:07:00\t15.03.14 "
                                                   "10:12:00\t0:05:00\t-\t-")));
    EXPECT_TRUE(table[4].startsWith(QStringLiteral("движение\t15.03.14 10:13:00\t")));

    // A real GPX consumer finds both movement parts with all their points, and the stop.
    const TRun read = runProgram(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import gpxpy,sys\n"
                        "g=gpxpy.parse(open(sys.argv[1],encoding='utf-8'))\n"
                        "print(g.version,len(g.tracks),[len(s.points) for t in g.tracks for s "
                        "in t.segments],len(g.waypoints))\n"
                        "p=g.tracks[0].segments[0].points[0]\n"
                        "print('%.5f %.5f' % (p.latitude, p.longitude), p.time.isoformat())\n"),
         gpx});
    ASSERT_EQ(read.code, 0) << read;
    const QStringList got = lines(read.out);
    ASSERT_EQ(got.size(), 2) << read;
    EXPECT_EQ(got[0], QStringLiteral("1.1 1 [7, 6] 1"));
    const QDateTime firstUtc = QDateTime(QDate(2014, 3, 15), QTime(10, 0), Qt::LocalTime).toUTC();
    EXPECT_EQ(got[1], QStringLiteral("55.75000 37.60000 ") +
                          firstUtc.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss+00:00")));

    r = run({QStringLiteral("track"), QStringLiteral("--object"), QStringLiteral("413"),
             QStringLiteral("--from"), QStringLiteral("2014-03-15"), QStringLiteral("--to"),
             QStringLiteral("2014-03-15")});
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_EQ(lines(r.err).value(0),
              QStringLiteral("zarnex-cli: object 413 is not in the registry"));
    r = run({QStringLiteral("track"), QStringLiteral("--object"), QStringLiteral("412")});
    EXPECT_EQ(r.code, 2) << r;
}

TEST_F(CliTrackTest, ImportDirVisitsTheNumberedFolders) {
    dataFile(QStringLiteral("dir/412/20140315.dat"));
    TRun r = run({QStringLiteral("import-dir"), dir + QStringLiteral("dir")});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(lines(r.err), (QStringList{QStringLiteral("Импорт данных объекта №412"),
                                         QStringLiteral("  файл \"20140315.dat\" импортирован")}));
    dataFile(QStringLiteral("dir/413/20140315.dat"));
    r = run({QStringLiteral("import-dir"), dir + QStringLiteral("dir")});
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_THAT(lines(r.err), ::testing::Contains(
                                  QStringLiteral("  ошибка, файл \"20140315.dat\": объект № 413 не "
                                                 "зарегистрирован в базе данных")));
    r = run({QStringLiteral("import-dir"), dir + QStringLiteral("nowhere")});
    EXPECT_EQ(r.code, 1) << r;
}

TEST_F(CliTrackTest, DownloadFetchesFromTheArchiveAndFailsOnTheErrorMark) {
    const QString file = dataFile(QStringLiteral("server/412/20140315.dat"));
    dataFile(QStringLiteral("server/412/20140316.dat"));
    const auto server = startFtp(dir + QStringLiteral("server"),
                                 {QStringLiteral("--raw"), QStringLiteral("412\\20140316.dat")});
    QFile ini(settings);
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write(QStringLiteral("[AppServer]\r\nAppIP=127.0.0.1\r\nFTPPort=%1\r\nAppLogin=arch\r\n"
                             "AppPass=pw\r\n")
                  .arg(server->port())
                  .toUtf8());
    ini.close();

    TRun r =
        run({QStringLiteral("download"), QStringLiteral("--all"), QStringLiteral("--from"),
             QStringLiteral("2014-03-15"), QStringLiteral("--to"), QStringLiteral("2014-03-15")});
    ASSERT_EQ(r.code, 0) << r;
    QStringList log;
    for (const QString &l : lines(r.err))
        log << l.section(QStringLiteral(": "), 1);
    EXPECT_THAT(log,
                ::testing::Contains(QStringLiteral("Получение списка файлов (объект 412): OK")));
    EXPECT_THAT(log, ::testing::Contains(
                         QStringLiteral("Загрузка файла 412\\20140315.dat: обработка... ОК")));
    EXPECT_EQ(log.last(), QStringLiteral("Докачка данных завершена")) << r;
    QFile stored(programDir + QStringLiteral("data/412/20140315.dat")), sent(file);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly) && sent.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), sent.readAll());
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = 412")),
              QStringLiteral("19"));
    EXPECT_TRUE(QFile::exists(programDir + QStringLiteral("coord/412/20140315.dat")));

    // The next day cannot be unpacked: the run ends with the error mark.
    r = run({QStringLiteral("download"), QStringLiteral("--object"), QStringLiteral("412"),
             QStringLiteral("--from"), QStringLiteral("2014-03-16"), QStringLiteral("--to"),
             QStringLiteral("2014-03-16"), QStringLiteral("--ftp")});
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_THAT(r.err.toStdString(),
                ::testing::HasSubstr("Загрузка файла 412\\20140316.dat: ошибка 2 - "));
    EXPECT_EQ(lines(r.err).last(),
              QStringLiteral("zarnex-cli: the download ended with errors (see the log above)"));
    EXPECT_FALSE(QFile::exists(programDir + QStringLiteral("data/412/20140316.dat")));

    for (const QStringList &bad :
         {QStringList{QStringLiteral("download"), QStringLiteral("--all"),
                      QStringLiteral("--object"), QStringLiteral("412"), QStringLiteral("--from"),
                      QStringLiteral("2014-03-16"), QStringLiteral("--to"),
                      QStringLiteral("2014-03-16")},
          QStringList{QStringLiteral("download"), QStringLiteral("--all"), QStringLiteral("--from"),
                      QStringLiteral("2014-03-16"), QStringLiteral("--to"),
                      QStringLiteral("2014-03-15")}})
        EXPECT_EQ(run(bad).code, 2) << bad.join(' ').toStdString();
}

} // namespace

TEST_F(CliTest, ObjectImportKeepsPlaceMarkersInTheNames) {
    // Object-settings files are Windows-1251.
    const QString oni = dir + QStringLiteral("marks.oni");
    QFile f(oni);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(cp1251::encode(QStringLiteral("[Object]\r\nID=57\r\nName=Кран %1 и %2\r\n"
                                          "Shortname=К%2\r\nDesc=100% дизель, О'Брайен\r\n")));
    f.close();
    const TRun r = withSettings({QStringLiteral("object"), QStringLiteral("import"), oni});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(scalar(QStringLiteral("SELECT OBJ_NAME || '|' || OBJ_SHORTNAME || '|' || OBJ_DESC "
                                    "FROM OBJECTS WHERE OBJ_NUMBER = 57")),
              QStringLiteral("Кран %1 и %2|К%2|100% дизель, О'Брайен"));
}

namespace {
// Every file below a folder with its bytes, by its path inside the folder.
std::map<QString, QByteArray> filesBelow(const QString &folder) {
    std::map<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            out[QDir(folder).relativeFilePath(path)] = f.readAll();
    }
    return out;
}
} // namespace

// The batch front end and the window run the same import and the same download: the same rows,
// the same stored day files and the same track files.
TEST_F(CliTrackTest, TheCliAndTheWindowImportAndDownloadAlike) {
    TSimProcess sim({"--ftp-port", "0", "--archive-days", "1", "--packet-interval", "60"});
    ASSERT_TRUE(sim.ok());
    ASSERT_TRUE(waitUntil([&] { return !sim.find("archive ftp").isEmpty(); }, 10000));
    const QString ftpPort =
        QRegularExpression(":(\\d+) ").match(sim.find("archive ftp")).captured(1);
    exec(QStringLiteral("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (2001, 'Маневровый')"));
    writeFile(settings, QStringLiteral("[DataBase]\r\nDBServ=localhost\r\nDBPath=%1\r\nDBLogin="
                                       "SYSDBA\r\nDBPass=%2\r\n[AppServer]\r\nAppIP=127.0.0.1\r\n"
                                       "AppPort=%3\r\nAppLogin=demo\r\nAppPass=demo\r\nFTPPort=%4"
                                       "\r\n")
                            .arg(dbPath, dbtest::password(), sim.port(), ftpPort));
    const QString file = dataFile(QStringLiteral("in/20140315.dat"));
    const QDate today = QDate::currentDate();
    const QString rows = QStringLiteral(
        "SELECT LIST(R, ';') FROM (SELECT INS_NUMBER || ' ' || INS_PACKTIME || ' ' || "
        "COALESCE(INS_FUELLEVEL, -1) || ' ' || COALESCE(INS_BOARDVOLTAGE, -1) || ' ' || "
        "COALESCE(INS_ALERTBTN, -1) AS R FROM INPUTSIGNALS ORDER BY INS_NUMBER, INS_PACKTIME)");

    // The batch front end, from its copy in the test's folder.
    TRun r =
        run({QStringLiteral("import"), QStringLiteral("--object"), QStringLiteral("412"), file});
    ASSERT_EQ(r.code, 0) << r;
    r = run({QStringLiteral("download"), QStringLiteral("--all"), QStringLiteral("--from"),
             today.addDays(-1).toString(Qt::ISODate), QStringLiteral("--to"),
             today.toString(Qt::ISODate)});
    ASSERT_EQ(r.code, 0) << r;
    const QString cliRows = scalar(rows);
    const auto cliData = filesBelow(programDir + QStringLiteral("data"));
    const auto cliTracks = filesBelow(programDir + QStringLiteral("coord"));
    ASSERT_GE(cliData.size(), 2u);
    ASSERT_GE(cliTracks.size(), 3u);
    exec(QStringLiteral("DELETE FROM INPUTSIGNALS"));

    // The window's commands through the session, in a program folder of their own.
    const QString windowDir = dir + QStringLiteral("window/");
    const TFolders f = ComputeFolders(windowDir + QStringLiteral("zarnex-client"));
    SetFolders(f);
    TOptions options = options::Defaults(f);
    options.DBServ = QStringLiteral("localhost");
    options.DBPath = dbPath;
    options.DBPass = dbtest::password();
    options.AppServer = QStringLiteral("127.0.0.1");
    options.AppPort = sim.port().toInt();
    options.AppLogin = options.AppPass = QStringLiteral("demo");
    options.FtpPort = ftpPort.toInt();
    TScriptedDialogs dialogs;
    {
        TClientSession s(options, dialogs);
        s.database().connectDatabase();
        ASSERT_TRUE(s.database().connected());
        QSignalSpy finished(&s.runner(), &TRunner::finished);
        dialogs.files = {{file}};
        dialogs.texts = {QStringLiteral("412")};
        s.runs().miImportFilesClick();
        ASSERT_TRUE(finished.wait(30000));
        s.runs().downloadDays(0, today.addDays(-1), today);
        ASSERT_TRUE(finished.wait(60000));
        EXPECT_FALSE(s.runs().downloadFailed());
        s.database().disconnectDatabase();
    }
    EXPECT_EQ(scalar(rows), cliRows);
    EXPECT_EQ(filesBelow(f.DataDir), cliData);
    EXPECT_EQ(filesBelow(f.CoordCacheDir), cliTracks);
}
