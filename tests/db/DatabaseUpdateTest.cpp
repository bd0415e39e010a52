#include "DbTestEnv.h"

#include <QFile>
#include <QFileInfo>

#include "app/Folders.h"
#include "app/Options.h"
#include "common/ScriptedDialogs.h"
#include "db/Database.h"
#include "db/DatabaseUpdate.h"
#include "db/SqlScript.h"

using namespace db;

namespace {

const QString ShippedScript = QStringLiteral(ZARNEX_SOURCE_DIR "/update/UPDB.sql");

QString writeScript(const QString &name, const QString &text) {
    const QString path = dbtest::scratchDir() + name + ".sql";
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text.toUtf8());
    return path;
}

void runSql(TDatabase &d, const QString &text) {
    TSqlScript s(text);
    TTransaction tr(d, TTransactionKind::Write);
    tr.start();
    s.run(tr);
    tr.commit();
}

// An old database in the scratch folder under the name the pinned clock would give the copy,
// so the update has to find another name.
class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!dbtest::serverListening())
            GTEST_FAIL() << "Firebird server is not listening on 127.0.0.1:3050 "
                            "(start it with scripts/firebird.sh start)";
        static int n = 0;
        time = QTime(10, 10, 0).addSecs(++n * 7);
        stem = "ZARNEXLDB" + time.toString("HHmmss");
        old = std::make_unique<dbtest::TempDatabase>(stem + ".FDB");
        options.DBServ = "localhost";
        options.DBPath = old->path;
        options.DBLogin = "SYSDBA";
        options.DBPass = dbtest::password();
    }
    void TearDown() override {
        main.forceClose();
        for (const QString &p : {updater ? updater->lastNewDatabasePath() : QString()}) {
            if (p.isEmpty() || p == old->path)
                continue;
            try {
                TDatabase d;
                d.open("localhost:" + p, "SYSDBA", dbtest::password());
                d.drop();
            } catch (...) {
            }
            QFile::remove(p);
        }
    }

    TDatabaseUpdater &makeUpdater() {
        updater = std::make_unique<TDatabaseUpdater>(options, dialogs, main);
        updater->clock = [this] { return time; };
        QObject::connect(updater.get(), &TDatabaseUpdater::saveSettingsRequested,
                         [this] { ++saves; });
        QObject::connect(updater.get(), &TDatabaseUpdater::disconnectMainRequested, [this] {
            ++disconnects;
            main.forceClose();
        });
        return *updater;
    }
    int countIn(const QString &path, const QString &sql) {
        TDatabase d;
        d.open("localhost:" + path, "SYSDBA", dbtest::password());
        return selectValue(d, sql).toInt();
    }

    QTime time;
    QString stem;
    std::unique_ptr<dbtest::TempDatabase> old;
    TOptions options;
    TScriptedDialogs dialogs;
    TDatabase main;
    std::unique_ptr<TDatabaseUpdater> updater;
    int saves = 0;
    int disconnects = 0;
};

} // namespace

