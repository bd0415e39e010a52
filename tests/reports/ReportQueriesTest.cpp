// The data window's pages and the object-set report on a database built from the shipped
// script, with two days of one-minute data (ReportFixture.h).

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "reports/DataQueries.h"
#include "reports/ObjectsSetReport.h"
#include "reports/ReportFixture.h"

using namespace reporttest;

namespace {

QStringList column(const TReportGrid &g, const QString &field) {
    QStringList out;
    const int c = g.columnOf(field);
    for (int r = 0; r < g.rowCount(); ++r)
        out << g.cell(r, c);
    return out;
}

TDataParams twoDays() {
    TDataParams p;
    p.object = kObject;
    p.start = day1();
    p.end = periodEnd();
    p.detect = false;
    p.avgPeriod = QStringLiteral("0");
    return p;
}

} // namespace

class DataPagesTest : public ReportDbTest {};

TEST_F(DataPagesTest, StateChangesGiveOneRowPerIntervalWithLampsAndDurations) {
    const std::vector<TGridColumn> cols = FormSostGridCols(database());
    // The three fixed columns, then the catalogue's state columns in their order.
    ASSERT_GE(cols.size(), 9u);
    EXPECT_EQ(cols[0].field, QStringLiteral("OUT_PACKTIME"));
    EXPECT_EQ(cols[2].caption, QStringLiteral("Параметр;(по которому;изменение)"));
    EXPECT_EQ(cols[3].field, QStringLiteral("OUT_ALERTBTN"));
    EXPECT_EQ(cols[3].width, 80);
    int engine = -1;
    for (size_t i = 0; i < cols.size(); ++i)
        if (cols[i].field == QStringLiteral("OUT_ERRORAVTOPROTECT"))
            engine = int(i);
    ASSERT_GE(engine, 0);

    TFuelComputations fuel(database(), options, norms(), fmngr);
    TDataQueries q(fuel);
    const TReportGrid g = q.ExecDiffQuery(twoDays(), cols);
    EXPECT_EQ(g.object, kObject);
    EXPECT_EQ(column(g, QStringLiteral("OUT_PACKTIME")),
              QStringList({"31.03.2026", "31.03.2026 10:00:00", "31.03.2026 12:00:00",
                           "01.04.2026 01:00:00", "01.04.2026 08:00:00", "01.04.2026 11:00:00"}));
    EXPECT_EQ(
        column(g, QStringLiteral("OUT_DELTATIME")),
        QStringList({"10:00:00", "02:00:00", "13:00:00", "07:00:00", "03:00:00", "12:59:00"}));
    EXPECT_EQ(g.cell(1, 2), QStringLiteral("отказ автомата защиты 65 вольт"));
    EXPECT_EQ(g.cell(3, 2), QStringLiteral("тревожная кнопка"));

    TReportGridModel model;
    model.setGrid(g);
    const auto lamp = [&](int row, int col) {
        return model.data(model.index(row, col), TReportGridModel::LampRole).toInt();
    };
    EXPECT_EQ(lamp(0, 3), LampRed);  // the alarm button on
    EXPECT_EQ(lamp(3, 3), LampGrey); // and off
    EXPECT_EQ(lamp(1, engine), LampGreen);
    EXPECT_EQ(lamp(0, engine), LampGrey);
    EXPECT_TRUE(model.data(model.index(0, 3)).isNull()); // a lamp instead of the text
}

TEST(SostLamps, ValuesOtherThanZeroAndOneDrawTheDarkLamp) {
    const int alarm = SostLampRule(QStringLiteral("тревожная кнопка"));
    const int warning = SostLampRule(QStringLiteral("режим предупреждения"));
    EXPECT_EQ(SostLampImage(alarm, QStringLiteral("1")), LampRed);
    EXPECT_EQ(SostLampImage(warning, QStringLiteral("0")), LampRed);
    EXPECT_EQ(SostLampImage(warning, QString()), LampDark);
    EXPECT_EQ(SostLampImage(alarm, QStringLiteral("нет данных")), LampDark);
    EXPECT_EQ(SostLampRule(QStringLiteral("температура")), -1);
}

