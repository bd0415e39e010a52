#include "reports/DataQueries.h"

#include <cmath>
#include <future>
#include <map>
#include <optional>

#include "app/FormatSettings.h"
#include "app/SqlLiteral.h"
#include "db/Database.h"
#include "reports/Durations.h"
#include "reports/FuelComputations.h"
#include "reports/ReportTexts.h"

using db::TQuery;
using db::TTransaction;
using db::TTransactionKind;

namespace {

QString f2(double v) {
    return TFormatSettings::current().formatFloat(v, 2);
}

double cellNumber(const QString &text) {
    double v = 0;
    return TextToFloat(text, v) ? v : 0;
}

// A D-H-M-S text as HH:MM:SS; what is not one stays as it came.
QString hms(const QString &dhms) {
    if (dhms.isEmpty())
        return dhms;
    try {
        return DHMStoHMS(dhms);
    } catch (const std::exception &) {
        return dhms;
    }
}

int64_t secondsOf(const QString &hmsText) {
    try {
        return HMSToSeconds(hmsText);
    } catch (const std::exception &) {
        return 0;
    }
}

bool isInteger(const QString &text, int &value) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (ok)
        value = v;
    return ok;
}

TDateTime nextMidnight(TDateTime t) {
    return std::floor(t) + 1;
}

const QString kNumber = QStringLiteral("PAR_NUMBER");
const QString kDate = QStringLiteral("PAR_DATE");
const QString kTrackLen = QStringLiteral("PAR_TRACKLEN");
const QString kFuelCons = QStringLiteral("PAR_FUELCONS");
const QString kFuelConst = QStringLiteral("PAR_FUELCONST");
const QString kChargeAuto = QStringLiteral("PAR_CHARGEAUTO");
const QString kChargeManual = QStringLiteral("PAR_CHARGEMANUAL");
const QString kAvgLen = QStringLiteral("PAR_AVGFUELLEN");
const QString kAvgEng = QStringLiteral("PAR_AVGFUELENG");
const QString kGenTime = QStringLiteral("PAR_GENTIME");

bool isDurationField(const QString &f) {
    static const QStringList d{QStringLiteral("PAR_ALERT"),      QStringLiteral("PAR_OPENTANK"),
                               QStringLiteral("PAR_OPENKUNG"),   QStringLiteral("PAR_GENTIME"),
                               QStringLiteral("PAR_INP1"),       QStringLiteral("PAR_INP2"),
                               QStringLiteral("PAR_INVALIDDATA")};
    return d.contains(f, Qt::CaseInsensitive);
}

} // namespace

int TDataParams::averagingMinutes() const {
    int v = 60;
    return isInteger(avgPeriod, v) ? v : 60;
}

int TDataParams::thresholdValue() const {
    int v = 120;
    return isInteger(threshold, v) ? v : 120;
}

QString GapText(TDateTime maxLost) {
    const double f = dt::timeOf(maxLost);
    return QString::number(std::isfinite(f) ? f : 0, 'g', 15);
}

QString DailyChartHint() {
    return QStringLiteral("Для отображения графика щелкните требуемый стобец");
}

QString DailyChartNoColumn() {
    return QStringLiteral("Для отображения графика щелкните требуемый столбец");
}

// ---------------------------------------------------------------------------------------------
// Columns