TEST_F(UpdateTest, CopiesEveryTableUnchangedAndSwitchesTheSettingsToTheNewFile) {
    BuildFromUpdateScript(old->db, ShippedScript);
    runSql(old->db,
           "update SYS set LAST_VERSION = 1;\n"
           "insert into OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_DESC, OBJ_TANKVOLUME, OBJ_LAT, "
           "  OBJ_PACKTIME) values (7, 'О''Брайен; \"тепловоз\"', NULL, 850.5, 3307.12, "
           "  '10.12.2026 15:30:12.345');\n"
           "insert into GROUPS values ('{A}', NULL, 'it''s top');\n"
           "insert into GROUPS values ('{B}', '{A}', '');\n"
           "update PARAMS set PRM_CAPTION = 'Моя подпись' where PRM_NAME = 'подключение';\n"
           "insert into DRAIN_RULES values (7, 35, NULL, 3);\n"
           "insert into DRAIN_ALERTS (DRN_ID, DRN_OBJECT, DRN_BEGIN, DRN_LEVEL_BEFORE, "
           "  DRN_LEVEL_AFTER) values (41, 7, '10.12.2026 03:00:10', 200, 160);\n"
           "set term ^ ;\n"
           "execute block as declare i integer = 0; begin\n"
           "  while (i < 1200) do begin\n"
           "    insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_FUELLEVEL)\n"
           "      values (7, dateadd(:i second to timestamp '2026-12-10 00:00:00'), :i);\n"
           "    i = i + 1; end end^\n"
           "set term ; ^\n");
    // A stale copy with the name the update will pick is found and dropped first.
    const QString expected = dbtest::scratchDir() + stem + "_1.FDB";
    {
        TDatabase stale;
        QFile::remove(expected);
        stale.create("localhost:" + expected, "SYSDBA", dbtest::password());
        stale.execute("create table STALE (X integer)");
    }

    TDatabaseUpdater &u = makeUpdater();
    ASSERT_TRUE(u.runHere(ShippedScript, false));
    EXPECT_TRUE(dialogs.calls.empty());
    // The database in use is never the copy, and it stays as it was.
    EXPECT_EQ(u.lastNewDatabasePath(), expected);
    EXPECT_EQ(options.DBPath, expected);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(countIn(old->path, "select LAST_VERSION from SYS"), 1);

    const QStringList &log = u.log();
    const QString shown = "\"" + expected + "\"";
    for (const QString &line :
         {"Создание копии базы данных localhost:" + old->path + "...",
          "Файл копии БД с именем " + shown + " уже существует. Очистка БД...",
          "Создание копии БД " + shown + ": Выполнено",
          "Выполняем скрипт \"" + ShippedScript + "\".", QString("Будут пропущены таблицы: SYS"),
          QString("Подтверждение после копирования 1000 записей."),
          QString("Скрипт выполнен. Создана структура БД (таблицы)."),
          QString("Пропускаем копирование таблицы SYS"),
          QString("Выполняется копирование таблицы INPUTSIGNALS"),
          QString("  1000 записей таблицы INPUTSIGNALS скопировано"),
          QString("  1200 записей таблицы INPUTSIGNALS скопировано"),
          QString("  ...завершено (INPUTSIGNALS)"),
          QString("Настройка связей между таблицами, создание триггеров"),
          QString("  Завершено..."), QString("Копирование базы данных успешно завершено!")})
        EXPECT_TRUE(log.contains(line)) << line.toStdString();
    EXPECT_EQ(log.first(), "Создание копии базы данных localhost:" + old->path + "...");
    EXPECT_EQ(log.last(), "Операция завершена.");

    TDatabase n;
    n.open("localhost:" + expected, "SYSDBA", dbtest::password());
    EXPECT_EQ(selectValue(n, "select LAST_VERSION from SYS").toInt(), CurrentDbVersion);
    // The drains came along, and new ones are numbered after them.
    EXPECT_EQ(selectValue(n, "select cast(DR_LITRES as integer) || '/' || "
                             "coalesce(DR_WINDOW, '-') || '/' || DR_MEDIAN from DRAIN_RULES "
                             "where DR_OBJECT = 7")
                  .toString(),
              "35/-/3");
    EXPECT_EQ(selectValue(n, "select count(*) from DRAIN_ALERTS where DRN_ID = 41").toInt(), 1);
    EXPECT_GT(selectValue(n, "select gen_id(GEN_DRAIN_ALERTS, 1) from RDB$DATABASE").toInt(), 41);
    EXPECT_EQ(selectValue(n, "select count(*) from RDB$RELATIONS where RDB$RELATION_NAME = "
                             "'STALE'")
                  .toInt(),
              0);
    TTransaction tr(n, TTransactionKind::Read);
    tr.start();
    TQuery q(tr, "select * from OBJECTS");
    q.open();
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.field("OBJ_NAME").asString(), "О'Брайен; \"тепловоз\"");
    EXPECT_TRUE(q.field("OBJ_DESC").isNull());
    EXPECT_TRUE(q.field("OBJ_SHORTNAME").isNull());
    EXPECT_DOUBLE_EQ(q.field("OBJ_TANKVOLUME").asDouble(), 850.5);
    EXPECT_DOUBLE_EQ(q.field("OBJ_LAT").asDouble(), 3307.12);
    EXPECT_EQ(dt::formatDateTime("dd.mm.yyyy hh:nn:ss.zzz", q.field("OBJ_PACKTIME").asDateTime()),
              "10.12.2026 15:30:12.345");
    q.close();
    TQuery g(tr, "select GRP_ID, GRP_MASTERID, GRP_NAME from GROUPS order by GRP_ID");
    g.open();
    ASSERT_TRUE(g.next());
    EXPECT_TRUE(g.field("GRP_MASTERID").isNull());
    EXPECT_EQ(g.field("GRP_NAME").asString(), "it's top");
    ASSERT_TRUE(g.next());
    EXPECT_EQ(g.field("GRP_MASTERID").asString(), "{A}");
    EXPECT_FALSE(g.field("GRP_NAME").isNull()); // an empty text stays empty, not NULL
    g.close();
    tr.commit();
    EXPECT_EQ(selectValue(n, "select count(*) from INPUTSIGNALS").toInt(), 1200);
    EXPECT_EQ(selectValue(n, "select sum(INS_FUELLEVEL) from INPUTSIGNALS").toLongLong(),
              1199LL * 1200 / 2);
    // The user's catalogue rows were copied and the shipped ones not added twice.
    EXPECT_EQ(
        selectValue(n, "select PRM_CAPTION from PARAMS where PRM_NAME = 'подключение'").toString(),
        "Моя подпись");
    EXPECT_EQ(selectValue(n, "select count(*) from PARAMS").toInt(),
              countIn(old->path, "select count(*) from PARAMS"));
}

