// The analog page: buckets of the averaging time, the bands and bars from the database, and a
// refuelling added and moved by clicks on the fuel-in-litres chart.

#include <gtest/gtest.h>

#include <cmath>

#include "common/ScriptedDialogs.h"
#include "reports/AnalogChart.h"
#include "reports/FuelCharges.h"
#include "reports/ReportFixture.h"

using namespace reporttest;

TEST(AnalogBuckets, EveryReadingOrOnePointPerBucketThatHoldsReadings) {
    const TDateTime s = dt::encode(2026, 1, 1);
    const double minute = 1.0 / 1440;
    const std::vector<std::pair<TDateTime, double>> rows{
        {s, 10},
        {s + 2 * minute, 14},
        {s + 5 * minute, 12}, // the first five minutes (end incl.)
        {s + 6 * minute, 20}, // the second
        {s + 21 * minute, 30},
        {s + 24 * minute, 34}, // the fifth; 3rd and 4th are empty
    };
    std::vector<GraphPoint> p = BucketPoints(rows, s, 0);
    ASSERT_EQ(p.size(), rows.size());
    EXPECT_DOUBLE_EQ(p[1].Min, 14);
    p = BucketPoints(rows, s, 5);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_DOUBLE_EQ(p[0].dt, s);
    EXPECT_DOUBLE_EQ(p[0].Min, 10);
    EXPECT_DOUBLE_EQ(p[0].Max, 14);
    EXPECT_DOUBLE_EQ(p[0].avg, 12);
    EXPECT_NEAR(p[1].dt, s + 5 * minute, 1e-9);
    EXPECT_NEAR(p[2].dt, s + 20 * minute, 1e-9);
    EXPECT_DOUBLE_EQ(p[2].avg, 32);

    int m = 0;
    EXPECT_TRUE(AveragingMinutes(QStringLiteral("01:30"), m));
    EXPECT_EQ(m, 90);
    EXPECT_FALSE(AveragingMinutes(QStringLiteral("5 мин"), m));
    EXPECT_EQ(AveragingChoices().at(4), QStringLiteral("00:05"));
    EXPECT_EQ(AnalogParamNames().at(apFuelLitres), QStringLiteral("Уровень топлива (л)"));
}

class AnalogDbTest : public ReportDbTest {};

TEST_F(AnalogDbTest, SeriesBandsAndRefuellingBars) {
    TAnalogParams p;
    p.object = kObject;
    p.param = apFuelLitres;
    p.start = day2() + dt::encodeTime(13, 50, 0);
    p.end = day2() + dt::encodeTime(14, 19, 59);
    p.minutes = 5;
    TAnalogResult r = ExecAnalogGraphQuery(database(), p);
    EXPECT_TRUE(r.errors.empty());
    ASSERT_EQ(r.points.size(), 6u);
    EXPECT_DOUBLE_EQ(r.points[0].avg, 70); // 700 units before the refuelling
    EXPECT_DOUBLE_EQ(r.points.back().Max, 110);
    ASSERT_EQ(r.bars.size(), 2u);
    EXPECT_TRUE(r.bars[0].opening);
    EXPECT_DOUBLE_EQ(r.bars[0].height, 70);
    EXPECT_DOUBLE_EQ(r.bars[1].height, 110);
    ASSERT_FALSE(r.engine.empty());
    EXPECT_EQ(r.engine[0].colour, TBand::Blue); // the engine is off there
    EXPECT_EQ(r.tank[0].colour, TBand::Red);

    // The raw reading: the bars carry the readings themselves.
    p.param = apFuelRaw;
    r = ExecAnalogGraphQuery(database(), p);
    ASSERT_EQ(r.bars.size(), 2u);
    EXPECT_DOUBLE_EQ(r.bars[1].height, 1100);
    // The voltage chart draws no refuelling bars.
    p.param = apBoardVoltage;
    p.minutes = 0;
    r = ExecAnalogGraphQuery(database(), p);
    EXPECT_EQ(r.points.size(), 30u);
    EXPECT_TRUE(r.bars.empty());
    // Parameter 6: the filtered series and, as a second line, the bucketed filtered maxima.
    p.param = apFuelNormalised;
    p.minutes = 10;
    r = ExecAnalogGraphQuery(database(), p);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_FALSE(r.points.empty());
    EXPECT_FALSE(r.normalised.empty());
}