std::vector<TGridColumn> FormSostGridCols(db::TDatabase &database) {
    std::vector<TGridColumn> cols{
        {QStringLiteral("Начало состояния"), QStringLiteral("OUT_PACKTIME"), QString(), 120},
        {QStringLiteral("Продолжительность"), QStringLiteral("OUT_DELTATIME"), QString(), 100},
        {QStringLiteral("Параметр;(по которому;изменение)"), QStringLiteral("OUT_REASON"),
         QString(), 160},
    };
    // The catalogue captions of the parameters whose cells have rules of their own.
    static const std::vector<std::pair<QString, TSostRule>> specials{
        {QStringLiteral("дата\\время"), SostPackTime},
        {QStringLiteral("отказ автомата защиты 65 вольт"), SostErrorAvtoProtect},
        {QStringLiteral("режим предупреждения"), SostWarningMode},
        {QStringLiteral("движение локомотива"), SostLocomotiveMove},
        {QStringLiteral("Работает дизель локомотива"), SostDieselWork},
        {QStringLiteral("напряжение на АБ меньше минимального порога"), SostAbVoltageLessMin},
        {QStringLiteral("тревожная кнопка"), SostAlertBtn},
        {QStringLiteral("время горения котла 2"), SostFuelLitres},
        {QStringLiteral("время горения котла 1"), SostBoardVoltage},
        {QStringLiteral("температура"), SostTemperature},
    };
    std::map<QString, QString> captionOf;
    TTransaction tr(database, TTransactionKind::ReadCommitted);
    tr.start();
    {
        TQuery q(tr, QStringLiteral("SELECT PRM_NAME, PRM_CAPTION FROM PARAMS"));
        q.open();
        while (q.next())
            captionOf[q.field(0).asString()] = q.field(1).asString();
        q.close();
    }
    TQuery q(tr, QStringLiteral("SELECT * FROM PARAMS WHERE ( PRM_USEINSOSTQUERY = 1 ) AND ( "
                                "PRM_INPSTBLNAME <> '0' ) AND ( PRM_USEINPROGRAM = 1 ) ORDER BY "
                                "PRM_USESOSTINDEX"));
    q.open();
    while (q.next()) {
        TGridColumn c;
        c.caption = q.field(QStringLiteral("PRM_CAPTION")).asString();
        c.width = q.field(QStringLiteral("PRM_SOST_GRID_COL_WIDTH")).asInteger();
        c.field =
            QStringLiteral("OUT_") + q.field(QStringLiteral("PRM_INPSTBLNAME")).asString().mid(4);
        c.name = q.field(QStringLiteral("PRM_NAME")).asString();
        cols.push_back(c);
    }
    q.close();
    tr.commit();
    for (TGridColumn &c : cols) {
        c.lamp = SostLampRule(c.name);
        for (const auto &[name, rule] : specials) {
            const auto it = captionOf.find(name);
            if (it != captionOf.end() && !it->second.isEmpty() && c.caption.contains(it->second)) {
                c.special = rule;
                break;
            }
        }
        if (c.special < 0 && c.caption.contains(QStringLiteral("Продолжительность")))
            c.special = SostDuration;
    }
    return cols;
}

std::vector<TGridColumn> FormCalcGridCols(db::TDatabase &database) {
    std::vector<TGridColumn> cols;
    TTransaction tr(database, TTransactionKind::ReadCommitted);
    tr.start();
    TQuery q(tr, QStringLiteral("SELECT * FROM CALCPARAMS WHERE PR_DISP = 1 ORDER BY PR_INDEX"));
    q.open();
    while (q.next()) {
        TGridColumn c;
        c.caption = q.field(QStringLiteral("PR_CAPTION")).asString();
        c.field = q.field(QStringLiteral("PR_NAME")).asString();
        c.name = c.field;
        c.width = 90;
        cols.push_back(c);
    }
    q.close();
    tr.commit();
    return cols;
}

