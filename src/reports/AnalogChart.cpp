#include "reports/AnalogChart.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

#include "app/SqlLiteral.h"
#include "db/Database.h"
#include "reports/DataQueries.h"
#include "reports/ReportTexts.h"

using db::TQuery;
using db::TTransaction;
using db::TTransactionKind;

QStringList AnalogParamNames() {
    return {QStringLiteral("Напряжение в бортовой сети (АЦП)"),
            QStringLiteral("Температура (°C)"),
            QStringLiteral("Уровень топлива (л)"),
            QStringLiteral("Уровень топлива (АЦП)"),
            QStringLiteral("Уровень топлива (л), усреднение"),
            QStringLiteral("Уровень топлива (АЦП), усреднение"),
            QStringLiteral("Нормированный уровень топлива (АЦП)")};
}

QStringList AveragingChoices() {
    return {QStringLiteral("00:00"), QStringLiteral("00:01"), QStringLiteral("00:02"),
            QStringLiteral("00:03"), QStringLiteral("00:05"), QStringLiteral("00:10"),
            QStringLiteral("00:15"), QStringLiteral("00:20"), QStringLiteral("00:30"),
            QStringLiteral("01:00"), QStringLiteral("02:00"), QStringLiteral("03:00"),
            QStringLiteral("06:00"), QStringLiteral("12:00")};
}

