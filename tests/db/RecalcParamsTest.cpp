#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "app/SqlLiteral.h"
#include "db/Database.h"
#include "db/SqlScript.h"
#include "db/GroupManager.h"

// RecalcParams against the local Firebird server (scripts/firebird.sh start) and a database built
// from the shipped update script.
namespace {

class RecalcParamsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The server runs as its own user: the folder must be open to it.
        folder = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/zarnex-online-XXXXXX"));
        ASSERT_TRUE(folder->isValid());
        ::chmod(QFile::encodeName(folder->path()).constData(), 01777);
        const QString name = QStringLiteral("127.0.0.1:") + folder->path() + "/recalc.fdb";
        database = std::make_unique<db::TDatabase>();
        try {
            database->create(name, QStringLiteral("SYSDBA"), QStringLiteral("qvx7tpl2m"));
        } catch (const db::EDatabaseError &e) {
            FAIL() << "the Firebird server on 127.0.0.1:3050 is needed (scripts/firebird.sh "
                      "start): "
                   << e.text().toStdString();
        }
        QFile script(QStringLiteral(ZARNEX_SOURCE_DIR "/update/UPDB.sql"));
        ASSERT_TRUE(script.open(QIODevice::ReadOnly)) << "update/UPDB.sql is missing";
        db::TSqlScript sqlScript(QString::fromUtf8(script.readAll()));
        db::TTransaction tr(*database, db::TTransactionKind::Write);
        tr.start();
        sqlScript.run(tr);
        tr.commit();
    }
    static void TearDownTestSuite() {
        if (database && database->isOpen()) {
            try {
                database->drop();
            } catch (...) {
            }
        }
        database.reset();
        folder.reset();
    }
    void SetUp() override {
        if (!database || !database->isOpen())
            GTEST_SKIP() << "no database (see the suite's failure)";
    }

    // An object row with a calibration table of two points: 100 -> 50 l and 200 -> 150 l.
    static void addObject(int number, int tankVolume) {
        database->execute(QStringLiteral("delete from FUEL_POINTS where ID=%1").arg(number));
        database->execute(QStringLiteral("delete from OBJECTS where OBJ_NUMBER=%1").arg(number));
        database->execute(QStringLiteral("insert into OBJECTS (OBJ_NUMBER, OBJ_NAME, "
                                         "OBJ_TANKVOLUME, OBJ_FUELLEVELL, OBJ_LAT, OBJ_LNG) "
                                         "values (%1, 'Тепловоз %1', %2, 77, 1, 2)")
                              .arg(number)
                              .arg(tankVolume));
        database->execute(QStringLiteral("insert into FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, "
                                         "FIXED) values (%1, 100, 50, 1)")
                              .arg(number));
        database->execute(QStringLiteral("insert into FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, "
                                         "FIXED) values (%1, 200, 150, 1)")
                              .arg(number));
    }

    struct Row {
        double fuel, lat, lng, textLat, textLng;
        bool tsNull, packNull;
        TDateTime ts, pack;
    };
    static Row row(int number) {
        db::TTransaction tr(*database, db::TTransactionKind::ReadCommitted);
        tr.start();
        db::TQuery q(tr, QStringLiteral("select * from OBJECTS where OBJ_NUMBER=%1").arg(number));
        q.open();
        EXPECT_TRUE(q.next());
        Row r{};
        r.fuel = q.field(QStringLiteral("OBJ_FUELLEVELL")).asDouble();
        r.lat = q.field(QStringLiteral("OBJ_LAT")).asDouble();
        r.lng = q.field(QStringLiteral("OBJ_LNG")).asDouble();
        r.textLat = q.field(QStringLiteral("OBJ_TEXT_LAT")).asDouble();
        r.textLng = q.field(QStringLiteral("OBJ_TEXT_LNG")).asDouble();
        r.tsNull = q.field(QStringLiteral("OBJ_TS")).isNull();
        r.ts = q.field(QStringLiteral("OBJ_TS")).asDateTime();
        r.packNull = q.field(QStringLiteral("OBJ_PACKTIME")).isNull();
        r.pack = q.field(QStringLiteral("OBJ_PACKTIME")).asDateTime();
        tr.commit();
        return r;
    }

    static inline std::unique_ptr<QTemporaryDir> folder;
    static inline std::unique_ptr<db::TDatabase> database;
};

