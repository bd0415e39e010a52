#include "DbTestEnv.h"

#include "db/Database.h"
#include "db/DatabaseUpdate.h"
#include "db/SqlScript.h"

using namespace db;

// The stored procedures of the shipped script on small fixtures whose results were worked out
// by hand. Each test uses object numbers of its own in one shared database.
namespace {

class Procedures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!dbtest::serverListening())
            return;
        shared = new dbtest::TempDatabase("procedures");
        BuildFromUpdateScript(shared->db, ZARNEX_SOURCE_DIR "/update/UPDB.sql");
    }
    static void TearDownTestSuite() {
        delete shared;
        shared = nullptr;
    }
    void SetUp() override {
        if (!shared)
            GTEST_FAIL() << "Firebird server is not listening on 127.0.0.1:3050 "
                            "(start it with scripts/firebird.sh start)";
    }

    static TDatabase &db() { return shared->db; }
    static void sql(const QString &text) {
        TSqlScript s(text);
        TTransaction tr(db(), TTransactionKind::Write);
        tr.start();
        s.run(tr);
        tr.commit();
    }
    // Every row of a select, each as "A|B|C" texts (NULL as "<null>").
    static QStringList rows(const QString &select) {
        TTransaction tr(db(), TTransactionKind::Write);
        tr.start();
        TQuery q(tr, select);
        q.open();
        QStringList out;
        while (q.next()) {
            QStringList cells;
            for (int i = 0; i < q.fieldCount(); ++i)
                cells << (q.field(i).isNull() ? QStringLiteral("<null>") : q.field(i).asString());
            out << cells.join(QLatin1Char('|'));
        }
        q.close();
        tr.commit();
        return out;
    }
    static double number(const QString &select) {
        return selectValue(db(), select, TTransactionKind::Write).toDouble();
    }
    // Readings of one object: "hh:nn:ss" on 10.12.2026 and a fuel value, optional signals.
    static void readings(int object, const std::vector<std::pair<const char *, int>> &values) {
        QString script;
        for (const auto &[time, fuel] : values)
            script += QString("insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_FUELLEVEL) "
                              "values (%1, '10.12.2026 %2', %3);\n")
                          .arg(object)
                          .arg(time)
                          .arg(fuel);
        sql(script);
    }

    static dbtest::TempDatabase *shared;
};

dbtest::TempDatabase *Procedures::shared = nullptr;

} // namespace

TEST_F(Procedures, AddMinuteMovesByWholeMinutesBothWays) {
    EXPECT_EQ(rows("select ADDMINUTE(timestamp '2026-12-10 00:30:00', -45), "
                   "ADDMINUTE(timestamp '2026-12-10 23:30:00', 90) from RDB$DATABASE"),
              QStringList{"09.12.2026 23:45:00|11.12.2026 01:00:00"});
}

