#include "DbTestEnv.h"

#include "app/Folders.h"
#include "app/SqlLiteral.h"
#include "db/Database.h"
#include "db/DatabaseUpdate.h"
#include "db/SqlScript.h"

using namespace db;

TEST(SqlScript, SplitsAtTerminatorsOutsideQuotesAndCommentsAndHonoursSetTerm) {
    TSqlScript s("-- leading comment; not a statement\n"
                 "create table A (X varchar(20)); /* block; comment */\n"
                 "insert into A values ('a;b''c'); insert into A values (\"X\");\n"
                 "set term ^ ;\n"
                 "create procedure P returns (R integer) as begin R = 1; suspend; end^\n"
                 "set term ; ^\n"
                 "select 1 from rdb$database;");
    ASSERT_TRUE(s.validate()) << s.errorText().toStdString();
    ASSERT_EQ(s.statements().size(), 5);
    EXPECT_EQ(s.statements()[0], "create table A (X varchar(20))");
    EXPECT_EQ(s.statements()[1], "insert into A values ('a;b''c')");
    EXPECT_EQ(s.statements()[2], "insert into A values (\"X\")");
    EXPECT_EQ(s.statements()[3],
              "create procedure P returns (R integer) as begin R = 1; suspend; end");
    EXPECT_EQ(s.statements()[4], "select 1 from rdb$database");
}

TEST(SqlScript, ValidateRejectsUnclosedTextAndMissingTerminator) {
    const struct {
        const char *text;
        int line;
    } cases[] = {
        {"select 1 from rdb$database;\ninsert into A values ('open);", 2},
        {"select 1 from rdb$database;\n/* never closed;", 2},
        {"select 1 from rdb$database;\n\nselect 2 from rdb$database", 3},
        {"set term ^ ;\ncreate procedure P as begin end;\n", 2}, // ";" no longer ends it
    };
    for (const auto &c : cases) {
        TSqlScript s(QString::fromUtf8(c.text));
        EXPECT_FALSE(s.validate()) << c.text;
        EXPECT_EQ(s.errorLine(), c.line) << c.text;
        EXPECT_TRUE(s.statements().isEmpty());
    }
}

TEST(UpdateScript, PartsAndDirectivesAroundTheMarker) {
    const QStringList lines = {
        "create table A (X integer);",
        "/*",
        "-- INSERT DATA HERE",
        "  -- ignoretable SYS  ",
        "-- skiptable INPUTSIGNALS",
        "-- insert end",
        "-- skiptable COORDINATS",
        "*/",
        "alter table A add constraint PK_A primary key (X);",
        "-- skiptable NOT_A_DIRECTIVE_ANY_MORE",
    };
    const TUpdateScript s = TUpdateScript::parse(lines);
    EXPECT_TRUE(s.hasMarker);
    EXPECT_EQ(s.part1, QStringList{"create table A (X integer);"});
    EXPECT_EQ(s.part2, (QStringList{"alter table A add constraint PK_A primary key (X);",
                                    "-- skiptable NOT_A_DIRECTIVE_ANY_MORE"}));
    EXPECT_EQ(s.tablesToSkip(false), QStringList{"SYS"});
    EXPECT_EQ(s.tablesToSkip(true), (QStringList{"SYS", "INPUTSIGNALS", "COORDINATS"}));
}

TEST(UpdateScript, WithoutMarkerEverythingIsPartOneAndNothingIsDropped) {
    const QStringList lines = {"create table A (X integer);", "create table B (Y integer);"};
    const TUpdateScript s = TUpdateScript::parse(lines);
    EXPECT_FALSE(s.hasMarker);
    EXPECT_EQ(s.part1, lines);
    EXPECT_TRUE(s.part2.isEmpty());
}

TEST(SqlScript, RunsAgainstTheServerWithDdlVisibleToLaterStatements) {
    REQUIRE_FIREBIRD_SERVER();
    dbtest::TempDatabase t("script");
    TSqlScript s("set sql dialect 3;\n"
                 "create table A (X integer, S varchar(20));\n"
                 "insert into A values (1, 'it''s');\n"
                 "set term !! ;\n"
                 "create procedure P returns (R integer) as begin\n"
                 "  select count(*) from A into :R; -- one row\n"
                 "  suspend;\n"
                 "end!!\n"
                 "set term ; !!\n"
                 "commit work;\n"
                 "insert into A select R + 1, 'via P' from P;\n");
    TTransaction tr(t.db, TTransactionKind::Write);
    tr.start();
    s.run(tr);
    tr.commit();
    EXPECT_EQ(selectValue(t.db, "select sum(X) from A").toInt(), 3);
    EXPECT_EQ(selectValue(t.db, "select S from A where X = 1").toString(), "it's");
}

