#pragma once

// The page "Аналоговые величины" of the data window: one analog quantity of an object over the
// query interval in buckets of the averaging time, the bands of engine work and tank-cover state
// and the bars of the recorded refuellings; and the marking of refuellings by clicks on the
// fuel-in-litres chart, written into the refuelling records of the page's grid.

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

#include "app/DateUtils.h"
#include "reports/FuelCharges.h"
#include "reports/FuelComputations.h"
#include "reports/ReportGrid.h"

namespace db {
class TDatabase;
}

// One point of the chart.
struct GraphPoint {
    TDateTime dt = 0;
    double Min = 0;
    double Max = 0;
    double avg = 0;
};

// "Параметр": 0 "Напряжение в бортовой сети (АЦП)" ... 6 "Нормированный уровень топлива (АЦП)".
enum TAnalogParam {
    apBoardVoltage,
    apTemperature,
    apFuelLitres, // the only chart that marks refuellings
    apFuelRaw,
    apFuelLitresFiltered,
    apFuelRawFiltered,
    apFuelNormalised,
};
QStringList AnalogParamNames();
// "Интервал усреднения (чч:мм)": the choices, the default "00:05".
QStringList AveragingChoices();
// The whole minutes of a typed "hh:mm"; false when the text is not a time.
bool AveragingMinutes(const QString &text, int &minutes);

// Rows in buckets of `minutes` from start: a point per bucket that holds values, at the bucket's
// start, with their minimum, maximum and mean; minutes < 1 makes every row a point.
std::vector<GraphPoint> BucketPoints(const std::vector<std::pair<TDateTime, double>> &rows,
                                     TDateTime start, int minutes);

// A band of the engine row ("двиг.") or the tank row ("бак").
struct TBand {
    enum Colour { Grey, Green, Blue, Teal, Red };
    TDateTime from = 0;
    TDateTime to = 0;
    Colour colour = Grey;
};

// A refuelling bar: red at the opening, blue at the closing.
struct TChargeBar {
    TDateTime at = 0;
    double height = 0;
    bool opening = true;
};

struct TAnalogResult {
    int param = -1;
    std::vector<GraphPoint> points;     // the minimum, maximum and average series
    std::vector<GraphPoint> normalised; // parameter 6's second pass (the bucket maxima)
    std::vector<TBand> engine;
    std::vector<TBand> tank;
    std::vector<TChargeBar> bars;
    struct TError {
        QString caption;
        QString text;
    };
    std::vector<TError> errors; // shown after the query, in order; the query went on
};

struct TAnalogParams {
    int object = 0;
    int param = apFuelLitres;
    TDateTime start = 0;
    TDateTime end = 0;
    int minutes = 5;
    TDateTime maxLost = 3.0 / 1440;
};

// The series, the bands and the bars of the page.
TAnalogResult ExecAnalogGraphQuery(db::TDatabase &database, const TAnalogParams &p,
                                   const TQueryControl &control = {});

// The error text of the page's queries: the fixed prefix, CR LF, the database's message.
QString AnalogErrorText(const QString &message);

// Marking refuellings on the fuel-in-litres chart. Reads and writes go through the page's
// refuelling grid (its transaction); GetReadingAt through the fuel computations.
class TChargeMarking {
public:
    enum Mode { Idle, Adding, MovingStart, MovingEnd };

    TChargeMarking(TFuelComputations &fuel, TFuelCharges &charges);

    Mode mode() const { return m_mode; }
    const TTimeRange &marked() const { return m_marked; }
    // The edit log under the grid.
    QStringList log;

    // "Добавить заправку": an empty marked record; false (nothing changes) on another chart.
    bool beginAdd(int lastParam);
    // "Перенести начало заправки" / "... окончания": the grid's current refuelling.
    bool beginMove(bool start, int lastParam);
    // A click anywhere else in the window.
    void cancel() { m_mode = Idle; }

    // The chart's hint for a press: the time under the pointer, ",  ", the value "0.000".
    static QString Hint(TDateTime time, double value);

    struct TClick {
        bool taken = false;            // the click marked something
        std::optional<TChargeBar> bar; // the bar to draw at once (the beginning while adding)
        bool written = false;          // a refuelling was inserted or moved (grid re-read)
        QString error;                 // the database's message of a refused write
    };
    // A press on the chart at (time, value) of the given chart; refused silently unless the
    // object is known and the last chart is the fuel-in-litres one.
    TClick click(int object, int lastParam, TDateTime time, double value);

    // The empty marked record: times 0, readings -32768, litres NaN.
    static TTimeRange EmptyRange();

private:
    void takePoint(int object, TDateTime time, double value, bool begin);

    TFuelComputations &m_fuel;
    TFuelCharges &m_charges;
    Mode m_mode = Idle;
    TTimeRange m_marked = EmptyRange();
    bool m_haveBegin = false;
    std::optional<TFuelChargeRow> m_old;
};
Q_DECLARE_METATYPE(TAnalogResult)