TEST_F(Procedures, GetFuelInterpolatesBetweenPointsAndHoldsTheEndsOutsideTheTable) {
    sql("insert into FUEL_POINTS values (1, 100, 10, 1);\n"
        "insert into FUEL_POINTS values (1, 300, 50, 1);\n"
        "insert into FUEL_POINTS values (1, 500, 70, 0);\n"
        // an inverse sensor: the volume falls as the reading rises
        "insert into FUEL_POINTS values (3, 100, 80, 1);\n"
        "insert into FUEL_POINTS values (3, 400, 20, 1);\n");
    const struct {
        int object, reading;
        double litres;
    } cases[] = {
        {1, 100, 10}, {1, 200, 30}, {1, 250, 40},  {1, 300, 50},
        {1, 400, 60}, {1, 500, 70}, {1, 50, 10}, // below the table: the first point's volume
        {1, 900, 70},                            // above: the last point's
        {3, 250, 50}, {3, 400, 20}, {3, 1000, 20}, {2, 300, 0}, // no calibration at all
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(number(QString("select out_fuel_level from proc_getfuel(%1,%2)")
                                    .arg(c.object)
                                    .arg(c.reading)),
                         c.litres)
            << c.object << " " << c.reading;
    // As a scalar subquery, the way the refuelling list uses it.
    EXPECT_DOUBLE_EQ(number("select (select OUT_FUEL_LEVEL from PROC_GETFUEL(1, 200)) - "
                            "(select OUT_FUEL_LEVEL from PROC_GETFUEL(1, 100)) from RDB$DATABASE"),
                     20);
}

TEST_F(Procedures, GetFuelByDtTakesTheReadingInForceSkippingEmptyOnes) {
    sql("insert into FUEL_POINTS values (4, 100, 10, 1);\n"
        "insert into FUEL_POINTS values (4, 300, 50, 1);\n");
    readings(4, {{"10:00:00", 200}, {"10:05:00", 0}, {"10:10:00", 300}});
    const auto at = [](const char *moment) {
        return rows(QString("select OUT_FUEL_LEVEL, OUT_SENSOR, OUT_TS_PACKET from "
                            "PROC_GETFUELBYDT(4, '10.12.2026 %1')")
                        .arg(moment));
    };
    EXPECT_EQ(at("10:07:00"), QStringList{"30|200|10.12.2026 10:00:00"}); // 0 is no reading
    EXPECT_EQ(at("10:10:00"), QStringList{"50|300|10.12.2026 10:10:00"});
    EXPECT_EQ(at("23:00:00"), QStringList{"50|300|10.12.2026 10:10:00"});
    // Before the history: its first reading.
    EXPECT_EQ(at("09:00:00"), QStringList{"30|200|10.12.2026 10:00:00"});
    EXPECT_TRUE(rows("select * from PROC_GETFUELBYDT(5, '10.12.2026 10:00:00')").isEmpty());
}

TEST_F(Procedures, FilteredSeriesDropSpikesAndSmoothWithoutSmearingSteps) {
    readings(6, {{"10:00:00", 1000},
                 {"10:01:00", 1010},
                 {"10:02:00", 1200}, // spike up
                 {"10:03:00", 1005},
                 {"10:04:00", 1000},
                 {"10:05:00", 800}, // spike down
                 {"10:06:00", 1002},
                 {"10:07:00", 1500}, // refuelling step
                 {"10:08:00", 1500}});
    const QString args = "(50, '10.12.2026 10:00:00', '10.12.2026 10:08:00', 6)";
    QStringList p3;
    for (const QString &r : rows("select OUT_FUEL_L from PROC_FUEL_3PFILTER" + args))
        p3 << r;
    EXPECT_EQ(
        p3, (QStringList{"1000", "1010", "1010", "1005", "1000", "1000", "1002", "1500", "1500"}));
    // Trailing mean of up to five; the step restarts it.
    EXPECT_EQ(
        rows("select OUT_FUEL_L from PROC_FUEL_FILTERED" + args),
        (QStringList{"1000", "1005", "1007", "1006", "1005", "1005", "1003", "1500", "1500"}));
    // The bound form the reports use, with the window ending at a moment.
    TTransaction tr(db(), TTransactionKind::Write);
    tr.start();
    TQuery q(tr, " select avg(OUT_FUEL_L) as avg_val from  "
                 "PROC_FUEL_3PFILTER(:dlt,ADDMINUTE(:dt2,-:avg_period),:dt2,:obj_id) ");
    q.setParam("dlt", 50);
    q.setParam("dt2", TParam::timestamp(dt::encode(2026, 12, 10, 10, 4)));
    q.setParam("avg_period", 2);
    q.setParam("obj_id", 6);
    q.open();
    ASSERT_TRUE(q.next());
    // The spike at the window's first reading is judged against the reading before the window.
    EXPECT_EQ(q.field("AVG_VAL").asInteger(), (1010 + 1005 + 1000) / 3);
}

TEST_F(Procedures, ChargeFillFindsTheRiseOnceAndHonoursTheEngineRule) {
    for (int object : {10, 11})
        sql(QString("insert into OBJECTS (OBJ_NUMBER, OBJ_FUELUSEENGINE) values (%1, 1);\n")
                .arg(object));
    const std::vector<std::pair<const char *, int>> series = {
        {"10:00:00", 500}, {"10:10:00", 495},  {"10:20:00", 490},  {"10:30:00", 600},
        {"10:40:00", 800}, {"10:50:00", 1000}, {"11:00:00", 1005}, {"11:10:00", 995},
        {"11:20:00", 990},                    // settling, within a quarter of the threshold
        {"12:00:00", 900}, {"12:10:00", 960}, // a fall, then a rise below the threshold
    };
    readings(10, series);
    readings(11, series);
    sql("update INPUTSIGNALS set INS_ERRORAVTOPROTECT = 1 where INS_NUMBER = 11 and "
        "INS_PACKTIME = '10.12.2026 10:40:00';");
    const QString call = "select OUT_COUNT from PROC_CHARGEFILL2 (%1, '10.12.2026 00:00:00', "
                         "'10.12.2026 23:59:59', 100)";
    EXPECT_EQ(rows(call.arg(10)), QStringList{"1"});
    EXPECT_EQ(rows("select OPEN_TANK_TS_PACKET, OPEN_TANK_SENSOR, CLOSE_TANK_TS_PACKET, "
                   "CLOSE_TANK_SENSOR, CHARGED_VOLUME from FUEL_CHARGE where ID = 10"),
              QStringList{"10.12.2026 10:20:00|490|10.12.2026 11:00:00|1005|<null>"});
    // Detecting again adds nothing.
    EXPECT_EQ(rows(call.arg(10)), QStringList{"1"});
    EXPECT_EQ(number("select count(*) from FUEL_CHARGE where ID = 10"), 1);
    // The engine ran during the rise of object 11: not a refuelling.
    EXPECT_EQ(rows(call.arg(11)), QStringList{"0"});
    EXPECT_EQ(number("select count(*) from FUEL_CHARGE where ID = 11"), 0);
}

TEST_F(Procedures, TarCalcAddsAPointFromARefuellingAndTarReorgRestoresTheOrder) {
    sql("insert into OBJECTS (OBJ_NUMBER, OBJ_TANKVOLUME, OBJ_FUELDEPTYPE) values (20, 150, 1);\n"
        "insert into FUEL_POINTS values (20, 100, 0, 1);\n"
        "insert into FUEL_POINTS values (20, 1100, 100, 1);\n"
        // 300 reads 20 l by the table; 60 l were filled up to the reading 800
        "insert into FUEL_CHARGE values (20, '10.12.2026 10:00:00', 300, "
        "  '10.12.2026 10:20:00', 800, 60);\n"
        // a record without the operator's volume gives nothing
        "insert into FUEL_CHARGE values (20, '10.12.2026 12:00:00', 500, "
        "  '10.12.2026 12:20:00', 900, NULL);\n");
    EXPECT_EQ(rows("select * from PROC_TARCALC (20)"), QStringList{"1"});
    EXPECT_EQ(rows("select SENSOR_VAL, FUEL_VAL, FIXED from FUEL_POINTS where ID = 20 "
                   "order by SENSOR_VAL"),
              (QStringList{"100|0|1", "800|80|0", "1100|100|1"}));

    sql("insert into FUEL_POINTS values (20, 500, 90, 0);\n"    // breaks the rise at 800
        "insert into FUEL_POINTS values (20, 1200, -5, 0);\n"   // negative
        "insert into FUEL_POINTS values (20, 1300, 160, 0);\n"  // above the tank
        "insert into FUEL_POINTS values (20, 1400, 95, 1);\n"); // fixed: kept as entered
    EXPECT_EQ(rows("select * from PROC_TARREORG(20)"), QStringList{"3"});
    EXPECT_EQ(rows("select SENSOR_VAL, FUEL_VAL from FUEL_POINTS where ID = 20 "
                   "order by SENSOR_VAL"),
              (QStringList{"100|0", "500|90", "1100|100", "1400|95"}));
}

TEST_F(Procedures, ObjSostDifGivesIntervalsOfUnchangedStateWithGapsOfTheirOwn) {
    sql("insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_FUELLEVEL, "
        "  INS_ERRORAVTOPROTECT, INS_ALERTBTN) values (30, '10.12.2026 10:00:00', 700, 0, 0);\n"
        "insert into INPUTSIGNALS values (30, NULL, '10.12.2026 10:01:00', 701, 0, 0, 0, 0, 0, "
        "  0, 0, 0);\n");
    sql("insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_ERRORAVTOPROTECT, INS_ALERTBTN, "
        "  INS_FUELLEVEL, INS_TEMPERATURE, INS_LOCOMOTIVEMOVE, INS_WARNINGMODE, INS_DIESELWORK, "
        "  INS_ABVOLTAGELESSMIN, INS_BOARDVOLTAGE) values "
        "  (30, '10.12.2026 10:02:00', 1, 0, 702, 0, 0, 0, 0, 0, 0);\n");
    sql("update INPUTSIGNALS set INS_TEMPERATURE = 0, INS_LOCOMOTIVEMOVE = 0, "
        "INS_WARNINGMODE = 0, INS_DIESELWORK = 0, INS_ABVOLTAGELESSMIN = 0, INS_BOARDVOLTAGE = 0 "
        "where INS_NUMBER = 30;\n"
        "insert into INPUTSIGNALS values (30, NULL, '10.12.2026 10:03:00', 703, 0, 0, 0, 0, 1, "
        "  0, 0, 0);\n"
        "insert into INPUTSIGNALS values (30, NULL, '10.12.2026 10:10:00', 710, 0, 0, 0, 0, 1, "
        "  0, 0, 0);\n"
        "insert into INPUTSIGNALS values (30, NULL, '10.12.2026 10:11:00', 711, 0, 0, 0, 0, 1, "
        "  0, 0, 1);\n");
    // end first, then start, the greatest gap (3 minutes) as the reports pass it, the object
    EXPECT_EQ(rows("select OUT_PACKTIME, OUT_ENDTIME, OUT_DELTATIME, OUT_REASON, OUT_FUELLEVEL, "
                   "OUT_ERRORAVTOPROTECT, OUT_ALERTBTN from PROC_GETOBJSOSTDIF( "
                   "'10.12.2026 23:59:59', '10.12.2026 00:00:00', '0.00208333333333333', 30 )"),
              (QStringList{
                  "10.12.2026 10:00:00|10.12.2026 10:02:00|0-0-2-0|начало периода|700|0|0",
                  "10.12.2026 10:02:00|10.12.2026 10:03:00|0-0-1-0|отказ автомата защиты 65 "
                  "вольт|702|1|0",
                  "10.12.2026 10:03:00|10.12.2026 10:10:00|0-0-7-0|нет данных|<null>|<null>|<null>",
                  "10.12.2026 10:10:00|10.12.2026 10:11:00|0-0-1-0|данные возобновлены|710|1|0",
                  "10.12.2026 10:11:00|10.12.2026 10:11:00|0-0-0-0|тревожная кнопка|711|1|1",
              }));
}

TEST_F(Procedures, CalcParamsSplitsDaysCountsSignalsAndTimeWithoutData) {
    // Object 40; gap 0.01 day = 14 min 24 s.
    sql("insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_ERRORAVTOPROTECT, INS_ALERTBTN) "
        "  values (40, '10.12.2026 23:00:00', 1, 0);\n"
        "insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_ERRORAVTOPROTECT, INS_ALERTBTN) "
        "  values (40, '10.12.2026 23:10:00', 1, 0);\n" // then 30 min without data
        "insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_ERRORAVTOPROTECT, INS_ALERTBTN) "
        "  values (40, '10.12.2026 23:40:00', 0, 0);\n" // then 40 min across midnight
        "insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_ERRORAVTOPROTECT, INS_ALERTBTN) "
        "  values (40, '11.12.2026 00:20:00', 1, 0);\n"
        "insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_ERRORAVTOPROTECT, INS_ALERTBTN) "
        "  values (40, '11.12.2026 00:30:00', 0, 1);\n" // holds up to the end, 5 min
        "insert into FUEL_POINTS values (40, 100, 10, 1);\n"
        "insert into FUEL_POINTS values (40, 300, 40, 1);\n"
        "insert into FUEL_CHARGE values (40, '10.12.2026 23:05:00', 100, "
        "  '10.12.2026 23:20:00', 300, 25);\n"
        "insert into GROUPS values ('{G40}', NULL, 'g');\n"
        "insert into OBJ_GRP values (40, '{G40}');\n"
        "insert into OBJ_GRP values (41, '{G40}');\n");
    const QString period = "'11.12.2026 00:35:00', '10.12.2026 22:00:00'";
    EXPECT_EQ(rows("select PAR_DATE, PAR_NUMBER, PAR_GENTIME, PAR_ALERT, PAR_INVALIDDATA, "
                   "PAR_CHARGEAUTO, PAR_CHARGEMANUAL, PAR_TRACKLEN from PROC_CALCPARAMS( " +
                   period + ", '0.01', 40 )"),
              (QStringList{"10.12.2026|40|0-0-10-0|0-0-0-0|0-0-50-0|30|25|<null>",
                           "11.12.2026|40|0-0-10-0|0-0-5-0|0-0-20-0|0|0|<null>"}));
    EXPECT_DOUBLE_EQ(
        number("select first 1 ACC_GENTIME from PROC_CALCPARAMS( " + period + ", '0.01', 40 )"),
        600.0 / 86400);
    // After the last packet a day is time without data; before the first it counts nowhere.
    // An end before the start gives no row.
    EXPECT_EQ(rows("select PAR_GENTIME, PAR_INVALIDDATA from PROC_CALCPARAMS('12.12.2026 "
                   "23:59:59', '12.12.2026 00:00:00', '0.01', 40)"),
              QStringList{"0-0-0-0|0-23-59-59"});
    EXPECT_EQ(rows("select PAR_GENTIME, PAR_INVALIDDATA from PROC_CALCPARAMS('09.12.2026 "
                   "23:59:59', '09.12.2026 00:00:00', '0.01', 40)"),
              QStringList{"0-0-0-0|0-0-0-0"});
    EXPECT_TRUE(rows("select * from PROC_CALCPARAMS(" +
                     QString("'10.12.2026 22:00:00', '11.12.2026 "
                             "00:35:00'") +
                     ", '0.01', 40)")
                    .isEmpty());

    // Totals as fractions of a day, for the object and for its group.
    const QString sums = "select ACC_NUMBER, ACC_GENTIME * 86400, ACC_ALERT * 86400, "
                         "ACC_INVALIDDATA * 86400, ACC_CHARGEAUTO, ACC_CHARGEMANUAL from ";
    EXPECT_EQ(rows(sums + "PROC_CALCSUMOBJPARAMS( '0.01', " + period + ", 40 )"),
              QStringList{"40|1200|300|4200|30|25"});
    EXPECT_EQ(rows(sums + "PROC_CALCGRPPARAMS( '0.01', " + period + ", '{G40}' )"),
              QStringList{"2|1200|300|4200|30|25"});
}