std::vector<TGridColumn> FormByPeriodGridCols() {
    const std::pair<const char16_t *, const char *> defs[] = {
        {u"Дата; начала; интервала", "INS_TIMESTART"},
        {u"Дата; оконч.; интервала", "INS_TIMEFINISH"},
        {u"Показания; датчика; на нач.", "INS_FUELBEFORE"},
        {u"Показания; датчика; на оконч.", "INS_FUELAFTER"},
        {u"Залито; топлива; (датчик)", "INS_CHARGEAUTO"},
        {u"Залито; топлива; (факт)", "INS_CHARGEMANUAL"},
        {u"Расход; (датчик)", "INS_FUELUSE"},
        {u"Расход; (норматив)", "INS_FUELNORM"},
        {u"Пробег; ", "INS_TRACKLEN"},
        {u"Время работы; двигателя", "INS_GENTIME"},
        {u" Расход; топлива; на 100 км; (л/100км) ", "INS_AVGFUELLEN"},
        {u" Расход; топлива; на 1 час работы; двигателя; (л/ч)", "INS_AVGFUELENG"},
    };
    std::vector<TGridColumn> cols;
    int i = 0;
    for (const auto &[caption, field] : defs) {
        TGridColumn c;
        c.caption = QString::fromUtf16(caption);
        c.field = QString::fromLatin1(field);
        c.width = i++ < 2 ? 120 : 90;
        cols.push_back(c);
    }
    return cols;
}

// ---------------------------------------------------------------------------------------------

TDataQueries::TDataQueries(TFuelComputations &fuel, TQueryControl control)
    : m_fuel(fuel), m_control(std::move(control)) {}

TReportGrid TDataQueries::ExecDiffQuery(const TDataParams &p,
                                        const std::vector<TGridColumn> &columns) {
    TReportGrid grid;
    grid.columns = columns;
    grid.object = p.object;
    TTransaction tr(m_fuel.database(), TTransactionKind::ReadCommitted);
    tr.start();
    TQuery q(tr, QStringLiteral("SELECT * FROM PROC_GETOBJSOSTDIF( %1, %2, '%3', %4 )")
                     .arg(sql::timestamp(p.end), sql::timestamp(p.start), GapText(p.maxLost),
                          QString::number(p.object)));
    TQuery litres(tr, QStringLiteral("SELECT OUT_FUEL_LEVEL FROM PROC_GETFUEL(:obj, :sensor)"));
    const auto field = [&](const QString &name) -> const db::TValue * {
        const int i = q.fieldIndex(name);
        return i < 0 ? nullptr : &q.field(i);
    };
    const auto textOf = [&](const QString &name) {
        const db::TValue *v = field(name);
        return v ? v->asString() : QString();
    };
    const auto number = [&](const QString &name, double scale, int decimals,
                            const QString &suffix) -> QString {
        const db::TValue *v = field(name);
        if (!v || v->isNull())
            return {};
        return TFormatSettings::current().formatFloat(v->asDouble() / scale, decimals) + suffix;
    };
    q.open();
    int n = 0;
    while (q.next()) {
        m_control.step(++n, 0);
        QStringList row;
        for (const TGridColumn &c : columns) {
            QString text;
            switch (c.special) {
            case SostPackTime:
                text = textOf(QStringLiteral("OUT_PACKTIME"));
                break;
            case SostErrorAvtoProtect:
                text = textOf(QStringLiteral("OUT_ERRORAVTOPROTECT"));
                break;
            case SostWarningMode:
                text = textOf(QStringLiteral("OUT_WARNINGMODE"));
                break;
            case SostLocomotiveMove:
                text = textOf(QStringLiteral("OUT_LOCOMOTIVEMOVE"));
                break;
            case SostDieselWork:
                text = textOf(QStringLiteral("OUT_DIESELWORK"));
                break;
            case SostAbVoltageLessMin:
                text = textOf(QStringLiteral("OUT_ABVOLTAGELESSMIN"));
                break;
            case SostAlertBtn:
                text = textOf(QStringLiteral("OUT_ALERTBTN"));
                break;
            case SostFuelLitres: {
                const db::TValue *v = field(QStringLiteral("OUT_FUELLEVEL"));
                if (v && !v->isNull()) {
                    litres.setParam(QStringLiteral("obj"), p.object);
                    litres.setParam(QStringLiteral("sensor"), v->asInteger());
                    litres.open();
                    if (litres.next())
                        text = f2(litres.field(0).asDouble());
                    litres.close();
                }
                break;
            }
            case SostBoardVoltage:
                text = number(QStringLiteral("OUT_BOARDVOLTAGE"), 1000, 2, QString());
                break;
            case SostTemperature:
                text = number(QStringLiteral("OUT_TEMPERATURE"), 1, 1, QStringLiteral(" °C"));
                break;
            case SostDuration:
                text = hms(textOf(QStringLiteral("OUT_DELTATIME")));
                break;
            default:
                if (const db::TValue *v = field(c.field))
                    text = v->asString();
            }
            row << text;
        }
        grid.rows.push_back(row);
    }
    q.close();
    tr.commit();
    return grid;
}

