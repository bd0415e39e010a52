// The report computations on small fixtures whose figures were worked out by hand: the traces
// of a day with one refuelling, the stretches between refuellings at the edges of an interval,
// the engine time, the distance and the norm, and the duration texts.

#include "FuelDb.h"

#include <QDir>
#include <QTemporaryDir>

#include "app/Folders.h"
#include "app/Options.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "reports/Durations.h"
#include "reports/FuelComputations.h"
#include "reports/ReportTexts.h"
#include "tracks/CoordsUtils.h"
#include "tracks/FileManager.h"

namespace {

TDateTime at(int day, int h = 0, int m = 0, int s = 0) {
    return dt::encode(2026, 12, day, h, m, s);
}

class FuelComputationsTest : public fueltest::FuelDbTest {
protected:
    void SetUp() override {
        FuelDbTest::SetUp();
        options = options::Defaults(ComputeFolders(tmp.path() + "/zarnex-client"));
    }
    TFuelComputations fuel(const TManager *registry = nullptr) {
        return TFuelComputations(database(), options, registry, fmngr);
    }
    double consumption(int object, QStringList &log, int averaging = 0) {
        return fuel().GetFuelConsumption(object, averaging, false, log, 100, at(10),
                                         at(10, 23, 59, 59));
    }

    QTemporaryDir tmp;
    TOptions options;
    TFManager fmngr;
};

} // namespace

TEST(Durations, ConvertBetweenTheDatabasesAndTheUsersForms) {
    EXPECT_EQ(DHMStoHMS("1-2-3-4"), "26:03:04");
    EXPECT_EQ(DHMStoHMS("0-0-10-0"), "00:10:00");
    EXPECT_EQ(SecondsToDHMS(90061), "1:01:01:01");
    EXPECT_EQ(SecondsToHMS(90061), "25:01:01");
    EXPECT_EQ(SecondsToHMS(59), "0:00:59");
    EXPECT_EQ(HMSToSeconds("26:03:04"), 93784);
    EXPECT_EQ(HMSToSeconds(DHMStoHMS("3-0-0-1")), 3 * 86400 + 1);
    EXPECT_EQ(DaysToHMS(1.5), "36:00:00");
    EXPECT_EQ(DaysToHMS(600.9 / 86400), "0:10:00"); // truncated to whole seconds
    EXPECT_EQ(DaysTextToHours("1:2:3:4"), "26:03:04");
    EXPECT_EQ(DaysTextToHours("2:3:4"), "");
    EXPECT_THROW(HMSToSeconds("1:2"), std::runtime_error);
    try {
        DHMStoHMS("1-2");
        ADD_FAILURE() << "a malformed text must raise";
    } catch (const std::runtime_error &e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith(
            "Mistake of transformation of format DHMS in HMS ("));
    }
}