TEST_F(DataPagesTest, DailyRowsTotalsAndTheTextsOfMissingColumns) {
    std::vector<TGridColumn> cols = FormCalcGridCols(database());
    TFuelComputations fuel(database(), options, norms(), fmngr);
    TDataQueries q(fuel);
    QStringList trace;
    TDataParams p = twoDays();
    p.start = day1() + dt::encodeTime(6, 0, 0); // the first row starts at 06:00
    TReportGrid g = q.ExecCalcQuery(p, cols, trace);
    ASSERT_EQ(g.rowCount(), 3);
    EXPECT_EQ(column(g, QStringLiteral("PAR_DATE")),
              QStringList({"31.03.2026", "01.04.2026", "за период"}));
    EXPECT_EQ(column(g, QStringLiteral("PAR_NUMBER")), QStringList({"501", "501", "Итог"}));
    EXPECT_EQ(column(g, QStringLiteral("PAR_GENTIME")),
              QStringList({"02:00:00", "03:00:00", "0:05:00:00"}));
    // 18 hours from 06:00 and one hour of the second day; 25 hours from the day's start.
    EXPECT_EQ(column(g, QStringLiteral("PAR_ALERT")),
              QStringList({"18:00:00", "01:00:00", "0:19:00:00"}));
    EXPECT_EQ(column(g, QStringLiteral("PAR_CHARGEMANUAL")),
              QStringList({"0,00", "41,50", "41,50"}));
    EXPECT_EQ(column(g, QStringLiteral("PAR_CHARGEAUTO")), QStringList({"0,00", "40,00", "40,00"}));
    // The level falls 12 litres on the first day and 18 on the second.
    EXPECT_EQ(column(g, QStringLiteral("PAR_FUELCONS")), QStringList({"12,00", "18,00", "30,00"}));
    EXPECT_EQ(column(g, QStringLiteral("PAR_TRACKLEN")), QStringList({"0,000", "0,000", "0,000"}));
    EXPECT_EQ(column(g, QStringLiteral("PAR_AVGFUELLEN")),
              QStringList({"пробег = 0", "пробег = 0", "0,000"}));
    EXPECT_EQ(column(g, QStringLiteral("PAR_AVGFUELENG")),
              QStringList({"6,000", "6,000", "6,000"}));
    EXPECT_TRUE(trace.contains(QStringLiteral("Суммарный расход :: 12,000 л")));
    EXPECT_EQ(trace.first(), QStringLiteral("Расход топлива 31.03.2026 06:00:00 - 01.04.2026:"));
    EXPECT_TRUE(
        trace.contains(QStringLiteral("Заправки 31.03.2026 06:00:00 - 31.03.2026 23:59:59:")));

    // "Часы" changes only the totals row; 25 hours of alarm over the whole days.
    p.start = day1();
    p.formatDays = false;
    g = q.ExecCalcQuery(p, cols, trace);
    EXPECT_EQ(column(g, QStringLiteral("PAR_ALERT")),
              QStringList({"24:00:00", "01:00:00", "25:00:00"}));
    p.formatDays = true;
    g = q.ExecCalcQuery(p, cols, trace);
    EXPECT_EQ(g.cell(2, g.columnOf(QStringLiteral("PAR_ALERT"))), QStringLiteral("1:01:00:00"));

    // Without the distance or the consumption column the averages say what to add.
    std::vector<TGridColumn> noDistance, noFuel;
    for (const TGridColumn &c : cols) {
        if (c.field != QStringLiteral("PAR_TRACKLEN"))
            noDistance.push_back(c);
        if (c.field != QStringLiteral("PAR_FUELCONS"))
            noFuel.push_back(c);
    }
    g = q.ExecCalcQuery(p, noDistance, trace);
    EXPECT_EQ(g.cell(0, g.columnOf(QStringLiteral("PAR_AVGFUELLEN"))),
              QStringLiteral("добавьте пробег"));
    g = q.ExecCalcQuery(p, noFuel, trace);
    EXPECT_EQ(g.cell(0, g.columnOf(QStringLiteral("PAR_AVGFUELENG"))),
              QStringLiteral("добавьте расход"));
}