TEST_F(AnalogDbTest, ARefuellingAddedAndItsEndMovedByClicks) {
    TScriptedDialogs dialogs;
    TFuelComputations fuel(database(), options, norms(), fmngr);
    TFuelCharges charges(database(), dialogs);
    charges.setPeriod({kObject, day2(), periodEnd()});
    charges.ShowCharges();
    ASSERT_EQ(charges.rows().size(), 1u);
    TChargeMarking marking(fuel, charges);

    // Marking works only on the fuel-in-litres chart.
    EXPECT_FALSE(marking.beginAdd(apFuelRaw));
    EXPECT_FALSE(marking.click(kObject, apFuelRaw, day2() + 0.5, 1).taken);
    ASSERT_TRUE(marking.beginAdd(apFuelLitres));
    EXPECT_TRUE(std::isnan(marking.marked().fbgn));
    EXPECT_EQ(marking.marked().ibgn, -32768);

    const TDateTime at16 = day2() + dt::encodeTime(16, 0, 0);
    TChargeMarking::TClick c = marking.click(kObject, apFuelLitres, at16 + 20.0 / 86400, 55);
    ASSERT_TRUE(c.bar.has_value()); // the reading in force at the click: 16:00, 110 litres
    EXPECT_DOUBLE_EQ(c.bar->at, at16);
    EXPECT_DOUBLE_EQ(c.bar->height, 110);
    c = marking.click(kObject, apFuelLitres, at16 + 5.0 / 1440, 56);
    EXPECT_TRUE(c.written) << c.error.toStdString();
    EXPECT_EQ(marking.mode(), TChargeMarking::Idle);
    EXPECT_EQ(marking.log.last(),
              QStringLiteral("Добавлена заправка: начало в 01.04.2026 16:00:00, окончание в "
                             "01.04.2026 16:05:00"));
    ASSERT_EQ(charges.rows().size(), 2u); // the grid was read again
    EXPECT_EQ(rows(QStringLiteral("select OPEN_TANK_SENSOR, CLOSE_TANK_SENSOR, CHARGED_VOLUME "
                                  "from FUEL_CHARGE where ID = 501 and OPEN_TANK_TS_PACKET = "
                                  "'01.04.2026 16:00:00'")),
              QStringList({"1100|1100|<null>"}));

    // Moving the end: the reading in force at the click.
    charges.setCurrentRow(1);
    ASSERT_TRUE(marking.beginMove(false, apFuelLitres));
    c = marking.click(kObject, apFuelLitres, at16 + 30.0 / 1440, 57.5);
    EXPECT_TRUE(c.written) << c.error.toStdString();
    EXPECT_EQ(marking.log.last(),
              QStringLiteral("Заправка отредактирована ( [01.04.2026 16:00:00,01.04.2026 "
                             "16:05:00] -> [01.04.2026 16:00:00,01.04.2026 16:30:00])"));
    charges.setCurrentRow(1);
    ASSERT_TRUE(marking.beginMove(true, apFuelLitres));
    c = marking.click(kObject, apFuelLitres, day1() - 1, 12.5);
    EXPECT_TRUE(c.written) << c.error.toStdString();
    EXPECT_EQ(rows(QStringLiteral("select OPEN_TANK_TS_PACKET, OPEN_TANK_SENSOR from FUEL_CHARGE "
                                  "where ID = 501 and CLOSE_TANK_TS_PACKET = '01.04.2026 "
                                  "16:30:00'")),
              QStringList({"31.03.2026|1000"})); // before the data: the first reading

    sql(QStringLiteral("delete from FUEL_CHARGE where ID = 501 and CLOSE_TANK_TS_PACKET = "
                       "'01.04.2026 16:30:00';"));
    EXPECT_EQ(TChargeMarking::Hint(at16, 12.3456), QStringLiteral("01.04.2026 16:00:00,  12,346"));
}