bool AveragingMinutes(const QString &text, int &minutes) {
    static const QRegularExpression re(
        QStringLiteral("^\\s*(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    const int h = m.captured(1).toInt(), n = m.captured(2).toInt();
    const int s = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    if (h > 23 || n > 59 || s > 59)
        return false;
    minutes = h * 60 + n;
    return true;
}

std::vector<GraphPoint> BucketPoints(const std::vector<std::pair<TDateTime, double>> &rows,
                                     TDateTime start, int minutes) {
    std::vector<GraphPoint> out;
    if (minutes < 1) {
        for (const auto &[t, v] : rows)
            out.push_back({t, v, v, v});
        return out;
    }
    const double width = minutes / 1440.0;
    int k = 0; // the current bucket is [start + k * width, start + (k + 1) * width]
    double mn = 0, mx = 0, sum = 0;
    int n = 0;
    const auto flushBucket = [&] {
        if (n > 0)
            out.push_back({start + k * width, mn, mx, sum / n});
        n = 0;
        sum = 0;
    };
    for (const auto &[t, v] : rows) {
        // Half a millisecond of slack: a reading exactly at a bucket's end stays in it.
        while (t > start + (k + 1) * width + 0.5 / dt::MsPerDay) {
            flushBucket();
            ++k;
        }
        if (n == 0) {
            mn = mx = v;
        } else {
            mn = std::min(mn, v);
            mx = std::max(mx, v);
        }
        sum += v;
        ++n;
    }
    flushBucket();
    return out;
}

QString AnalogErrorText(const QString &message) {
    return QStringLiteral("При выполнении запроса возникла ошибка:\r\n") + message;
}

namespace {

QString errorText(const std::exception &e) {
    if (const auto *d = dynamic_cast<const db::EDatabaseError *>(&e))
        return d->text();
    return QString::fromUtf8(e.what());
}

QString plainSource(const QString &column, const TAnalogParams &p) {
    return QStringLiteral("select INS_PACKTIME, ") + column +
           QStringLiteral(" from INPUTSIGNALS  where INS_PACKTIME >=") + sql::timestamp(p.start) +
           QStringLiteral("  and INS_PACKTIME <=") + sql::timestamp(p.end) +
           QStringLiteral(" and INS_NUMBER = ") + QString::number(p.object) +
           QStringLiteral(" order by INS_PACKTIME");
}

} // namespace

TAnalogResult ExecAnalogGraphQuery(db::TDatabase &database, const TAnalogParams &p,
                                   const TQueryControl &control) {
    TAnalogResult r;
    r.param = p.param;
    TTransaction tr(database, TTransactionKind::Editing);
    tr.start();

    const int passes = p.param == apFuelNormalised ? 2 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        control.step(pass, passes + 2);
        QString sql, field;
        bool bound = false;
        switch (p.param) {
        case apBoardVoltage:
            sql = plainSource(QStringLiteral("INS_BOARDVOLTAGE"), p);
            field = QStringLiteral("INS_BOARDVOLTAGE");
            break;
        case apTemperature:
            sql = plainSource(QStringLiteral("INS_TEMPERATURE"), p);
            field = QStringLiteral("INS_TEMPERATURE");
            break;
        case apFuelLitres:
            sql = plainSource(QStringLiteral("( select * from PROC_GETFUEL(") +
                                  QString::number(p.object) +
                                  QStringLiteral(", INS_FUELLEVEL) ) as FUELL"),
                              p);
            field = QStringLiteral("FUELL");
            break;
        case apFuelRaw:
            sql = plainSource(QStringLiteral("INS_FUELLEVEL"), p);
            field = QStringLiteral("INS_FUELLEVEL");
            break;
        case apFuelLitresFiltered:
            sql = QStringLiteral(" select OUT_PACKTIME as INS_PACKTIME,  (select OUT_FUEL_LEVEL "
                                 "from PROC_GETFUEL(:OBJ_ID, OUT_FUEL_L)) as OUT_FUEL_F  from "
                                 "PROC_FUEL_3PFILTER(:dlt,:dt1,:dt2,:obj_id) ");
            field = QStringLiteral("OUT_FUEL_F");
            bound = true;
            break;
        case apFuelRawFiltered:
            sql = QStringLiteral("select OUT_PACKTIME as INS_PACKTIME, OUT_FUEL_L from "
                                 "PROC_FUEL_3PFILTER(:dlt,:dt1,:dt2,:obj_id)");
            field = QStringLiteral("OUT_FUEL_L");
            bound = true;
            break;
        case apFuelNormalised:
            sql = pass == 0 ? QStringLiteral("select OUT_PACKTIME as INS_PACKTIME, OUT_FUEL_L from "
                                             "PROC_FUEL_3PFILTER(:dlt,:dt1,:dt2,:obj_id)")
                            : QStringLiteral(" select OUT_PACKTIME as INS_PACKTIME,   OUT_FUEL_L "
                                             "as OUT_FUEL_L  from "
                                             "PROC_FUEL_FILTERED(:dlt,:dt1,:dt2,:obj_id)");
            field = QStringLiteral("OUT_FUEL_L");
            bound = true;
            break;
        default:
            return r;
        }
        try {
            TQuery q(tr, sql);
            if (bound) {
                q.setParam(QStringLiteral("dlt"), 50);
                q.setParam(QStringLiteral("dt1"), db::TParam::timestamp(p.start));
                q.setParam(QStringLiteral("dt2"), db::TParam::timestamp(p.end));
                q.setParam(QStringLiteral("obj_id"), p.object);
            }
            q.open();
            const int t = q.fieldIndex(QStringLiteral("INS_PACKTIME")), v = q.fieldIndex(field);
            std::vector<std::pair<TDateTime, double>> rows;
            int n = 0;
            while (q.next()) {
                if ((++n & 1023) == 0)
                    control.step(pass, passes + 2);
                if (q.field(v).isNull())
                    continue;
                rows.emplace_back(q.field(t).asDateTime(), q.field(v).asDouble());
            }
            q.close();
            std::vector<GraphPoint> pts = BucketPoints(rows, p.start, p.minutes);
            if (pass == 1)
                r.normalised = std::move(pts);
            else
                r.points = std::move(pts);
        } catch (const EQueryCancelled &) {
            throw;
        } catch (const std::exception &e) {
            r.errors.push_back(
                {QStringLiteral("Ошибка выполнения запроса"), AnalogErrorText(errorText(e))});
        }
        tr.commitRetaining();
    }

    control.step(passes, passes + 2);
    try {
        TQuery q(tr, QStringLiteral("SELECT * FROM PROC_GETOBJSOSTDIF( %1, %2, '%3', %4 )")
                         .arg(sql::timestamp(p.end), sql::timestamp(p.start), GapText(p.maxLost),
                              QString::number(p.object)));
        q.open();
        while (q.next()) {
            const TDateTime from = q.field(QStringLiteral("OUT_PACKTIME")).asDateTime();
            const TDateTime to = q.field(QStringLiteral("OUT_ENDTIME")).asDateTime();
            const db::TValue &engine = q.field(QStringLiteral("OUT_ERRORAVTOPROTECT"));
            const db::TValue &tank = q.field(QStringLiteral("OUT_LOCOMOTIVEMOVE"));
            r.engine.push_back({from, to,
                                engine.isNull()         ? TBand::Grey
                                : engine.asInt64() != 0 ? TBand::Green
                                                        : TBand::Blue});
            r.tank.push_back({from, to,
                              tank.isNull()         ? TBand::Grey
                              : tank.asInt64() != 0 ? TBand::Teal
                                                    : TBand::Red});
        }
        q.close();
    } catch (const std::exception &e) {
        r.errors.push_back({QStringLiteral("Ошибка выполнения запроса состояния двигателя"),
                            AnalogErrorText(errorText(e))});
    }
    tr.commitRetaining();

    control.step(passes + 1, passes + 2);
    if (p.param >= apFuelLitres) {
        const QString obj = QString::number(p.object);
        const QString period = QStringLiteral(" (OPEN_TANK_TS_PACKET between ") +
                               sql::timestamp(p.start) + QStringLiteral(" and ") +
                               sql::timestamp(p.end) + QStringLiteral(") and ID = ") + obj;
        const QString sql =
            p.param == apFuelLitres || p.param == apFuelLitresFiltered
                ? QStringLiteral("select OPEN_TANK_TS_PACKET,  (select OUT_FUEL_LEVEL from "
                                 "PROC_GETFUEL(") +
                      obj +
                      QStringLiteral(", OPEN_TANK_SENSOR)) as OTS,  CLOSE_TANK_TS_PACKET,  "
                                     "(select OUT_FUEL_LEVEL from PROC_GETFUEL(") +
                      obj +
                      QStringLiteral(", CLOSE_TANK_SENSOR)) as CTS   from FUEL_CHARGE where") +
                      period
                : QStringLiteral("select OPEN_TANK_TS_PACKET, OPEN_TANK_SENSOR as OTS, "
                                 "CLOSE_TANK_TS_PACKET, CLOSE_TANK_SENSOR as CTS   from "
                                 "FUEL_CHARGE where") +
                      period;
        try {
            TQuery q(tr, sql);
            q.open();
            while (q.next()) {
                r.bars.push_back({q.field(0).asDateTime(), q.field(1).asDouble(), true});
                if (!q.field(2).isNull())
                    r.bars.push_back({q.field(2).asDateTime(), q.field(3).asDouble(), false});
            }
            q.close();
        } catch (const std::exception &e) {
            r.errors.push_back({QStringLiteral("Ошибка выполнения запроса заправок за период"),
                                AnalogErrorText(errorText(e))});
        }
    }
    tr.commit();
    return r;
}

// ---------------------------------------------------------------------------------------------

TChargeMarking::TChargeMarking(TFuelComputations &fuel, TFuelCharges &charges)
    : m_fuel(fuel), m_charges(charges) {}

TTimeRange TChargeMarking::EmptyRange() {
    TTimeRange r;
    r.tbgn = r.tend = 0;
    r.ibgn = r.iend = -32768;
    r.fbgn = r.fend = std::numeric_limits<double>::quiet_NaN();
    return r;
}

QString TChargeMarking::Hint(TDateTime time, double value) {
    return dt::dateTimeToStr(time) + QStringLiteral(",  ") + FormatFixed3(value);
}

bool TChargeMarking::beginAdd(int lastParam) {
    if (lastParam != apFuelLitres)
        return false;
    m_marked = EmptyRange();
    m_haveBegin = false;
    m_old.reset();
    m_mode = Adding;
    return true;
}

bool TChargeMarking::beginMove(bool start, int lastParam) {
    if (lastParam != apFuelLitres || !m_charges.isOpen() || m_charges.rows().empty())
        return false;
    const TFuelChargeRow *row = m_charges.current();
    if (!row)
        return false;
    m_old = *row;
    m_marked = EmptyRange();
    m_marked.tbgn = row->openTs;
    m_marked.ibgn = row->openSensor;
    m_marked.tend = row->closeTs.value_or(0);
    m_marked.iend = row->closeSensor.value_or(-32768);
    m_mode = start ? MovingStart : MovingEnd;
    return true;
}

void TChargeMarking::takePoint(int object, TDateTime time, double value, bool begin) {
    TReadingAt reading;
    TDateTime &t = begin ? m_marked.tbgn : m_marked.tend;
    double &litres = begin ? m_marked.fbgn : m_marked.fend;
    int &raw = begin ? m_marked.ibgn : m_marked.iend;
    if (m_fuel.GetReadingAt(object, time, reading)) {
        t = reading.time;
        litres = reading.litres;
        raw = reading.reading;
    } else {
        t = time;
        litres = value;
    }
}

TChargeMarking::TClick TChargeMarking::click(int object, int lastParam, TDateTime time,
                                             double value) {
    TClick result;
    if (m_mode == Idle || object <= 0 || lastParam != apFuelLitres)
        return result;
    result.taken = true;
    if (m_mode == Adding && !m_haveBegin) {
        takePoint(object, time, value, true);
        m_haveBegin = true;
        result.bar = TChargeBar{m_marked.tbgn, m_marked.fbgn, true};
        return result;
    }
    const Mode mode = m_mode;
    m_mode = Idle;
    takePoint(object, time, value, mode == MovingStart);
    try {
        if (mode == Adding) {
            m_charges.edit([&](db::TTransaction &tr) {
                TQuery q(tr, QStringLiteral(
                                 "INSERT INTO FUEL_CHARGE (      ID,    OPEN_TANK_TS_PACKET,    "
                                 "OPEN_TANK_SENSOR,    CLOSE_TANK_TS_PACKET,    "
                                 "CLOSE_TANK_SENSOR,    CHARGED_VOLUME)  VALUES (    :ID,    "
                                 ":OPEN_TANK_TS_PACKET,    :OPEN_TANK_SENSOR,    "
                                 ":CLOSE_TANK_TS_PACKET,    :CLOSE_TANK_SENSOR,    "
                                 ":CHARGED_VOLUME)"));
                q.setParam(QStringLiteral("ID"), object);
                q.setParam(QStringLiteral("OPEN_TANK_TS_PACKET"),
                           db::TParam::timestamp(m_marked.tbgn));
                q.setParam(QStringLiteral("OPEN_TANK_SENSOR"), m_marked.ibgn);
                q.setParam(QStringLiteral("CLOSE_TANK_TS_PACKET"),
                           db::TParam::timestamp(m_marked.tend));
                q.setParam(QStringLiteral("CLOSE_TANK_SENSOR"), m_marked.iend);
                q.setParam(QStringLiteral("CHARGED_VOLUME"), db::TParam::nullValue());
                q.execute();
            });
            log << QStringLiteral("Добавлена заправка: начало в ") +
                       dt::dateTimeToStr(m_marked.tbgn) + QStringLiteral(", окончание в ") +
                       dt::dateTimeToStr(m_marked.tend);
        } else {
            const TFuelChargeRow old = *m_old;
            m_charges.edit([&](db::TTransaction &tr) {
                TQuery q(tr, QStringLiteral(
                                 "UPDATE FUEL_CHARGE  SET OPEN_TANK_TS_PACKET = "
                                 ":OPEN_TANK_TS_PACKET,  OPEN_TANK_SENSOR = :OPEN_TANK_SENSOR,  "
                                 "CLOSE_TANK_TS_PACKET = :CLOSE_TANK_TS_PACKET,  "
                                 "CLOSE_TANK_SENSOR = :CLOSE_TANK_SENSOR  WHERE (ID = :ID) AND "
                                 "(OPEN_TANK_TS_PACKET = :OLD_OPEN_TS)  AND (OPEN_TANK_SENSOR = "
                                 ":OLD_OPEN_SENSOR)"));
                q.setParam(QStringLiteral("OPEN_TANK_TS_PACKET"),
                           db::TParam::timestamp(m_marked.tbgn));
                q.setParam(QStringLiteral("OPEN_TANK_SENSOR"), m_marked.ibgn);
                q.setParam(QStringLiteral("CLOSE_TANK_TS_PACKET"),
                           m_marked.tend ? db::TParam::timestamp(m_marked.tend)
                                         : db::TParam::nullValue());
                q.setParam(QStringLiteral("CLOSE_TANK_SENSOR"),
                           m_marked.iend == -32768 && !old.closeSensor ? db::TParam::nullValue()
                                                                       : db::TParam(m_marked.iend));
                q.setParam(QStringLiteral("ID"), object);
                q.setParam(QStringLiteral("OLD_OPEN_TS"), db::TParam::timestamp(old.openTs));
                q.setParam(QStringLiteral("OLD_OPEN_SENSOR"), old.openSensor);
                q.execute();
            });
            const QString oldEnd = old.closeTs ? dt::dateTimeToStr(*old.closeTs) : QString();
            const QString newEnd = m_marked.tend ? dt::dateTimeToStr(m_marked.tend) : QString();
            log << QStringLiteral("Заправка отредактирована ( [") + dt::dateTimeToStr(old.openTs) +
                       QLatin1Char(',') + oldEnd + QStringLiteral("] -> [") +
                       dt::dateTimeToStr(m_marked.tbgn) + QLatin1Char(',') + newEnd +
                       QStringLiteral("])");
        }
        m_charges.ShowCharges();
        result.written = true;
    } catch (const db::EDatabaseError &e) {
        result.error = e.text();
    } catch (const std::exception &e) {
        result.error = QString::fromUtf8(e.what());
    }
    return result;
}
