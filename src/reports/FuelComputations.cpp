#include "reports/FuelComputations.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "app/Folders.h"
#include "app/Options.h"
#include "app/SqlLiteral.h"
#include "db/Database.h"
#include "db/GroupManager.h"
#include "reports/Durations.h"
#include "reports/ProcedureCall.h"
#include "reports/ReportTexts.h"
#include "tracks/TrackAnalysis.h"

using db::TQuery;
using db::TTransaction;
using db::TTransactionKind;

namespace {

// A refuelling still open has no closing time: it closes after any interval.
constexpr TDateTime kOpenEnded = std::numeric_limits<double>::max();

QString moment(TDateTime t) {
    return t == kOpenEnded ? QString() : dt::dateTimeToStr(t);
}

// A fraction of a day with "." and without needless zeros, as the procedures read it.
QString dayFraction(double days) {
    QString s = QString::number(std::isfinite(days) ? days : 0, 'f', 15);
    while (s.endsWith(QLatin1Char('0')))
        s.chop(1);
    if (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    return s;
}

struct TCharge {
    TDateTime open = 0;
    int openReading = 0;
    TDateTime close = kOpenEnded;
    std::optional<int> closeReading;
};

TCharge readCharge(const TQuery &q) {
    TCharge c;
    c.open = q.field(0).asDateTime();
    c.openReading = q.field(1).asInteger();
    if (!q.field(2).isNull())
        c.close = q.field(2).asDateTime();
    if (!q.field(3).isNull())
        c.closeReading = q.field(3).asInteger();
    return c;
}

QString readingSql(const std::optional<int> &reading) {
    return reading ? QString::number(*reading) : QStringLiteral("NULL");
}

// Litres in the trace: "0.000 л".
QString litresText(double litres) {
    return FormatFixed3(litres) + QStringLiteral(" л");
}

QString readingText(const std::optional<int> &reading) {
    return reading ? QString::number(*reading) : QString();
}

} // namespace

TObjectNorms NormsOf(const TManager *registry) {
    TObjectNorms norms;
    if (registry)
        for (const TControllableObject *o : registry->FObjects)
            norms[o->Number] = TObjectNorm{o->FuelConsS, o->FuelConsW};
    return norms;
}

TFuelComputations::TFuelComputations(db::TDatabase &database, const TOptions &options,
                                     const TManager *registry, TFManager &fmngr)
    : TFuelComputations(database, options, NormsOf(registry), fmngr) {}

TFuelComputations::TFuelComputations(db::TDatabase &database, const TOptions &options,
                                     TObjectNorms norms, TFManager &fmngr)
    : m_db(database), m_options(options), m_norms(std::move(norms)), m_fmngr(fmngr) {}

double TFuelComputations::GetFuelLitres(int object, int reading) {
    try {
        TTransaction tr(m_db, TTransactionKind::Write);
        tr.start();
        TQuery q(tr, QStringLiteral("SELECT OUT_FUEL_LEVEL FROM PROC_GETFUEL(%1, %2)")
                         .arg(object)
                         .arg(reading));
        q.open();
        const double litres = q.next() ? q.field(0).asDouble() : 0;
        q.close();
        tr.commit();
        return litres;
    } catch (const std::exception &) {
        return 0;
    }
}

bool TFuelComputations::GetReadingAt(int object, TDateTime when, TReadingAt &out) {
    try {
        TTransaction tr(m_db, TTransactionKind::ReadCommitted);
        tr.start();
        TQuery q(tr, QStringLiteral("SELECT OUT_FUEL_LEVEL, OUT_SENSOR, OUT_TS_PACKET FROM "
                                    "PROC_GETFUELBYDT  ( %1, %2)")
                         .arg(object)
                         .arg(sql::timestamp(when)));
        q.open();
        bool found = false;
        if (q.next() && !q.field(QStringLiteral("OUT_TS_PACKET")).isNull()) {
            out.time = q.field(QStringLiteral("OUT_TS_PACKET")).asDateTime();
            out.litres = q.field(QStringLiteral("OUT_FUEL_LEVEL")).asDouble();
            out.reading = q.field(QStringLiteral("OUT_SENSOR")).asInteger();
            found = true;
        }
        q.close();
        tr.commit();
        return found;
    } catch (const std::exception &) {
        return false;
    }
}

double TFuelComputations::GetChargedBySensor(int object, TDateTime start, TDateTime end,
                                             QStringList &log) {
    log.clear();
    log << QStringLiteral("Заправки ") + dt::dateTimeToStr(start) + QStringLiteral(" - ") +
               dt::dateTimeToStr(end) + QStringLiteral(":");
    TTransaction tr(m_db, TTransactionKind::ReadCommitted);
    tr.start();
    TQuery q(tr, QStringLiteral("select OPEN_TANK_TS_PACKET, OPEN_TANK_SENSOR, "
                                "CLOSE_TANK_TS_PACKET, CLOSE_TANK_SENSOR from FUEL_CHARGE where "
                                "ID=%1 and OPEN_TANK_TS_PACKET>=%2 and OPEN_TANK_TS_PACKET<=%3 "
                                "and OPEN_TANK_SENSOR > 0 order by OPEN_TANK_TS_PACKET")
                     .arg(object)
                     .arg(sql::timestamp(start), sql::timestamp(end)));
    const auto litres = [&](const QString &reading) {
        TQuery f(tr, QStringLiteral("SELECT OUT_FUEL_LEVEL FROM PROC_GETFUEL (%1, %2)")
                         .arg(object)
                         .arg(reading));
        f.open();
        const double v = f.next() ? f.field(0).asDouble() : 0;
        f.close();
        return v;
    };
    double total = 0;
    q.open();
    while (q.next()) {
        const TCharge c = readCharge(q);
        const double opened = litres(QString::number(c.openReading));
        const double closed = litres(readingSql(c.closeReading));
        // A negative refuelling (a drain, or a record typed the wrong way round) counts too.
        total += closed - opened;
        log << moment(c.open) + QStringLiteral(" (") + QString::number(c.openReading) +
                   QStringLiteral(" - ") + litresText(opened) + QStringLiteral(") => ") +
                   moment(c.close) + QStringLiteral(" (") + readingText(c.closeReading) +
                   QStringLiteral(" - ") + litresText(closed) + QStringLiteral("): ") +
                   FormatFixed3(closed - opened);
    }
    q.close();
    tr.commit();
    return std::max(total, 0.0);
}

double TFuelComputations::GetChargedManual(int object, TDateTime start, TDateTime end) {
    TTransaction tr(m_db, TTransactionKind::Write);
    tr.start();
    TQuery q(tr, QStringLiteral("select sum(CHARGED_VOLUME) from FUEL_CHARGE where ID=%1 and "
                                "CLOSE_TANK_TS_PACKET>=%2   and CLOSE_TANK_TS_PACKET<%3")
                     .arg(object)
                     .arg(sql::timestamp(start), sql::timestamp(end)));
    q.open();
    const double sum = q.next() ? q.field(0).asDouble() : 0; // a null sum reads as 0
    q.close();
    tr.commit();
    return sum;
}

TTimeRange TFuelComputations::boundary(int object, TDateTime when, int averagingMinutes) {
    TTimeRange b;
    b.tbgn = when;
    TTransaction tr(m_db, TTransactionKind::Write);
    tr.start();
    TQuery q(tr, QStringLiteral("SELECT OUT_FUEL_LEVEL, OUT_SENSOR, OUT_TS_PACKET FROM "
                                "PROC_GETFUELBYDT  ( %1, %2)")
                     .arg(object)
                     .arg(sql::timestamp(when)));
    q.open();
    const bool found = q.next();
    if (found) {
        if (!q.field(QStringLiteral("OUT_TS_PACKET")).isNull())
            b.tbgn = q.field(QStringLiteral("OUT_TS_PACKET")).asDateTime();
        if (!q.field(QStringLiteral("OUT_SENSOR")).isNull())
            b.ibgn = q.field(QStringLiteral("OUT_SENSOR")).asInteger();
    }
    q.close();
    if (found && averagingMinutes > 0) {
        TQuery a(tr, QStringLiteral(" select avg(OUT_FUEL_L) as avg_val from  "
                                    "PROC_FUEL_3PFILTER(:dlt,ADDMINUTE(:dt1,-:avg_period),:dt1,"
                                    ":obj_id) "));
        a.setParam(QStringLiteral("dlt"), 50);
        a.setParam(QStringLiteral("dt1"), db::TParam::timestamp(b.tbgn));
        a.setParam(QStringLiteral("avg_period"), averagingMinutes);
        a.setParam(QStringLiteral("obj_id"), object);
        a.open();
        if (a.next() && !a.field(0).isNull())
            b.ibgn = a.field(0).asInteger();
        a.close();
    }
    tr.commit();
    if (found)
        b.fbgn = GetFuelLitres(object, b.ibgn);
    return b;
}

double TFuelComputations::GetFuelConsumption(int object, int averagingMinutes, bool detect,
                                             QStringList &log, int threshold, TDateTime start,
                                             TDateTime end) {
    log.clear();
    log << QStringLiteral("Расход топлива ") + dt::dateTimeToStr(start) + QStringLiteral(" - ") +
               dt::dateTimeToStr(end) + QStringLiteral(":");
    const TTimeRange first = boundary(object, start, averagingMinutes);
    const TTimeRange last = boundary(object, end, averagingMinutes);
    log << QStringLiteral("Показания датчика(нач.): ") + FloatToText(first.fbgn) +
               QStringLiteral(" на ") + dt::dateTimeToStr(first.tbgn);
    log << QStringLiteral("Показания датчика(оконч.): ") + FloatToText(last.fbgn) +
               QStringLiteral(" на ") + dt::dateTimeToStr(last.tbgn);

    std::vector<TTimeRange> ranges{first};

    if (detect)
        DetectCharges(object, threshold, start, end);

    std::vector<TCharge> charges;
    {
        TTransaction tr(m_db, TTransactionKind::Write);
        tr.start();
        const QString s = sql::timestamp(start), e = sql::timestamp(end);
        TQuery q(tr, QStringLiteral("select OPEN_TANK_TS_PACKET, OPEN_TANK_SENSOR, "
                                    "CLOSE_TANK_TS_PACKET, CLOSE_TANK_SENSOR  from FUEL_CHARGE "
                                    "where  ID=%1 and ( (OPEN_TANK_TS_PACKET>=%2 and "
                                    "OPEN_TANK_TS_PACKET<=%3 )  or  (OPEN_TANK_TS_PACKET<%4 and "
                                    "CLOSE_TANK_TS_PACKET>=%5 ) ) and  OPEN_TANK_SENSOR > 0  "
                                    "order by OPEN_TANK_TS_PACKET")
                         .arg(object)
                         .arg(s, e, s, s));
        q.open();
        while (q.next())
            charges.push_back(readCharge(q));
        q.close();
        tr.commit();
    }

    for (const TCharge &c : charges) {
        const TDateTime t = std::max(start, ranges.front().tbgn);
        if (c.open > t) {
            TTimeRange &cur = ranges.back();
            cur.tend = c.open;
            cur.iend = c.openReading;
            cur.fend = GetFuelLitres(object, c.openReading);
            ranges.emplace_back();
        }
        // The next stretch starts when the tank is closed again.
        TTimeRange &cur = ranges.back();
        cur.tbgn = c.close;
        cur.ibgn = c.closeReading.value_or(0);
        cur.fbgn = c.closeReading ? GetFuelLitres(object, *c.closeReading) : 0;
    }
    if (ranges.back().tbgn > end) {
        ranges.pop_back(); // refuelled until after the end: nothing left to use
    } else {
        ranges.back().tend = last.tbgn;
        ranges.back().iend = last.ibgn;
        ranges.back().fend = last.fbgn;
    }

    double total = 0;
    for (const TTimeRange &r : ranges) {
        if (r.tend > end)
            continue;
        const double used = r.fbgn - r.fend;
        // A rise inside a stretch (an unrecorded refuelling, noise) is not subtracted.
        if (used > 0)
            total += used;
        log << moment(r.tbgn) + QStringLiteral(" (") + QString::number(r.ibgn) +
                   QStringLiteral(" - ") + litresText(r.fbgn) + QStringLiteral(") => ") +
                   moment(r.tend) + QStringLiteral(" (") + QString::number(r.iend) +
                   QStringLiteral(" - ") + litresText(r.fend) + QStringLiteral(") :: ") +
                   litresText(used);
    }
    log << QStringLiteral("Суммарный расход :: ") + litresText(total);
    return total;
}

void TFuelComputations::DetectCharges(int object, int threshold, TDateTime start, TDateTime end) {
    TTransaction tr(m_db, TTransactionKind::Write);
    tr.start();
    TQuery d(tr, QStringLiteral("SELECT OUT_COUNT FROM PROC_CHARGEFILL2  (%1, %2, %3, %4)")
                     .arg(object)
                     .arg(sql::timestamp(start), sql::timestamp(end))
                     .arg(threshold));
    RunForEffect(d);
    tr.commit();
}

double TFuelComputations::NormConsumption(int summerRate, int winterRate, int summerStart,
                                          int summerEnd, double kilometres, TDateTime day) {
    const int month = dt::decode(day).month;
    const bool summer = summerStart <= month && month <= summerEnd;
    return (summer ? summerRate : winterRate) * kilometres / 100;
}

double TFuelComputations::GetNormConsumption(int object, double kilometres, TDateTime day) const {
    const auto o = m_norms.find(object);
    if (o == m_norms.end())
        return 0;
    return NormConsumption(o->second.FuelConsS, o->second.FuelConsW, m_options.SummerStart,
                           m_options.SummerEnd, kilometres, day);
}

double TFuelComputations::GetTrackLength(int object, TDateTime start, TDateTime end) const {
    if (!m_norms.count(object))
        return 0;
    const std::vector<TCoordData> track = LoadTrackPeriod(
        m_fmngr, CoordCacheDir() + QString::number(object) + QLatin1Char('/'), start, end);
    return static_cast<double>(TrackRunKm(track, TTrackSettings::fromOptions(m_options)));
}

QString TFuelComputations::GetEngineTime(int object, TDateTime maxLost, TDateTime start,
                                         TDateTime end) {
    try {
        TTransaction tr(m_db, TTransactionKind::Write);
        tr.start();
        TQuery q(tr, QStringLiteral("SELECT * FROM PROC_CALCPARAMS( %1, %2, '%3', %4 )")
                         .arg(sql::timestamp(end), sql::timestamp(start), dayFraction(maxLost))
                         .arg(object));
        q.open();
        int64_t seconds = 0;
        bool any = false;
        while (q.next()) {
            seconds += HMSToSeconds(DHMStoHMS(q.field(QStringLiteral("PAR_GENTIME")).asString()));
            any = true;
        }
        q.close();
        tr.commit();
        return any ? SecondsToHMS(seconds) : QStringLiteral("0");
    } catch (const std::exception &) {
        return QStringLiteral("0");
    }
}