// The structure before the drains: their tables are new and have nothing to copy; the update
// asks nothing and the registry comes across whole.
TEST_F(UpdateTest, ThePreviousStructureUpdatesWithoutAQuestion) {
    BuildFromUpdateScript(old->db, ShippedScript);
    runSql(old->db, "drop table DRAIN_ALERTS;\n"
                    "drop table DRAIN_RULES;\n"
                    "update SYS set LAST_VERSION = 2;\n"
                    "insert into OBJECTS (OBJ_NUMBER, OBJ_NAME) values (2005, 'Кран');\n");
    TDatabaseUpdater &u = makeUpdater();
    ASSERT_TRUE(u.runHere(ShippedScript, false));
    EXPECT_TRUE(dialogs.calls.empty()) << dialogs.calls.front().text.toStdString();
    EXPECT_TRUE(u.log().contains("  таблица DRAIN_ALERTS не содержит данных"));
    EXPECT_TRUE(u.log().contains("  таблица DRAIN_RULES не содержит данных"));
    EXPECT_EQ(countIn(options.DBPath, "select count(*) from OBJECTS where OBJ_NUMBER = 2005"), 1);
    EXPECT_EQ(countIn(options.DBPath, "select count(*) from DRAIN_ALERTS"), 0);
    EXPECT_EQ(countIn(options.DBPath, "select LAST_VERSION from SYS"), CurrentDbVersion);
}

TEST_F(UpdateTest, HistoryIsLeftBehindOnlyWhenAsked) {
    BuildFromUpdateScript(old->db, ShippedScript);
    runSql(old->db, "insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME) values (1, "
                    "'10.12.2026 10:00:00');\n"
                    "insert into COORDINATS values (1, '10.12.2026 10:00:00', 1, 2);\n"
                    "insert into FUEL_POINTS values (1, 100, 10, 1);\n");
    TDatabaseUpdater &u = makeUpdater();
    ASSERT_TRUE(u.runHere(ShippedScript, true));
    EXPECT_TRUE(u.log().contains("Будут пропущены таблицы: SYS,INPUTSIGNALS,COORDINATS"));
    EXPECT_TRUE(u.log().contains("Пропускаем копирование таблицы INPUTSIGNALS"));
    EXPECT_TRUE(u.log().contains("Пропускаем копирование таблицы COORDINATS"));
    EXPECT_EQ(countIn(options.DBPath, "select count(*) from INPUTSIGNALS"), 0);
    EXPECT_EQ(countIn(options.DBPath, "select count(*) from COORDINATS"), 0);
    EXPECT_EQ(countIn(options.DBPath, "select count(*) from FUEL_POINTS"), 1);
}

TEST_F(UpdateTest, ANewColumnTheOldTableLacksAsksAboutTheTable) {
    const QString script =
        writeScript("newcol", "create table T (A integer, B varchar(10), NEWCOL integer);\n"
                              "create table U (X integer);\n"
                              "/*\n-- insert data here\n*/\n"
                              "create table SYS (LAST_VERSION integer);\n");
    runSql(old->db, "create table T (A integer, B varchar(10));\n"
                    "create table U (X integer);\n"
                    "insert into T values (1, 'x');\n"
                    "insert into U values (5);\n");
    for (const TMsgButton answer : {mbYes, mbNo}) {
        SCOPED_TRACE(answer == mbYes ? "Yes" : "No");
        const QString before = options.DBPath;
        TScriptedDialogs d;
        d.answers.push_back(answer);
        updater = std::make_unique<TDatabaseUpdater>(options, d, main);
        updater->clock = [this, answer] { return time.addSecs(answer == mbYes ? 0 : 1); };
        QObject::connect(updater.get(), &TDatabaseUpdater::disconnectMainRequested,
                         [this] { main.forceClose(); });
        const bool ok = updater->runHere(script, false);
        ASSERT_EQ(d.calls.size(), 1u);
        EXPECT_EQ(d.calls[0].caption, "Ошибка копирования таблицы");
        EXPECT_TRUE(d.calls[0].text.startsWith("При копирования таблицы БД произошла ошибка.\r\n"));
        EXPECT_TRUE(d.calls[0].text.endsWith(
            "Данная таблица будет содержать неполную информацию, но копирование можно "
            "продолжить.\r\nПродолжить?"));
        const QString copy = updater->lastNewDatabasePath();
        if (answer == mbYes) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(options.DBPath, copy);
            EXPECT_EQ(countIn(copy, "select count(*) from T"), 0); // left empty
            EXPECT_EQ(countIn(copy, "select count(*) from U"), 1); // and the copy went on
            options.DBPath = before;
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(options.DBPath, before);
            EXPECT_TRUE(updater->log().contains("Ошибка копирования таблицы. Операция отменена!"));
            EXPECT_FALSE(updater->log().contains("Операция завершена."));
        }
        TDatabase c;
        c.open("localhost:" + copy, "SYSDBA", dbtest::password());
        c.drop();
    }
}