TReportGrid TDataQueries::ExecCalcQuery(const TDataParams &p,
                                        const std::vector<TGridColumn> &columns,
                                        QStringList &trace) {
    trace.clear();
    TReportGrid grid;
    grid.columns = columns;
    grid.object = p.object;

    // The days first, then the computations of each (they run queries of their own).
    struct TDay {
        TDateTime date = 0;
        double accGenTime = 0;
        std::map<QString, QString> texts; // upper-case field name -> text
    };
    std::vector<TDay> days;
    const int cTrack = grid.columnOf(kTrackLen), cFuel = grid.columnOf(kFuelCons);
    // The refuellings are detected once over the whole interval, before the days' figures: a
    // refuelling across midnight is found whole, and the readings are read once instead of
    // once a day. The detection reads the readings of its own pass, so it goes on beside the
    // daily procedure (on a second connection when there is one). The procedure gives no day
    // for an interval that ends before it starts, and then nothing is detected.
    std::future<void> detection;
    if (cFuel >= 0 && p.detect && p.start <= p.end)
        detection = m_fuel.DetectChargesBeside(p.object, p.thresholdValue(), p.start, p.end);
    {
        TTransaction tr(m_fuel.database(), TTransactionKind::Read);
        tr.start();
        TQuery q(tr, QStringLiteral("SELECT * FROM PROC_CALCPARAMS( %1, %2, '%3', %4 )")
                         .arg(sql::timestamp(p.end), sql::timestamp(p.start), GapText(p.maxLost),
                              QString::number(p.object)));
        q.open();
        while (q.next()) {
            TDay d;
            d.date = std::floor(q.field(kDate).asDateTime());
            const int g = q.fieldIndex(QStringLiteral("ACC_GENTIME"));
            d.accGenTime = g < 0 ? 0 : q.field(g).asDouble();
            for (int i = 0; i < q.fieldCount(); ++i)
                if (!q.field(i).isNull())
                    d.texts[q.columns()[size_t(i)].name.toUpper()] = q.field(i).asString();
            days.push_back(std::move(d));
        }
        q.close();
        tr.commit();
    }

    if (detection.valid()) {
        m_control.step(0, int(days.size()));
        detection.get();
    }
    // The days' fuel figures read through one transaction and statements prepared once.
    TFuelComputations::TRun run(m_fuel);
    TDateTime s = p.start;
    const TDateTime e = p.end;
    int done = 0;
    for (const TDay &d : days) {
        m_control.step(done++, int(days.size()));
        if (d.date != std::floor(s))
            s = d.date;
        const bool severalDays = std::floor(s) != std::floor(e);
        const TDateTime e1 = severalDays ? nextMidnight(s) : e;
        const TDateTime eCharge = severalDays ? e1 - 1.0 / 86400 : e;
        const TDateTime eTrack = std::min(e, std::floor(s) + dt::encodeTime(23, 59, 59));

        std::optional<double> distance;
        QString distanceError;
        const auto getDistance = [&]() {
            if (!distance && distanceError.isEmpty()) {
                try {
                    distance = m_fuel.GetTrackLength(p.object, s, eTrack);
                } catch (const std::exception &ex) {
                    distanceError = QString::fromUtf8(ex.what());
                }
            }
        };

        QStringList row;
        for (const TGridColumn &c : columns) {
            const QString f = c.field.toUpper();
            QString text;
            if (f == kChargeAuto) {
                QStringList log;
                text = f2(m_fuel.GetChargedBySensor(p.object, s, eCharge, log));
                trace << log;
            } else if (f == kChargeManual) {
                text = f2(m_fuel.GetChargedManual(p.object, s, eCharge));
            } else if (f == kFuelCons) {
                QStringList log;
                text = f2(m_fuel.GetFuelConsumption(p.object, p.averagingMinutes(), false, log,
                                                    p.thresholdValue(), s, e1));
                trace << log;
            } else if (f == kTrackLen) {
                getDistance();
                text = distance ? FormatFixed3(*distance)
                                : QStringLiteral("- (") + distanceError + QStringLiteral(")");
            } else if (f == kFuelConst) {
                getDistance();
                if (distance) {
                    try {
                        text = f2(m_fuel.GetNormConsumption(p.object, *distance, d.date));
                    } catch (const std::exception &ex) {
                        text = QStringLiteral("- (") + QString::fromUtf8(ex.what()) +
                               QStringLiteral(")");
                    }
                } else {
                    text = QStringLiteral("- (") + distanceError + QStringLiteral(")");
                }
            } else if (isDurationField(f)) {
                const auto it = d.texts.find(f);
                text = it == d.texts.end() ? QString() : hms(it->second);
            } else {
                const auto it = d.texts.find(f);
                if (it != d.texts.end())
                    text = it->second;
            }
            row << text;
        }
        // The averages from the row's own cells.
        const int cLen = grid.columnOf(kAvgLen), cEng = grid.columnOf(kAvgEng);
        const double fuel = cFuel < 0 ? 0 : cellNumber(row[cFuel]);
        if (cLen >= 0) {
            double km = 0;
            if (cTrack < 0)
                row[cLen] = QStringLiteral("добавьте пробег");
            else if (cFuel < 0)
                row[cLen] = QStringLiteral("добавьте расход");
            else if (!TextToFloat(row[cTrack], km) || km <= 0)
                row[cLen] = QStringLiteral("пробег = 0");
            else
                row[cLen] = FormatFixed3(fuel * 100 / km);
        }
        if (cEng >= 0) {
            const double hours = d.accGenTime * 24;
            if (cFuel < 0)
                row[cEng] = QStringLiteral("добавьте расход");
            else if (!(hours > 0))
                row[cEng] = QStringLiteral("время = 0");
            else
                row[cEng] = FormatFixed3(fuel / hours);
        }
        trace << QString();
        grid.rows.push_back(row);
        grid.rowDates.push_back(d.date);
    }

    // The totals row.
    QStringList total;
    double totalFuel = 0, totalKm = 0, totalHours = 0;
    for (const QStringList &r : grid.rows) {
        if (cFuel >= 0)
            totalFuel += cellNumber(r[cFuel]);
        if (cTrack >= 0)
            totalKm += cellNumber(r[cTrack]);
        const int cGen = grid.columnOf(kGenTime);
        if (cGen >= 0)
            totalHours += double(secondsOf(r[cGen])) / 3600;
    }
    for (int i = 0; i < grid.columnCount(); ++i) {
        const QString f = grid.columns[size_t(i)].field.toUpper();
        double sum = 0;
        for (const QStringList &r : grid.rows)
            sum += cellNumber(r[i]);
        if (f == kNumber) {
            total << QStringLiteral("Итог");
        } else if (f == kDate) {
            total << QStringLiteral("за период");
        } else if (f == kTrackLen) {
            total << FormatFixed3(sum);
        } else if (f == kFuelCons || f == kFuelConst || f == kChargeManual || f == kChargeAuto) {
            total << f2(sum);
        } else if (f == kAvgEng) {
            total << FormatFixed3(totalHours > 0 ? totalFuel / totalHours : 0);
        } else if (f == kAvgLen) {
            total << FormatFixed3(totalKm > 0 ? totalFuel * 100 / totalKm : 0);
        } else {
            int64_t seconds = 0;
            for (const QStringList &r : grid.rows)
                seconds += secondsOf(r[i]);
            total << (p.formatDays ? SecondsToDHMS(seconds) : SecondsToHMS(seconds));
        }
    }
    grid.rows.push_back(total);
    grid.rowDates.push_back(0);
    return grid;
}