// The refuelling detection of the daily page on a second connection, beside the daily
// procedure, stores what the detection on the page's own connection stores, before the days'
// figures read it: the same grid and the same trace either way.
TEST_F(DataPagesTest, DetectionBesideTheDailyProcedureGivesTheSameFigures) {
    const std::vector<TGridColumn> cols = FormCalcGridCols(database());
    TDataParams p = twoDays();
    p.detect = true;
    const QString recorded = QStringLiteral("select OPEN_TANK_TS_PACKET, CLOSE_TANK_TS_PACKET, "
                                            "CHARGED_VOLUME from FUEL_CHARGE where ID = 501");
    const QStringList before = rows(recorded);
    // Without the operator's record the refuelling is there only when it has been detected.
    sql(QStringLiteral("delete from FUEL_CHARGE where ID = 501;\n"));
    TFuelComputations beside(database(), options, norms(), fmngr);
    beside.setSideConnection(shared()->settings);
    QStringList besideTrace;
    const TReportGrid besideGrid = TDataQueries(beside).ExecCalcQuery(p, cols, besideTrace);
    const QStringList detected = rows(recorded);
    sql(QStringLiteral("delete from FUEL_CHARGE where ID = 501;\n"));
    TFuelComputations own(database(), options, norms(), fmngr);
    QStringList ownTrace;
    const TReportGrid ownGrid = TDataQueries(own).ExecCalcQuery(p, cols, ownTrace);
    EXPECT_EQ(rows(recorded), detected);
    ASSERT_EQ(detected.size(), 1);
    EXPECT_TRUE(detected[0].endsWith(QStringLiteral("|<null>")));
    EXPECT_EQ(column(besideGrid, QStringLiteral("PAR_CHARGEAUTO")),
              QStringList({"0,00", "40,00", "40,00"}));
    EXPECT_EQ(besideGrid.rows, ownGrid.rows);
    EXPECT_EQ(besideTrace, ownTrace);
    // The suite's record back as it was.
    sql(QStringLiteral("delete from FUEL_CHARGE where ID = 501;\n"
                       "insert into FUEL_CHARGE values (501, '01.04.2026 14:00:00', 700, "
                       "'01.04.2026 14:10:00', 1100, 41.5);\n"));
    EXPECT_EQ(rows(recorded), before);
}

TEST_F(DataPagesTest, AFailingDistanceShowsItsMessageInTheCell) {
    // A day file that cannot be read: the distance and norm cells carry the message.
    ASSERT_TRUE(QDir().mkpath(cache.path() + QStringLiteral("/501/20260331.dat")));
    const std::vector<TGridColumn> cols = FormCalcGridCols(database());
    TFuelComputations fuel(database(), options, norms(), fmngr);
    TDataQueries q(fuel);
    QStringList trace;
    const TReportGrid g = q.ExecCalcQuery(twoDays(), cols, trace);
    const QString cell = g.cell(0, g.columnOf(QStringLiteral("PAR_TRACKLEN")));
    const bool framed =
        cell.startsWith(QStringLiteral("- (")) && cell.endsWith(QStringLiteral(")"));
    EXPECT_TRUE(framed) << cell.toStdString();
    EXPECT_EQ(g.cell(0, g.columnOf(QStringLiteral("PAR_FUELCONST"))), cell);
    EXPECT_EQ(g.cell(0, g.columnOf(QStringLiteral("PAR_AVGFUELLEN"))),
              QStringLiteral("пробег = 0"));
    EXPECT_EQ(g.cell(1, g.columnOf(QStringLiteral("PAR_TRACKLEN"))), QStringLiteral("0,000"));
}

TEST_F(DataPagesTest, PeriodRowInBothDurationFormats) {
    TFuelComputations fuel(database(), options, norms(), fmngr);
    TDataQueries q(fuel);
    QStringList trace;
    TDataParams p = twoDays();
    TReportGrid g = q.ExecByPeriodQuery(p, trace);
    ASSERT_EQ(g.rowCount(), 1);
    ASSERT_EQ(g.columnCount(), 12);
    EXPECT_EQ(g.columns[0].width, 120);
    EXPECT_EQ(g.rows[0][0], QStringLiteral("31.03.2026"));
    EXPECT_EQ(g.rows[0][1], QStringLiteral("01.04.2026 23:59:59"));
    EXPECT_EQ(g.rows[0][2], QStringLiteral("100,000")); // 1000 units at the start
    EXPECT_EQ(g.rows[0][3], QStringLiteral("110,000"));
    EXPECT_EQ(g.rows[0][4], QStringLiteral("40,00"));
    EXPECT_EQ(g.rows[0][5], QStringLiteral("41,50"));
    EXPECT_EQ(g.rows[0][6], QStringLiteral("30,00"));
    EXPECT_EQ(g.rows[0][9], QStringLiteral("0:05:00:00"));
    EXPECT_EQ(g.rows[0][10], QStringLiteral("0,000")); // no distance
    EXPECT_EQ(g.rows[0][11], QStringLiteral("6,000")); // 30 litres in 5 hours
    p.formatDays = false;
    g = q.ExecByPeriodQuery(p, trace);
    EXPECT_EQ(g.rows[0][9], QStringLiteral("5:00:00"));
    EXPECT_EQ(g.rows[0][11], QStringLiteral("6,000"));
}

