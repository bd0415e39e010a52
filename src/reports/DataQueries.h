#pragma once

// The queries of the single-object data window: the state changes ("Состояния"), the daily
// statistics ("Статистика по суткам") with its trace and totals row, and the statistics of the
// whole interval ("Статистика за период"). Each builds a TReportGrid; the window only shows it.
// The queries run on the connection of the fuel computations they are given, so a worker
// thread with a connection of its own can run them.

#include <QPointF>
#include <QString>
#include <QStringList>

#include <vector>

#include "app/DateUtils.h"
#include "reports/ReportGrid.h"

class TFuelComputations;
namespace db {
class TDatabase;
}

// The query parameters of the window's right-hand panel, as typed.
struct TDataParams {
    int object = 0;
    TDateTime start = 0;
    TDateTime end = 0;
    TDateTime maxLost = 3.0 / 1440; // "Максимальная потеря данных:" 00:03:00
    QString threshold = QStringLiteral("100"); // "Изменение показаний (мВ)"
    bool detect = true;                        // "Определить заправки"
    QString avgPeriod = QStringLiteral("60"); // "Интервал усреднения граничных значений"
    bool formatDays = true; // "Формат длительности": "Сутки" / "Часы"

    // The averaging minutes and the threshold as the daily and period pages read them.
    int averagingMinutes() const; // 60 when the text is not an integer
    int thresholdValue() const;   // 120 when the text is not an integer
};

// The greatest gap as the procedures take it: the time-of-day fraction with "." as the
// decimal separator (00:03:00 gives "0.00208333333333333").
QString GapText(TDateTime maxLost);

// The cell rules of the state page's columns.
enum TSostRule {
    SostPackTime,
    SostErrorAvtoProtect,
    SostWarningMode,
    SostLocomotiveMove,
    SostDieselWork,
    SostAbVoltageLessMin,
    SostAlertBtn,
    SostFuelLitres,
    SostBoardVoltage,
    SostTemperature,
    SostDuration,
};

// The columns of the three pages.
std::vector<TGridColumn> FormSostGridCols(db::TDatabase &database);
std::vector<TGridColumn> FormCalcGridCols(db::TDatabase &database);
std::vector<TGridColumn> FormByPeriodGridCols();

class TDataQueries {
public:
    explicit TDataQueries(TFuelComputations &fuel, TQueryControl control = {});

    // PROC_GETOBJSOSTDIF: one row per interval of unchanged state.
    TReportGrid ExecDiffQuery(const TDataParams &p, const std::vector<TGridColumn> &columns);
    // PROC_CALCPARAMS: one row per day and the totals row; the traces go to trace.
    TReportGrid ExecCalcQuery(const TDataParams &p, const std::vector<TGridColumn> &columns,
                              QStringList &trace);
    // The one row of the whole interval.
    TReportGrid ExecByPeriodQuery(const TDataParams &p, QStringList &trace);

private:
    TFuelComputations &m_fuel;
    TQueryControl m_control;
};

// The chart of one column of the daily grid (a click on its header).
struct TDailyChart {
    enum Colour { Green, Blue };
    QString title;
    bool hasSeries = false;
    Colour colour = Blue;
    bool timeAxis = false;       // durations: y is a time of day (days, 1.0 for 24:00:00)
    std::vector<QPointF> points; // x: the row's PAR_DATE as TDateTime
};
TDailyChart DailyChart(const TReportGrid &grid, int column);

// The daily chart's title before any click and after one on the date or number column.
QString DailyChartHint(); // "Для отображения графика щелкните требуемый стобец"
QString DailyChartNoColumn(); // "... столбец"
