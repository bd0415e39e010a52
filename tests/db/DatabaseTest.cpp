#include "DbTestEnv.h"

#include "app/DateUtils.h"
#include "db/Database.h"
#include "db/SqlScript.h"

using namespace db;

TEST(DatabaseLayer, TransactionKindsCarryTheirParametersInOrder) {
    const auto tags = [](TTransactionKind k) {
        const QByteArray b = transactionParameters(k);
        std::vector<int> v;
        for (char c : b)
            v.push_back(int(static_cast<unsigned char>(c)));
        return v;
    };
    EXPECT_EQ(tags(TTransactionKind::Write), (std::vector<int>{3, 2, 7}));
    EXPECT_EQ(tags(TTransactionKind::WriteFlag), (std::vector<int>{3, 9, 2, 7}));
    EXPECT_EQ(tags(TTransactionKind::CommittedReadWrite), (std::vector<int>{3, 9, 6, 15}));
    EXPECT_EQ(tags(TTransactionKind::SnapshotRead), (std::vector<int>{3, 8, 1, 6}));
    EXPECT_EQ(tags(TTransactionKind::Read), (std::vector<int>{3, 8, 2}));
    EXPECT_EQ(tags(TTransactionKind::ReadCommitted), (std::vector<int>{3, 8, 15, 17, 7}));
    EXPECT_EQ(tags(TTransactionKind::Editing), (std::vector<int>{3, 15, 17, 7}));
}

TEST(DatabaseLayer, NameIsServerColonPathOrPathAloneForTheEmbeddedEngine) {
    EXPECT_EQ(databaseName("localhost", "/data/A.FDB"), "localhost:/data/A.FDB");
    EXPECT_EQ(databaseName("", "/data/A.FDB"), "/data/A.FDB");
}

TEST(DatabaseLayer, WrongPasswordGivesTheLoginCode) {
    REQUIRE_FIREBIRD_SERVER();
    dbtest::TempDatabase t("wrongpass");
    TDatabase d;
    try {
        d.open(t.name(), "SYSDBA", "not-the-password");
        FAIL() << "opened with a wrong password";
    } catch (const EDatabaseError &e) {
        EXPECT_EQ(e.code(), isc_login_failed);
        EXPECT_TRUE(e.text().contains("Your user name and password are not defined"))
            << e.text().toStdString();
    }
    EXPECT_FALSE(d.isOpen());
}

TEST(DatabaseLayer, ValuesRoundTripThroughBoundParametersAndLiterals) {
    REQUIRE_FIREBIRD_SERVER();
    dbtest::TempDatabase t("types");
    TDatabase &d = t.db;
    d.execute("create table T (I integer, S smallint, B bigint, N numeric(10,2), F float, "
              "D double precision, TS timestamp, V varchar(50), C char(6), M blob sub_type text)");
    const TDateTime when = dt::encode(2026, 12, 10, 15, 30, 12, 123);
    {
        TTransaction tr(d, TTransactionKind::Write);
        tr.start();
        TQuery q(tr, "insert into T values (:i, :s, :b, :n, :f, :d, :ts, :v, :c, :m)");
        q.setParam("i", 42);
        q.setParam("s", -7);
        q.setParam("b", qint64(1) << 40);
        q.setParam("n", 3307.125);
        q.setParam("f", 1.5);
        q.setParam("d", 2.25);
        q.setParam("ts", TParam::timestamp(when));
        q.setParam("v", QString("О'Брайен \"ё\""));
        q.setParam("c", "ab");
        q.setParam("m", QString("длинный текст ").repeated(1000));
        q.execute();
        EXPECT_EQ(q.rowsAffected(), 1u);
        // Every column NULL
        q.clearParams();
        q.execute();
        tr.commit();
    }
    TTransaction tr(d, TTransactionKind::Read);
    tr.start();
    TQuery q(tr, "select * from T order by i nulls last");
    q.open();
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.field("i").asInteger(), 42);
    EXPECT_EQ(q.field("S").asInteger(), -7);
    EXPECT_EQ(q.field("b").asInt64(), qint64(1) << 40);
    EXPECT_DOUBLE_EQ(q.field("n").asDouble(), 3307.13); // numeric(10,2) rounds half away
    EXPECT_EQ(q.field("n").asString(), "3307,13");      // the platform's separator
    EXPECT_DOUBLE_EQ(q.field("f").asDouble(), 1.5);
    EXPECT_DOUBLE_EQ(q.field("d").asDouble(), 2.25);
    EXPECT_NEAR(q.field("ts").asDateTime(), when, 0.5 / dt::MsPerDay);
    EXPECT_EQ(q.field("ts").asString(), "10.12.2026 15:30:12");
    EXPECT_EQ(q.field("v").asString(), QString("О'Брайен \"ё\""));
    EXPECT_EQ(q.field("c").asString(), "ab"); // CHAR padding removed
    EXPECT_EQ(q.field("m").asString(), QString("длинный текст ").repeated(1000));
    EXPECT_TRUE(q.columns()[q.fieldIndex("v")].isText());
    EXPECT_TRUE(q.columns()[q.fieldIndex("d")].isFloating());
    EXPECT_TRUE(q.columns()[q.fieldIndex("ts")].isTimestamp());
    ASSERT_TRUE(q.next());
    for (int i = 0; i < q.fieldCount(); ++i)
        EXPECT_TRUE(q.field(i).isNull()) << i;
    EXPECT_EQ(q.field("v").asString(), QString());
    EXPECT_EQ(q.field("i").asInteger(), 0);
    EXPECT_FALSE(q.next());
    EXPECT_THROW(q.field("NO_SUCH"), EDatabaseError);
    q.close();
    tr.commit();

    // A whole number bound to a numeric column keeps its value (the column's scale belongs to
    // the column, not to the bound integer).
    TTransaction w(d, TTransactionKind::Write);
    w.start();
    TQuery ins(w, "insert into T (I, N) values (:i, :n)");
    ins.setParam("i", 900);
    ins.setParam("n", 900);
    ins.execute();
    w.commit();
    EXPECT_EQ(selectValue(d, "select N from T where I = 900").toDouble(), 900.0);
}