TEST_F(DataPagesTest, DailyChartOfADurationAndOfANumber) {
    const std::vector<TGridColumn> cols = FormCalcGridCols(database());
    TFuelComputations fuel(database(), options, norms(), fmngr);
    TDataQueries q(fuel);
    QStringList trace;
    const TReportGrid g = q.ExecCalcQuery(twoDays(), cols, trace);
    TDailyChart c = DailyChart(g, g.columnOf(QStringLiteral("PAR_GENTIME")));
    EXPECT_TRUE(c.hasSeries);
    EXPECT_TRUE(c.timeAxis);
    EXPECT_EQ(c.title, QStringLiteral("Статистика по объекту - 501 (Время работы двигателя)"));
    ASSERT_EQ(c.points.size(), 2u); // not the totals row
    EXPECT_DOUBLE_EQ(c.points[0].x(), day1());
    EXPECT_DOUBLE_EQ(c.points[1].y(), 3.0 / 24);
    c = DailyChart(g, g.columnOf(QStringLiteral("PAR_FUELCONS")));
    EXPECT_EQ(c.title, QStringLiteral("Статистика по объекту - 501 (Расход топлива)"));
    EXPECT_EQ(c.colour, TDailyChart::Blue);
    EXPECT_DOUBLE_EQ(c.points[1].y(), 18);
    c = DailyChart(g, g.columnOf(QStringLiteral("PAR_DATE")));
    EXPECT_FALSE(c.hasSeries);
    EXPECT_EQ(c.title, QStringLiteral("Для отображения графика щелкните требуемый столбец"));
}

TEST(DataParams, GapAndFieldFallbacks) {
    EXPECT_EQ(GapText(dt::encodeTime(0, 3, 0)), QStringLiteral("0.00208333333333333"));
    TDataParams p;
    p.avgPeriod = QStringLiteral("abc");
    p.threshold = QStringLiteral("");
    EXPECT_EQ(p.averagingMinutes(), 60);
    EXPECT_EQ(p.thresholdValue(), 120);
}

// ---------------------------------------------------------------------------------------------

class ObjectsSetTest : public ReportDbTest {
protected:
    static TSetEntry object(int n) {
        TSetEntry e;
        e.text = QString::number(n);
        e.number = n;
        return e;
    }
    static TSetEntry group(const QString &path, const QString &id, int level,
                           std::vector<int> members) {
        TSetEntry e;
        e.text = path;
        e.isGroup = true;
        e.groupId = id;
        e.level = level;
        e.members = std::move(members);
        return e;
    }
    TSetParams params() const {
        TSetParams p;
        p.start = QDate(2026, 3, 31);
        p.end = QDate(2026, 4, 1);
        p.detect = false;
        p.avgPeriod = QStringLiteral("0");
        return p;
    }
};