TEST(SqlScript, AFailingStatementReportsTheServerTextAndTheStatement) {
    REQUIRE_FIREBIRD_SERVER();
    dbtest::TempDatabase t("scripterr");
    TSqlScript s("create table A (X integer);\ninsert into MISSING values (1);\n");
    TTransaction tr(t.db, TTransactionKind::Write);
    tr.start();
    try {
        s.run(tr);
        FAIL() << "no error";
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.text().contains("MISSING")) << e.text().toStdString();
        EXPECT_TRUE(e.text().endsWith("insert into MISSING values (1)"));
    }
}

TEST(UpdateScript, TheShippedScriptBuildsVersionTwoWithItsCatalogue) {
    REQUIRE_FIREBIRD_SERVER();
    dbtest::TempDatabase t("shipped");
    BuildFromUpdateScript(t.db, ZARNEX_SOURCE_DIR "/update/UPDB.sql");
    EXPECT_EQ(selectValue(t.db, "select LAST_VERSION from SYS").toInt(), CurrentDbVersion);
    // Every name the state grid and the default data-grid set know is in the catalogue.
    for (const char *name : {"подключение",
                             "наименование объекта",
                             "дата\\время",
                             "тревожная кнопка",
                             "режим предупреждения",
                             "дизель локомотива",
                             "движение локомотива",
                             "отказ автомата защиты 65 вольт",
                             "время горения котла 1",
                             "датчик уровня топлива мв",
                             "время горения котла 2",
                             "напряжение на АБ меньше минимального порога",
                             "текущая скорость",
                             "широта",
                             "долгота",
                             "метка",
                             "температура",
                             "подогреватель 1",
                             "напряжение на АБ системы менее 21.8 вольт",
                             "автомат пульта"}) {
        EXPECT_EQ(selectValue(t.db, QString("select count(*) from PARAMS where PRM_NAME = %1")
                                        .arg(sql::quote(QString::fromUtf8(name))))
                      .toInt(),
                  1)
            << name;
    }
    // Each INS_ column named by the catalogue exists, and so does the OUT_ column of
    // PROC_GETOBJSOSTDIF with the same suffix.
    TTransaction tr(t.db, TTransactionKind::Read);
    tr.start();
    TQuery ins(tr, "select first 0 * from INPUTSIGNALS");
    ins.open();
    TQuery dif(tr, "select first 0 * from PROC_GETOBJSOSTDIF(current_timestamp, "
                   "current_timestamp, 0.1, 1)");
    dif.open();
    TQuery prm(tr, "select distinct PRM_INPSTBLNAME from PARAMS where PRM_INPSTBLNAME <> '0'");
    prm.open();
    int n = 0;
    while (prm.next()) {
        const QString col = prm.field(0).asString();
        EXPECT_GE(ins.fieldIndex(col), 0) << col.toStdString();
        EXPECT_GE(dif.fieldIndex("OUT_" + col.mid(4)), 0) << col.toStdString();
        ++n;
    }
    EXPECT_GE(n, 9);
    // The report procedures return a column for every CALCPARAMS row.
    TQuery calc(tr, "select first 0 * from PROC_CALCPARAMS(current_timestamp, current_timestamp, "
                    "0.1, 1)");
    calc.open();
    TQuery sum(tr, "select * from PROC_CALCSUMOBJPARAMS(0.5, current_timestamp, "
                   "current_timestamp, 1)");
    sum.open();
    TQuery cp(tr, "select PR_NAME, PR_CAPTION from CALCPARAMS");
    cp.open();
    QStringList captions;
    while (cp.next()) {
        const QString name = cp.field("PR_NAME").asString();
        captions << cp.field("PR_CAPTION").asString();
        EXPECT_GE(calc.fieldIndex(name), 0) << name.toStdString();
        if (name != "PAR_DATE")
            EXPECT_GE(sum.fieldIndex("ACC_" + name.mid(4)), 0) << name.toStdString();
    }
    EXPECT_TRUE(captions.contains("Дата"));
    EXPECT_TRUE(captions.contains("Номер;объекта"));
    EXPECT_GE(calc.fieldIndex("ACC_GENTIME"), 0);
}