TReportGrid TDataQueries::ExecByPeriodQuery(const TDataParams &p, QStringList &trace) {
    trace.clear();
    TReportGrid grid;
    grid.columns = FormByPeriodGridCols();
    grid.object = p.object;
    const TDateTime s = p.start, e = p.end;
    int avg = 0;
    const bool averaged = isInteger(p.avgPeriod, avg) && avg > 0;

    // The level at one end: the first (or last) filtered reading, averaged over the hour after
    // (or before) it when the averaging field is positive.
    const auto level = [&](bool first) -> double {
        TTransaction tr(m_fuel.database(), TTransactionKind::ReadCommitted);
        tr.start();
        TQuery q(tr, first ? QStringLiteral(" select first 1 OUT_PACKTIME, OUT_FUEL_L  from "
                                            "PROC_FUEL_3PFILTER(:dlt,:dt1,:dt2,:obj_id)  order by "
                                            "OUT_PACKTIME asc")
                           : QStringLiteral(" select first 1 OUT_PACKTIME, OUT_FUEL_L  from "
                                            "PROC_FUEL_3PFILTER(:dlt,:dt1,:dt2,:obj_id)  order by "
                                            "OUT_PACKTIME desc"));
        q.setParam(QStringLiteral("dlt"), 50);
        q.setParam(QStringLiteral("dt1"), db::TParam::timestamp(s));
        q.setParam(QStringLiteral("dt2"), db::TParam::timestamp(e));
        q.setParam(QStringLiteral("obj_id"), p.object);
        q.open();
        if (!q.next())
            return 0;
        const TDateTime at = q.field(0).asDateTime();
        int reading = q.field(1).asInteger();
        q.close();
        if (averaged) {
            TQuery a(tr, first ? QStringLiteral(" select avg(OUT_FUEL_L) as avg_val from  "
                                                "PROC_FUEL_3PFILTER(:dlt,:dt1,ADDMINUTE(:dt1,60),"
                                                ":obj_id) ")
                               : QStringLiteral(" select avg(OUT_FUEL_L) as avg_val from  "
                                                "PROC_FUEL_3PFILTER(:dlt,ADDMINUTE(:dt2,-60),:dt2,"
                                                ":obj_id) "));
            a.setParam(QStringLiteral("dlt"), 50);
            a.setParam(first ? QStringLiteral("dt1") : QStringLiteral("dt2"),
                       db::TParam::timestamp(at));
            a.setParam(QStringLiteral("obj_id"), p.object);
            a.open();
            if (a.next() && !a.field(0).isNull())
                reading = a.field(0).asInteger();
            a.close();
        }
        tr.commit();
        return m_fuel.GetFuelLitres(p.object, reading);
    };

    TFuelComputations::TRun run(m_fuel);
    const int steps = 7;
    int step = 0;
    m_control.step(step++, steps);
    const double before = level(true);
    m_control.step(step++, steps);
    const double after = level(false);
    m_control.step(step++, steps);
    QStringList log;
    const double chargedAuto = m_fuel.GetChargedBySensor(p.object, s, e, log);
    if (!log.isEmpty())
        trace << log;
    const double chargedManual = m_fuel.GetChargedManual(p.object, s, e);
    m_control.step(step++, steps);
    const double used = m_fuel.GetFuelConsumption(p.object, p.averagingMinutes(), p.detect, log,
                                                  p.thresholdValue(), s, e);
    trace << log;
    m_control.step(step++, steps);
    QString trackText, normText;
    double km = 0;
    try {
        km = m_fuel.GetTrackLength(p.object, s, e);
        trackText = FormatFixed3(km);
        normText = f2(m_fuel.GetNormConsumption(p.object, km, s));
    } catch (const std::exception &ex) {
        const QString t =
            QStringLiteral("- (") + QString::fromUtf8(ex.what()) + QStringLiteral(")");
        if (trackText.isEmpty())
            trackText = t;
        normText = t;
        if (!km)
            km = 0;
    }
    m_control.step(step++, steps);
    QString engine = m_fuel.GetEngineTime(p.object, p.maxLost, s, e);
    if (p.formatDays)
        engine = SecondsToDHMS(secondsOf(engine));
    QString engineHms = engine;
    if (p.formatDays) {
        const QString h = DaysTextToHours(engine);
        if (!h.isEmpty())
            engineHms = h;
    }
    const double hours = double(secondsOf(engineHms)) / 3600;
    m_control.step(step++, steps);

    QStringList row;
    row << dt::dateTimeToStr(s) << dt::dateTimeToStr(e) << FormatFixed3(before)
        << FormatFixed3(after) << f2(chargedAuto) << f2(chargedManual) << f2(used) << normText
        << trackText << engine << FormatFixed3(km > 0 ? used * 100 / km : 0)
        << FormatFixed3(hours > 0 ? used / hours : 0);
    grid.rows.push_back(row);
    return grid;
}