TEST(DatabaseLayer, RollbackRetainingUndoesAndCommitRetainingKeeps) {
    REQUIRE_FIREBIRD_SERVER();
    dbtest::TempDatabase t("retaining");
    TDatabase &d = t.db;
    d.execute("create table T (I integer)");
    TTransaction tr(d, TTransactionKind::Write);
    tr.start();
    TQuery ins(tr, "insert into T values (?)");
    ins.setParam(0, 1);
    ins.execute();
    tr.commitRetaining();
    ins.setParam(0, 2);
    ins.execute();
    tr.rollbackRetaining();
    EXPECT_TRUE(tr.isActive());
    tr.commit();
    EXPECT_EQ(selectValue(d, "select count(*) from T").toInt(), 1);
    EXPECT_EQ(selectValue(d, "select max(i) from T").toInt(), 1);
}

TEST(DatabaseLayer, AFailureCarriesTheServersCodeAndText) {
    REQUIRE_FIREBIRD_SERVER();
    dbtest::TempDatabase t("failure");
    try {
        t.db.execute("select * from NO_SUCH_TABLE");
        FAIL();
    } catch (const EDatabaseError &e) {
        EXPECT_EQ(e.code(), 335544569); // dynamic SQL error
        EXPECT_TRUE(e.text().contains("NO_SUCH_TABLE")) << e.text().toStdString();
    }
}

TEST(DatabaseLayer, CreateSetsPageSizeAndCharacterSetAndDropRemovesTheFile) {
    REQUIRE_FIREBIRD_SERVER();
    const QString path = dbtest::scratchDir() + "created.fdb";
    QFile::remove(path);
    TDatabase d;
    d.create("localhost:" + path, "SYSDBA", dbtest::password(), 16384);
    EXPECT_EQ(selectValue(d, "select MON$PAGE_SIZE from MON$DATABASE").toInt(), 16384);
    EXPECT_EQ(selectValue(d, "select trim(RDB$CHARACTER_SET_NAME) from RDB$DATABASE").toString(),
              "WIN1251");
    // Text in a column without its own character set keeps Cyrillic through WIN1251.
    d.execute("create table T (S varchar(10))");
    d.execute("insert into T values ('Ёлка')");
    EXPECT_EQ(selectValue(d, "select octet_length(S) from T").toInt(), 4);
    EXPECT_TRUE(d.ping());
    d.drop();
    EXPECT_FALSE(d.isOpen());
    EXPECT_FALSE(QFile::exists(path));
}