TEST_F(UpdateTest, CancelDuringTheCopyRollsBackTheBlockAndKeepsTheSettings) {
    BuildFromUpdateScript(old->db, ShippedScript);
    runSql(old->db, "set term ^ ;\n"
                    "execute block as declare i integer = 0; begin\n"
                    "  while (i < 2500) do begin\n"
                    "    insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME)\n"
                    "      values (3, dateadd(:i second to timestamp '2026-12-10 00:00:00'));\n"
                    "    i = i + 1; end end^\n"
                    "set term ; ^\n");
    const TOptions before = options;
    TDatabaseUpdater &u = makeUpdater();
    // The run pauses after each committed block of 1000: the user presses "Отменить" at the
    // second pause.
    TRunTask run = u.run(ShippedScript, false);
    int blocks = 0;
    while (run.resume())
        if (++blocks == 2)
            u.cancel();
    EXPECT_FALSE(u.switched());
    EXPECT_TRUE(u.wasCancelled());
    EXPECT_TRUE(u.log().contains("...отменено"));
    EXPECT_EQ(u.log().last(), "Операция отменена пользователем. Копирование не завершено.");
    EXPECT_EQ(options.DBPath, before.DBPath);
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(disconnects, 0); // a cancelled run leaves the main connection as it was
    // The blocks committed before the cancel stay; nothing after it is copied, and the rest of
    // the structure is not built.
    EXPECT_EQ(countIn(u.lastNewDatabasePath(), "select count(*) from INPUTSIGNALS"), 2000);
    EXPECT_FALSE(u.log().contains("Выполняется копирование таблицы OBJECTS"));
    EXPECT_FALSE(u.log().contains("Настройка связей между таблицами, создание триггеров"));
    EXPECT_EQ(countIn(u.lastNewDatabasePath(), "select count(*) from PARAMS"), 0);
}

TEST_F(UpdateTest, AFailingSecondPartIsAFailedRunAndTheCopyIsFlagged) {
    const QString script =
        writeScript("badpart2", "create table T (A integer);\n/*\n-- insert data here\n*/\n"
                                "alter table T add constraint PK_T primary key (A);\n");
    runSql(old->db, "create table T (A integer);\n"
                    "insert into T values (1);\ninsert into T values (1);\n");
    TDatabaseUpdater &u = makeUpdater();
    EXPECT_FALSE(u.runHere(script, false));
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].caption, "Ошибка копирования базы данных");
    EXPECT_EQ(dialogs.calls[0].icon, TMsgIcon::Error);
    EXPECT_TRUE(dialogs.calls[0].text.startsWith(
        "Произошла ошибка при настройке связей между таблицами: \r\n"));
    EXPECT_TRUE(
        dialogs.calls[0].text.endsWith("\r\n!ЭТУ КОПИЮ БАЗЫ ДАННЫХ ЛУЧШЕ НЕ ИСПОЛЬЗОВАТЬ!"));
    EXPECT_TRUE(u.log().contains("Ошибка при выполнении скрипта:"));
    EXPECT_EQ(options.DBPath, old->path); // the settings stay on the database in use
    EXPECT_EQ(saves, 0);
}

TEST(UpdateName, NeverTheDatabaseInUse) {
    TOptions o;
    o.DBPath = "/data/db/ZARNEXLDB153012.FDB";
    TScriptedDialogs d;
    TDatabase m;
    TDatabaseUpdater u(o, d, m);
    EXPECT_EQ(u.newDatabasePath(QTime(15, 30, 13)), "/data/db/ZARNEXLDB153013.FDB");
    EXPECT_EQ(u.newDatabasePath(QTime(15, 30, 12)), "/data/db/ZARNEXLDB153012_1.FDB");
    o.DBPath = "/data/db/../db/ZARNEXLDB153012_1.FDB";
    EXPECT_EQ(u.newDatabasePath(QTime(15, 30, 12)), "/data/db/ZARNEXLDB153012.FDB");
}