TControllableObject object(int number, int tankVolume, int reading) {
    TControllableObject o;
    o.Number = number;
    o.TankVolume = tankVolume;
    o.FuelLevel = reading;
    return o;
}

} // namespace

TEST_F(RecalcParamsTest, StoresFuelAndPositionWithTwoDecimals) {
    addObject(501, 300);
    TControllableObject o = object(501, 300, 100);
    o.Lat = 3345.1234L;
    o.Lng = 2256.789L;
    o.LastTextLat = 3345.1299L;
    o.LastTextLng = 2256.001L;
    o.TS = dt::encode(2026, 12, 10, 15, 30, 12, 123);
    o.PackTime = o.TS;
    RecalcParams(o, *database);

    EXPECT_NEAR(static_cast<double>(o.FuelLevelL), 50.0, 1e-9);
    const Row r = row(501);
    EXPECT_NEAR(r.fuel, 50.0, 1e-4);
    EXPECT_NEAR(r.lat, 3345.12, 1e-3);
    EXPECT_NEAR(r.lng, 2256.79, 1e-3);
    EXPECT_NEAR(r.textLat, 3345.13, 1e-3);
    EXPECT_NEAR(r.textLng, 2256.00, 1e-3);
    ASSERT_FALSE(r.tsNull);
    EXPECT_NEAR(r.ts, o.TS, 0.5 / dt::MsPerDay); // milliseconds kept
    ASSERT_FALSE(r.packNull);
    EXPECT_NEAR(r.pack, o.TS, 0.5 / dt::MsPerDay); // a time, not its shown text
}

TEST_F(RecalcParamsTest, FuelIsCappedByTheTankVolume) {
    addObject(502, 40);
    TControllableObject o = object(502, 40, 200); // the table gives 150 l
    RecalcParams(o, *database);
    EXPECT_EQ(o.FuelLevelL, 40);
    EXPECT_NEAR(row(502).fuel, 40.0, 1e-4);
}

TEST_F(RecalcParamsTest, NothingBelowOneLitreAndNoZeroPosition) {
    addObject(503, 300);
    TControllableObject o = object(503, 300, 100);
    o.TankVolume = 1; // 50 l capped to 1 l: not above 1, so not stored
    o.Lat = 0;
    o.Lng = 0;
    o.TS = dt::encode(2026, 12, 10, 16, 0, 0);
    o.PackTime = o.TS;
    RecalcParams(o, *database);
    EXPECT_EQ(o.FuelLevelL, 1);
    const Row r = row(503);
    EXPECT_NEAR(r.fuel, 77.0, 1e-4);
    EXPECT_NEAR(r.lat, 1.0, 1e-6);
    EXPECT_NEAR(r.lng, 2.0, 1e-6);
    EXPECT_TRUE(r.tsNull);
    EXPECT_TRUE(r.packNull);
}

TEST_F(RecalcParamsTest, MissingPacketTimeIsStoredAsNull) {
    addObject(504, 300);
    TControllableObject o = object(504, 300, 100);
    o.Lat = 3345;
    o.Lng = 2256;
    o.TS = dt::encode(2026, 12, 10, 17, 0, 0);
    o.PackTime = std::nan("");
    RecalcParams(o, *database);
    const Row r = row(504);
    EXPECT_NEAR(r.lat, 3345.0, 1e-6);
    EXPECT_FALSE(r.tsNull);
    EXPECT_TRUE(r.packNull);
}

TEST_F(RecalcParamsTest, UnknownObjectRaisesNothingAndChangesNothing) {
    TControllableObject o = object(99999, 300, 100);
    o.Lat = 3345;
    o.Lng = 2256;
    EXPECT_NO_THROW(RecalcParams(o, *database));
    EXPECT_EQ(o.FuelLevelL, 0); // no calibration rows: 0 litres
}