TEST_F(ObjectsSetTest, SubtotalsByLevelForAGroupWithASubgroup) {
    const std::vector<TGridColumn> cols = FormSetGridCols(database());
    for (const TGridColumn &c : cols)
        EXPECT_TRUE(c.field != QStringLiteral("PAR_DATE") &&
                    c.field != QStringLiteral("PAR_NUMBER"));
    TFuelComputations fuel(database(), options, norms(), fmngr);
    TObjectsSetReport report(fuel);
    QStringList objList;
    const TReportGrid t = report.TableQuery({object(kObject), object(kEmpty),
                                             group(QStringLiteral("A"), kGroupA, 1, {501, 502}),
                                             group(QStringLiteral("A~B"), kGroupB, 2, {501})},
                                            params(), cols, objList);
    EXPECT_EQ(t.rowCaptions, QStringList({"Тепловоз <1> & Co ( 501 )", "Пустой ( 502 )", "Итог",
                                          "A", "Итог", "A~B", "Итог"}));
    EXPECT_EQ(objList, QStringList({"501", "502", "501", "502", "501"}));
    EXPECT_EQ(
        column(t, QStringLiteral("PAR_GENTIME")),
        QStringList({"5:00:00", "0:00:00", "5:00:00", "5:00:00", "5:00:00", "5:00:00", "5:00:00"}));
    EXPECT_EQ(column(t, QStringLiteral("PAR_FUELCONS")),
              QStringList({"30,000", "0,000", "30,000", "-", "0,000", "-", "0,000"}));
    EXPECT_EQ(column(t, QStringLiteral("PAR_CHARGEMANUAL")),
              QStringList({"41,500", "0,000", "41,500", "-", "0,000", "-", "0,000"}));
    // Rows: fuel per engine hour; the level-change subtotal adds the rows' averages, the last
    // one recomputes from its run's sums (groups carry no fuel figures).
    EXPECT_EQ(column(t, QStringLiteral("PAR_AVGFUELENG")),
              QStringList({"6,000", "0,000", "6,000", "0,000", "0,000", "0,000", "0,000"}));
    EXPECT_EQ(column(t, QStringLiteral("PAR_ALERT")),
              QStringList({"25:00:00", "0:00:00", "25:00:00", "25:00:00", "25:00:00", "25:00:00",
                           "25:00:00"}));
}

TEST_F(ObjectsSetTest, OneObjectGivesItsRowAndARecomputedSubtotal) {
    const std::vector<TGridColumn> cols = FormSetGridCols(database());
    TFuelComputations fuel(database(), options, norms(), fmngr);
    TObjectsSetReport report(fuel);
    QStringList objList;
    TReportGrid t = report.TableQuery({object(kObject)}, params(), cols, objList);
    ASSERT_EQ(t.rowCount(), 2);
    EXPECT_EQ(t.rows[1], t.rows[0]);
    t = report.TableQuery({}, params(), cols, objList);
    EXPECT_EQ(t.rowCount(), 0);
    EXPECT_TRUE(objList.isEmpty());
    TSetParams bad = params();
    bad.threshold = QStringLiteral("сто");
    EXPECT_THROW(report.TableQuery({object(kObject)}, bad, cols, objList), std::exception);
}

// With "Определить заправки" each object's detection goes on beside its totals procedure on a
// second connection: the row equals the one detected on the report's own connection.
TEST_F(ObjectsSetTest, DetectionBesideTheTotalsGivesTheSameRow) {
    const std::vector<TGridColumn> cols = FormSetGridCols(database());
    TSetParams p = params();
    p.detect = true;
    const QString recorded = QStringLiteral("select OPEN_TANK_TS_PACKET, CLOSE_TANK_TS_PACKET, "
                                            "CHARGED_VOLUME from FUEL_CHARGE where ID = 501");
    const QStringList before = rows(recorded);
    QStringList objList;
    sql(QStringLiteral("delete from FUEL_CHARGE where ID = 501;\n"));
    TFuelComputations beside(database(), options, norms(), fmngr);
    beside.setSideConnection(shared()->settings);
    const TReportGrid besideTable =
        TObjectsSetReport(beside).TableQuery({object(kObject)}, p, cols, objList);
    EXPECT_EQ(rows(recorded).size(), 1);
    sql(QStringLiteral("delete from FUEL_CHARGE where ID = 501;\n"));
    TFuelComputations own(database(), options, norms(), fmngr);
    const TReportGrid ownTable =
        TObjectsSetReport(own).TableQuery({object(kObject)}, p, cols, objList);
    EXPECT_EQ(besideTable.rows, ownTable.rows);
    EXPECT_EQ(besideTable.cell(0, besideTable.columnOf(QStringLiteral("PAR_CHARGEAUTO"))),
              QStringLiteral("40,000"));
    sql(QStringLiteral("delete from FUEL_CHARGE where ID = 501;\n"
                       "insert into FUEL_CHARGE values (501, '01.04.2026 14:00:00', 700, "
                       "'01.04.2026 14:10:00', 1100, 41.5);\n"));
    EXPECT_EQ(rows(recorded), before);
}

