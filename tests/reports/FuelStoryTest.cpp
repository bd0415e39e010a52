// The figures agree with what happened to the tank: on 10.12.2026 a 600 l tank holding 400 l
// falls steadily by 24 l until noon, is refilled by 150 l in the next ten minutes and falls by
// 24 l again until midnight. Readings come every ten minutes from a non-linear sensor whose
// calibration table has a point every 5 l. "Filled" must be 150 l and "used" 48 l, within one
// step of the table, whether the refuellings were detected in the refuelling window first or
// the consumption detects them itself.

#include "FuelDb.h"

#include <cmath>

#include "app/Options.h"
#include "common/ScriptedDialogs.h"
#include "reports/FuelCharges.h"
#include "reports/FuelComputations.h"
#include "tracks/FileManager.h"

namespace {

constexpr double kStep = 5; // litres between calibration points
constexpr double kTank = 600;

// The sensor: 200 .. 3600 converter units, steeper near the bottom.
int sensorAt(double litres) {
    const double x = litres / kTank;
    return int(std::lround(200 + 3400 * (0.6 * x + 0.4 * x * x)));
}

// The reading for a level: the table's own interpolation, inverted, to a whole unit.
int readingFor(double litres) {
    const int i = std::min(int(litres / kStep), int(kTank / kStep) - 1);
    const double l0 = i * kStep;
    const int s0 = sensorAt(l0), s1 = sensorAt(l0 + kStep);
    return int(std::lround(s0 + (litres - l0) / kStep * (s1 - s0)));
}

// The level at minute m of the day (readings at 0, 10, ..., 1430).
double levelAt(int m) {
    if (m <= 720)
        return 400 - 24.0 * m / 720;
    return 526 - 24.0 * (m - 730) / (1430 - 730);
}

class FuelStoryTest : public fueltest::FuelDbTest {
protected:
    static void story(int object) {
        sql(QString("insert into OBJECTS (OBJ_NUMBER, OBJ_TANKVOLUME) values (%1, %2);")
                .arg(object)
                .arg(kTank));
        std::vector<std::pair<int, double>> table;
        for (double l = 0; l <= kTank; l += kStep)
            table.emplace_back(sensorAt(l), l);
        calibration(object, table);
        std::vector<std::pair<QString, int>> values;
        for (int m = 0; m < 1440; m += 10)
            values.emplace_back(QString("10.12.2026 %1:%2:00")
                                    .arg(m / 60, 2, 10, QLatin1Char('0'))
                                    .arg(m % 60, 2, 10, QLatin1Char('0')),
                                readingFor(levelAt(m)));
        readings(object, values);
    }
    TFuelComputations fuel() { return TFuelComputations(database(), options, nullptr, fmngr); }

    const TDateTime start = dt::encode(2026, 12, 10);
    const TDateTime end = dt::encode(2026, 12, 10, 23, 59, 59);
    TOptions options;
    TFManager fmngr;
    TScriptedDialogs dialogs;
};

} // namespace

TEST_F(FuelStoryTest, DetectedInTheRefuellingWindowFirst) {
    story(401);
    TFuelCharges window(database(), dialogs);
    window.setPeriod({401, start, end});
    window.DetectCharges(TFuelCharges::DefaultThreshold);
    ASSERT_EQ(window.rowCount(), 1);
    EXPECT_EQ(window.cellText(0, TFuelCharges::colOpenTs), "10.12.2026 12:00:00");
    EXPECT_EQ(window.cellText(0, TFuelCharges::colCloseTs), "10.12.2026 12:10:00");
    window.SaveChanges();

    QStringList log;
    EXPECT_NEAR(fuel().GetChargedBySensor(401, start, end, log), 150, kStep);
    EXPECT_NEAR(fuel().GetFuelConsumption(401, 0, false, log, 100, start, end), 48, kStep)
        << log.join("\n").toStdString();
    EXPECT_EQ(log.size(), 3 + 2 + 1); // the head, two stretches, the total
    dialogs.answers = {mbYes};
    window.CloseWindow();
}

TEST_F(FuelStoryTest, DetectedByTheConsumptionItself) {
    story(402);
    QStringList log;
    // Without any refuelling known the rise hides the use.
    EXPECT_EQ(fuel().GetFuelConsumption(402, 0, false, log, 100, start, end), 0);
    EXPECT_NEAR(fuel().GetFuelConsumption(402, 30, true, log, 100, start, end), 48, kStep)
        << log.join("\n").toStdString();
    EXPECT_NEAR(fuel().GetChargedBySensor(402, start, end, log), 150, kStep);
}