// ---------------------------------------------------------------------------------------------

TDailyChart DailyChart(const TReportGrid &grid, int column) {
    TDailyChart chart;
    if (column < 0 || column >= grid.columnCount())
        return chart;
    const TGridColumn &c = grid.columns[size_t(column)];
    const QString f = c.field.toUpper();
    if (f == kDate || f == kNumber) {
        chart.title = DailyChartNoColumn();
        return chart;
    }
    QString suffix;
    chart.colour = TDailyChart::Blue;
    bool numeric = true;
    if (f == kTrackLen) {
        suffix = QStringLiteral(" (Пробег)");
        chart.colour = TDailyChart::Green;
    } else if (f == kFuelCons) {
        suffix = QStringLiteral(" (Расход топлива)");
    } else if (f == kFuelConst) {
        suffix = QStringLiteral(" (Расход топлива (по пробегу))");
    } else if (f == kChargeAuto) {
        suffix = QStringLiteral(" (Залито топлива, л)");
    } else if (f == kChargeManual) {
        suffix = QStringLiteral(" (Залито топлива (по данным таблицы заправок), л)");
    } else if (f == kAvgEng) {
        suffix = QStringLiteral(" (Расход топлива на 1 час работы двигателя)");
        chart.colour = TDailyChart::Green;
    } else if (f == kAvgLen) {
        suffix = QStringLiteral(" (Расход топлива на 1 км пробега)");
        chart.colour = TDailyChart::Green;
    } else {
        suffix = QStringLiteral(" (") + TReportGrid::flatCaption(c.caption) + QStringLiteral(")");
        numeric = false;
        chart.timeAxis = true;
    }
    chart.title =
        QStringLiteral("Статистика по объекту - ") + QString::number(grid.object) + suffix;
    chart.hasSeries = true;
    for (int r = 0; r < grid.rowCount(); ++r) {
        if (r >= int(grid.rowDates.size()) || grid.rowDates[size_t(r)] == 0)
            continue; // the totals row
        const QString text = grid.cell(r, column);
        const double y = numeric ? cellNumber(text) : double(secondsOf(text)) / 86400;
        chart.points.emplace_back(grid.rowDates[size_t(r)], y);
    }
    return chart;
}