TEST_F(ObjectsSetTest, ChartPointsByDayAndByMonth) {
    TFuelComputations fuel(database(), options, norms(), fmngr);
    TObjectsSetReport report(fuel);
    TSetParams p = params();
    const std::vector<TSetEntry> entries{object(kObject),
                                         group(QStringLiteral("A~B"), kGroupB, 2, {501})};
    TSetChart c = report.ChartQuery(entries, p, QStringLiteral("Время работы двигателя"));
    EXPECT_EQ(c.title, QStringLiteral("Время работы двигателя"));
    ASSERT_EQ(c.series.size(), 2u);
    EXPECT_EQ(c.series[0].title, QStringLiteral("Объект №501"));
    EXPECT_EQ(c.series[0].labels, QStringList({"31.03.2026", "01.04.2026"}));
    EXPECT_EQ(c.series[0].values, std::vector<double>({2, 3}));
    EXPECT_EQ(c.series[1].title, QStringLiteral("A~B"));
    EXPECT_EQ(c.series[1].values, std::vector<double>({2, 3}));

    p.byMonth = true;
    c = report.ChartQuery(entries, p, QStringLiteral("Время работы двигателя"));
    EXPECT_EQ(c.series[0].labels, QStringList({"3.2026", "4.2026"}));
    EXPECT_EQ(c.series[0].values, std::vector<double>({2, 3}));
    EXPECT_EQ(c.series[1].labels, QStringList({"3.2026", "4.2026"}));
    c = report.ChartQuery({object(kObject)}, p, QStringLiteral("Расход на 1 час работы двигателя"));
    EXPECT_EQ(c.series[0].values, std::vector<double>({6, 6}));
    c = report.ChartQuery({object(kEmpty)}, p, QStringLiteral("Расход на 1 час работы двигателя"));
    EXPECT_EQ(c.series[0].values, std::vector<double>({0, 0})); // a zero divisor gives 0
}

TEST(ObjectsSetList, DropsSortObjectsFirstAndSkipTexts) {
    TAssignedList list;
    const auto node = [](TSetNode::Kind kind, const QString &text, int number = 0,
                         const QString &id = QString(), int level = 0) {
        TSetNode n;
        n.kind = kind;
        n.text = text;
        n.number = number;
        n.groupId = id;
        n.path = text;
        n.level = level;
        return n;
    };
    const TSetNode g1 = node(TSetNode::Group, QStringLiteral("b"), 0, QStringLiteral("{1}"), 1);
    const TSetNode g2 = node(TSetNode::Group, QStringLiteral("A"), 0, QStringLiteral("{2}"), 1);
    const TSetNode o7 = node(TSetNode::Object, QStringLiteral("7"), 7);
    const TSetNode o5 = node(TSetNode::Object, QStringLiteral("5"), 5);
    const TSetNode free = node(TSetNode::FreeObjects, QStringLiteral("Свободные объекты"));
    const TSetNode root = node(TSetNode::Root, QStringLiteral("Группы"));
    list.dropNodes({g1, o7, root, g2, o5}, {});
    QStringList texts;
    for (const TSetEntry &e : list.entries)
        texts << e.text;
    EXPECT_EQ(texts, QStringList({"5", "7", "A", "b"}));
    EXPECT_EQ(list.entries[0].level, -1);
    EXPECT_EQ(list.entries[2].level, 1);
    list.dropNodes({free, o5}, {9, 7, 3});
    texts.clear();
    for (const TSetEntry &e : list.entries)
        texts << e.text;
    EXPECT_EQ(texts, QStringList({"5", "7", "A", "b", "9", "3"}));
    list.swap(0, 3);
    EXPECT_EQ(list.entries[0].text, QStringLiteral("b"));
    list.remove({0, 5, 5});
    EXPECT_EQ(list.entries.size(), 4u);
    EXPECT_EQ(list.entries[0].text, QStringLiteral("7"));
    EXPECT_DOUBLE_EQ(MyTimeToHour(QStringLiteral("1-2-30-36")), 26.51);
}
