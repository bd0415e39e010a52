#include "reports/FuelComputations.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

#include "app/Folders.h"
#include "app/Options.h"
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

// The refuellings a statement selects for the object over [start, end] (its parameters :obj,
// :s and :e), in the statement's order.
std::vector<TCharge> readCharges(TQuery &q, int object, TDateTime start, TDateTime end) {
    q.setParam(QStringLiteral("obj"), object);
    q.setParam(QStringLiteral("s"), db::TParam::timestamp(start));
    q.setParam(QStringLiteral("e"), db::TParam::timestamp(end));
    q.open();
    std::vector<TCharge> out;
    while (q.next()) {
        TCharge c;
        c.open = q.field(0).asDateTime();
        c.openReading = q.field(1).asInteger();
        if (!q.field(2).isNull())
            c.close = q.field(2).asDateTime();
        if (!q.field(3).isNull())
            c.closeReading = q.field(3).asInteger();
        out.push_back(c);
    }
    q.close();
    return out;
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

struct TFuelComputations::TRunState {
    explicit TRunState(db::TDatabase &database) : tr(database, TTransactionKind::ReadCommitted) {}
    TTransaction tr;
    std::map<QString, std::unique_ptr<TQuery>> statements;
    std::map<std::pair<int, int>, double> litres; // (object, reading) -> litres
};

TFuelComputations::TRun::TRun(TFuelComputations &fuel) : m_fuel(fuel) {
    if (m_fuel.m_run)
        return;
    auto state = std::make_shared<TRunState>(m_fuel.m_db);
    state->tr.start();
    m_fuel.m_run = std::move(state);
    m_owner = true;
}

TFuelComputations::TRun::~TRun() {
    if (!m_owner)
        return;
    const std::shared_ptr<TRunState> state = std::move(m_fuel.m_run);
    state->statements.clear();
    try {
        state->tr.commit(); // read only: nothing to keep, but the server frees it at once
    } catch (const std::exception &) {
        state->tr.forceRollback();
    }
}

TQuery &TFuelComputations::statement(const QString &sql) {
    std::unique_ptr<TQuery> &q = m_run->statements[sql];
    if (!q)
        q = std::make_unique<TQuery>(m_run->tr, sql);
    q->close();
    return *q;
}

double TFuelComputations::litresOf(int object, std::optional<int> reading) {
    if (!reading)
        return 0; // PROC_GETFUEL of NULL
    TRun run(*this);
    const auto key = std::make_pair(object, *reading);
    const auto known = m_run->litres.find(key);
    if (known != m_run->litres.end())
        return known->second;
    TQuery &q = statement(QStringLiteral("SELECT OUT_FUEL_LEVEL FROM PROC_GETFUEL(:obj, :sensor)"));
    q.setParam(QStringLiteral("obj"), object);
    q.setParam(QStringLiteral("sensor"), *reading);
    q.open();
    const double litres = q.next() ? q.field(0).asDouble() : 0;
    q.close();
    m_run->litres[key] = litres;
    return litres;
}

double TFuelComputations::GetFuelLitres(int object, int reading) {
    try {
        return litresOf(object, reading);
    } catch (const std::exception &) {
        return 0;
    }
}

bool TFuelComputations::GetReadingAt(int object, TDateTime when, TReadingAt &out) {
    try {
        TRun run(*this);
        TQuery &q = statement(QStringLiteral("SELECT OUT_FUEL_LEVEL, OUT_SENSOR, OUT_TS_PACKET "
                                             "FROM PROC_GETFUELBYDT(:obj, :dt)"));
        q.setParam(QStringLiteral("obj"), object);
        q.setParam(QStringLiteral("dt"), db::TParam::timestamp(when));
        q.open();
        bool found = false;
        if (q.next() && !q.field(2).isNull()) {
            out.time = q.field(2).asDateTime();
            out.litres = q.field(0).asDouble();
            out.reading = q.field(1).asInteger();
            found = true;
        }
        q.close();
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
    TRun run(*this);
    const std::vector<TCharge> charges = readCharges(
        statement(QStringLiteral(
            "select OPEN_TANK_TS_PACKET, OPEN_TANK_SENSOR, CLOSE_TANK_TS_PACKET, "
            "CLOSE_TANK_SENSOR from FUEL_CHARGE where ID = :obj and OPEN_TANK_TS_PACKET >= :s "
            "and OPEN_TANK_TS_PACKET <= :e and OPEN_TANK_SENSOR > 0 order by OPEN_TANK_TS_PACKET")),
        object, start, end);
    double total = 0;
    for (const TCharge &c : charges) {
        const double opened = litresOf(object, c.openReading);
        const double closed = litresOf(object, c.closeReading);
        // A negative refuelling (a drain, or a record typed the wrong way round) counts too.
        total += closed - opened;
        log << moment(c.open) + QStringLiteral(" (") + QString::number(c.openReading) +
                   QStringLiteral(" - ") + litresText(opened) + QStringLiteral(") => ") +
                   moment(c.close) + QStringLiteral(" (") + readingText(c.closeReading) +
                   QStringLiteral(" - ") + litresText(closed) + QStringLiteral("): ") +
                   FormatFixed3(closed - opened);
    }
    return std::max(total, 0.0);
}

double TFuelComputations::GetChargedManual(int object, TDateTime start, TDateTime end) {
    TRun run(*this);
    TQuery &q = statement(QStringLiteral("select sum(CHARGED_VOLUME) from FUEL_CHARGE where ID = "
                                         ":obj and CLOSE_TANK_TS_PACKET >= :s and "
                                         "CLOSE_TANK_TS_PACKET < :e"));
    q.setParam(QStringLiteral("obj"), object);
    q.setParam(QStringLiteral("s"), db::TParam::timestamp(start));
    q.setParam(QStringLiteral("e"), db::TParam::timestamp(end));
    q.open();
    const double sum = q.next() ? q.field(0).asDouble() : 0; // a null sum reads as 0
    q.close();
    return sum;
}

TTimeRange TFuelComputations::boundary(int object, TDateTime when, int averagingMinutes) {
    TTimeRange b;
    b.tbgn = when;
    TRun run(*this);
    TQuery &q = statement(QStringLiteral("SELECT OUT_FUEL_LEVEL, OUT_SENSOR, OUT_TS_PACKET FROM "
                                         "PROC_GETFUELBYDT(:obj, :dt)"));
    q.setParam(QStringLiteral("obj"), object);
    q.setParam(QStringLiteral("dt"), db::TParam::timestamp(when));
    q.open();
    const bool found = q.next();
    if (found) {
        if (!q.field(2).isNull())
            b.tbgn = q.field(2).asDateTime();
        if (!q.field(1).isNull())
            b.ibgn = q.field(1).asInteger();
    }
    q.close();
    if (found && averagingMinutes > 0) {
        TQuery &a = statement(QStringLiteral(" select avg(OUT_FUEL_L) as avg_val from  "
                                             "PROC_FUEL_3PFILTER(:dlt,ADDMINUTE(:dt1,-:avg_period),"
                                             ":dt1,:obj_id) "));
        a.setParam(QStringLiteral("dlt"), 50);
        a.setParam(QStringLiteral("dt1"), db::TParam::timestamp(b.tbgn));
        a.setParam(QStringLiteral("avg_period"), averagingMinutes);
        a.setParam(QStringLiteral("obj_id"), object);
        a.open();
        if (a.next() && !a.field(0).isNull())
            b.ibgn = a.field(0).asInteger();
        a.close();
    }
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
    // The detection commits first, so the run below reads what it stored.
    if (detect)
        DetectCharges(object, threshold, start, end);
    TRun run(*this);
    const TTimeRange first = boundary(object, start, averagingMinutes);
    const TTimeRange last = boundary(object, end, averagingMinutes);
    log << QStringLiteral("Показания датчика(нач.): ") + FloatToText(first.fbgn) +
               QStringLiteral(" на ") + dt::dateTimeToStr(first.tbgn);
    log << QStringLiteral("Показания датчика(оконч.): ") + FloatToText(last.fbgn) +
               QStringLiteral(" на ") + dt::dateTimeToStr(last.tbgn);

    std::vector<TTimeRange> ranges{first};

    const std::vector<TCharge> charges = readCharges(
        statement(QStringLiteral(
            "select OPEN_TANK_TS_PACKET, OPEN_TANK_SENSOR, CLOSE_TANK_TS_PACKET, "
            "CLOSE_TANK_SENSOR from FUEL_CHARGE where ID = :obj and ((OPEN_TANK_TS_PACKET >= :s "
            "and OPEN_TANK_TS_PACKET <= :e) or (OPEN_TANK_TS_PACKET < :s and "
            "CLOSE_TANK_TS_PACKET >= :s)) and OPEN_TANK_SENSOR > 0 order by OPEN_TANK_TS_PACKET")),
        object, start, end);

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

namespace {

void detectOn(db::TDatabase &database, int object, int threshold, TDateTime start, TDateTime end) {
    TTransaction tr(database, TTransactionKind::Write);
    tr.start();
    TQuery d(tr,
             QStringLiteral("SELECT OUT_COUNT FROM PROC_CHARGEFILL2(:obj, :s, :e, :threshold)"));
    d.setParam(QStringLiteral("obj"), object);
    d.setParam(QStringLiteral("s"), db::TParam::timestamp(start));
    d.setParam(QStringLiteral("e"), db::TParam::timestamp(end));
    d.setParam(QStringLiteral("threshold"), threshold);
    RunForEffect(d);
    tr.commit();
}

} // namespace

void TFuelComputations::DetectCharges(int object, int threshold, TDateTime start, TDateTime end) {
    detectOn(m_db, object, threshold, start, end);
}

struct TFuelComputations::TSide {
    explicit TSide(const db::TConnectionSettings &s) : settings(s) {}
    db::TConnectionSettings settings;
    std::mutex lock; // one job at a time on the connection
    db::TDatabase database;
};

void TFuelComputations::setSideConnection(const db::TConnectionSettings &settings) {
    m_side = std::make_shared<TSide>(settings);
}

std::future<void> TFuelComputations::DetectChargesBeside(int object, int threshold, TDateTime start,
                                                         TDateTime end) {
    if (!m_side) {
        std::promise<void> done;
        try {
            DetectCharges(object, threshold, start, end);
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
        return done.get_future();
    }
    return std::async(std::launch::async, [side = m_side, object, threshold, start, end] {
        const std::lock_guard<std::mutex> guard(side->lock);
        try {
            if (!side->database.isOpen())
                side->database.open(side->settings);
            detectOn(side->database, object, threshold, start, end);
        } catch (...) {
            side->database.forceClose(); // the next job connects again
            throw;
        }
    });
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
        TRun run(*this);
        // The gap goes as text, so the server reads the same number as from a literal.
        TQuery &q = statement(
            QStringLiteral("SELECT PAR_GENTIME FROM PROC_CALCPARAMS(:e, :s, :gap, :obj)"));
        q.setParam(QStringLiteral("e"), db::TParam::timestamp(end));
        q.setParam(QStringLiteral("s"), db::TParam::timestamp(start));
        q.setParam(QStringLiteral("gap"), dayFraction(maxLost));
        q.setParam(QStringLiteral("obj"), object);
        q.open();
        int64_t seconds = 0;
        bool any = false;
        while (q.next()) {
            seconds += HMSToSeconds(DHMStoHMS(q.field(0).asString()));
            any = true;
        }
        q.close();
        return any ? SecondsToHMS(seconds) : QStringLiteral("0");
    } catch (const std::exception &) {
        return QStringLiteral("0");
    }
}