TEST(NormConsumption, SummerOnlyBetweenTheMonthsOfTheSameYear) {
    const struct {
        int start, end, month;
        double litres; // 30 l/100 km in summer, 40 in winter, over 200 km
    } cases[] = {
        {6, 8, 6, 60},
        {6, 8, 8, 60},
        {6, 8, 5, 80},
        {6, 8, 9, 80},
        // A season that wraps the new year is never summer.
        {11, 2, 12, 80},
        {11, 2, 1, 80},
        {11, 2, 11, 80},
        {11, 2, 6, 80},
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(TFuelComputations::NormConsumption(30, 40, c.start, c.end, 200,
                                                            dt::encode(2026, c.month, 15)),
                         c.litres)
            << c.start << "-" << c.end << " month " << c.month;
}

TEST_F(FuelComputationsTest, TracesOfADayWithOneRefuelling) {
    calibration(101, {{100, 10}, {1100, 110}}); // litres = reading / 10
    readings(101, {{"10.12.2026 00:00:00", 900},
                   {"10.12.2026 08:00:00", 700},
                   {"10.12.2026 08:20:00", 1000},
                   {"10.12.2026 23:00:00", 955}});
    sql("insert into FUEL_CHARGE values (101, '10.12.2026 08:00:00', 700, "
        "'10.12.2026 08:20:00', 1000, 28);");
    QStringList log;
    EXPECT_DOUBLE_EQ(consumption(101, log), 24.5);
    EXPECT_EQ(log, (QStringList{
                       "Расход топлива 10.12.2026 - 10.12.2026 23:59:59:",
                       "Показания датчика(нач.): 90 на 10.12.2026",
                       "Показания датчика(оконч.): 95,5 на 10.12.2026 23:00:00",
                       "10.12.2026 (900 - 90,000 л) => 10.12.2026 08:00:00 (700 - 70,000 л) :: "
                       "20,000 л",
                       "10.12.2026 08:20:00 (1000 - 100,000 л) => 10.12.2026 23:00:00 (955 - "
                       "95,500 л) :: 4,500 л",
                       "Суммарный расход :: 24,500 л",
                   }));
    EXPECT_DOUBLE_EQ(fuel().GetChargedBySensor(101, at(10), at(10, 23, 59, 59), log), 30);
    EXPECT_EQ(log, (QStringList{
                       "Заправки 10.12.2026 - 10.12.2026 23:59:59:",
                       "10.12.2026 08:00:00 (700 - 70,000 л) => 10.12.2026 08:20:00 (1000 - "
                       "100,000 л): 30,000",
                   }));
    // The operator's figure counts by the closing time, in [start, end).
    EXPECT_DOUBLE_EQ(fuel().GetChargedManual(101, at(10), at(11)), 28);
    EXPECT_DOUBLE_EQ(fuel().GetChargedManual(101, at(10, 8, 20), at(11)), 28);
    EXPECT_DOUBLE_EQ(fuel().GetChargedManual(101, at(10), at(10, 8, 20)), 0);
    // The sensor's by the opening time, in [start, end].
    EXPECT_DOUBLE_EQ(fuel().GetChargedBySensor(101, at(10, 8), at(10, 8), log), 30);
    EXPECT_DOUBLE_EQ(fuel().GetChargedBySensor(101, at(10, 8, 0, 1), at(11), log), 0);

    TReadingAt r;
    ASSERT_TRUE(fuel().GetReadingAt(101, at(10, 8, 10), r));
    EXPECT_EQ(r.time, at(10, 8));
    EXPECT_EQ(r.reading, 700);
    EXPECT_DOUBLE_EQ(r.litres, 70);
    EXPECT_DOUBLE_EQ(fuel().GetFuelLitres(101, 250), 25);
}

TEST_F(FuelComputationsTest, StretchesAtTheEdgesOfTheInterval) {
    const std::vector<std::pair<int, double>> table{{100, 10}, {1100, 110}};
    // 102: no reading at all.
    // 103: a refuelling open before the start ends inside; the level before it is not used.
    calibration(103, table);
    readings(103, {{"09.12.2026 23:40:00", 500},
                   {"10.12.2026 00:20:00", 1000},
                   {"10.12.2026 23:00:00", 900}});
    sql("insert into FUEL_CHARGE values (103, '09.12.2026 23:50:00', 500, "
        "'10.12.2026 00:20:00', 1000, NULL);");
    // 104: a refuelling still open at the end: nothing after its opening counts.
    calibration(104, table);
    readings(104, {{"10.12.2026 00:00:00", 900},
                   {"10.12.2026 23:00:00", 700},
                   {"11.12.2026 00:30:00", 1000}});
    sql("insert into FUEL_CHARGE values (104, '10.12.2026 23:00:00', 700, "
        "'11.12.2026 00:30:00', 1000, NULL);");
    // 105: the level rises without a record: nothing is used.
    calibration(105, table);
    readings(105, {{"10.12.2026 00:00:00", 500}, {"10.12.2026 23:00:00", 900}});

    const struct {
        int object;
        double used;
        QStringList stretches; // the lines between the boundaries and the total
    } cases[] = {
        {102, 0, {"10.12.2026 (0 - 0,000 л) => 10.12.2026 23:59:59 (0 - 0,000 л) :: 0,000 л"}},
        {103,
         10,
         {"10.12.2026 00:20:00 (1000 - 100,000 л) => 10.12.2026 23:00:00 (900 - 90,000 л) :: "
          "10,000 л"}},
        {104,
         20,
         {"10.12.2026 (900 - 90,000 л) => 10.12.2026 23:00:00 (700 - 70,000 л) :: 20,000 л"}},
        {105,
         0,
         {"10.12.2026 (500 - 50,000 л) => 10.12.2026 23:00:00 (900 - 90,000 л) :: -40,000 л"}},
    };
    for (const auto &c : cases) {
        QStringList log;
        EXPECT_DOUBLE_EQ(consumption(c.object, log), c.used) << c.object;
        ASSERT_GE(log.size(), 4) << c.object;
        EXPECT_EQ(log.mid(3, log.size() - 4), c.stretches) << c.object;
        EXPECT_EQ(log.last(), "Суммарный расход :: " + FormatFixed3(c.used) + " л") << c.object;
    }
    QStringList log;
    consumption(102, log);
    EXPECT_EQ(log.mid(1, 2), (QStringList{"Показания датчика(нач.): 0 на 10.12.2026",
                                          "Показания датчика(оконч.): 0 на 10.12.2026 23:59:59"}));
    TReadingAt r;
    EXPECT_FALSE(fuel().GetReadingAt(102, at(10), r));
}

TEST_F(FuelComputationsTest, BoundaryAveragingTakesTheFilteredMeanBeforeTheMoment) {
    calibration(106, {{100, 10}, {1100, 110}});
    readings(106, {{"10.12.2026 00:00:00", 900},
                   {"10.12.2026 22:40:00", 700},
                   {"10.12.2026 22:50:00", 680},
                   {"10.12.2026 23:00:00", 660}});
    QStringList log;
    // The end reads the mean of 22:30 .. 23:00: 680, so 90 - 68 l.
    EXPECT_DOUBLE_EQ(consumption(106, log, 30), 22);
    EXPECT_EQ(log[2], "Показания датчика(оконч.): 68 на 10.12.2026 23:00:00");
    EXPECT_DOUBLE_EQ(consumption(106, log, 0), 24);
}

TEST_F(FuelComputationsTest, EngineTimeSumsTheDays) {
    sql("insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_ERRORAVTOPROTECT) "
        "  values (107, '10.12.2026 23:00:00', 1);\n"
        "insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_ERRORAVTOPROTECT) "
        "  values (107, '10.12.2026 23:10:00', 1);\n"
        "insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_ERRORAVTOPROTECT) "
        "  values (107, '10.12.2026 23:40:00', 0);\n"
        "insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_ERRORAVTOPROTECT) "
        "  values (107, '11.12.2026 00:20:00', 1);\n"
        "insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_ERRORAVTOPROTECT) "
        "  values (107, '11.12.2026 00:30:00', 0);\n");
    // Ten minutes on each day; the gaps longer than 0.01 day count nowhere.
    EXPECT_EQ(fuel().GetEngineTime(107, 0.01, at(10, 22), at(11, 0, 35)), "0:20:00");
    EXPECT_EQ(fuel().GetEngineTime(107, 0.01, at(11, 0, 35), at(10, 22)), "0"); // no rows
}

TEST_F(FuelComputationsTest, DistanceAndNormBelongToARegisteredObject) {
    sql("insert into OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_FUELCONSS, OBJ_FUELCONSW) "
        "values (108, 'Тепловоз', 30, 40);");
    SetFolders(ComputeFolders(tmp.path() + "/zarnex-client"));
    // Eleven points 100 m apart, 10 s each (36 km/h): one movement of 1 km.
    std::vector<TCoordData> track{TCoordData{3345.0L, 2256.0L, at(10, 9), 0}};
    for (int i = 0; i < 10; ++i) {
        const TCoordData &p = track.back();
        long double lo = p.lat, hi = p.lat + 1;
        for (int k = 0; k < 200; ++k) {
            const long double mid = (lo + hi) / 2;
            (GeoDistance({p.lat, p.lng}, {mid, p.lng}) < 100 ? lo : hi) = mid;
        }
        track.push_back(TCoordData{hi, p.lng, p.ts + 10.0 / 86400, 0});
    }
    QDir().mkpath(CoordCacheDir() + "108");
    const QString day = CoordCacheDir() + "108/20261210.dat";
    TTrackFile *f = fmngr.get(day);
    for (const TCoordData &p : track)
        f->add(p);
    fmngr.FreeFile(day, true);

    TScriptedDialogs dialogs;
    TManager registry(shared()->settings, dialogs, CoordCacheDir());
    ASSERT_TRUE(registry.FindObject(108));
    EXPECT_NEAR(fuel(&registry).GetTrackLength(108, at(10), at(10, 23, 59, 59)), 1.0, 1e-6);
    EXPECT_EQ(fuel(&registry).GetTrackLength(108, at(11), at(11, 23, 59, 59)), 0);
    EXPECT_EQ(fuel(&registry).GetTrackLength(109, at(10), at(10, 23, 59, 59)), 0);
    EXPECT_EQ(fuel().GetTrackLength(108, at(10), at(10, 23, 59, 59)), 0);

    EXPECT_DOUBLE_EQ(fuel(&registry).GetNormConsumption(108, 200, dt::encode(2026, 7, 1)), 60);
    EXPECT_DOUBLE_EQ(fuel(&registry).GetNormConsumption(108, 200, at(10)), 80);
    EXPECT_DOUBLE_EQ(fuel(&registry).GetNormConsumption(109, 200, at(10)), 0);
}

TEST_F(FuelComputationsTest, LookUpsSwallowDatabaseFailuresTheOthersPassThemOn) {
    db::TDatabase closed;
    TFuelComputations f(closed, options, nullptr, fmngr);
    TReadingAt r;
    EXPECT_EQ(f.GetFuelLitres(101, 500), 0);
    EXPECT_FALSE(f.GetReadingAt(101, at(10), r));
    EXPECT_EQ(f.GetEngineTime(107, 0.01, at(10), at(11)), "0");
    QStringList log;
    EXPECT_THROW(f.GetChargedBySensor(101, at(10), at(11), log), std::exception);
    EXPECT_THROW(f.GetFuelConsumption(101, 0, false, log, 100, at(10), at(11)), std::exception);
}
