#include "reports/DrainsStore.h"

#include "app/Cp1251.h"
#include "app/FormatSettings.h"
#include "app/IniFile.h"
#include "db/Database.h"
#include "tracks/CoordsUtils.h"
#include "tracks/TrackAnalysis.h"

#include <QDir>

#include <algorithm>
#include <cmath>

namespace {

// A duplicate in a unique index: another workstation stored the same drain a moment ago.
constexpr intptr_t isc_no_dup = 335544349;
constexpr intptr_t isc_unique_key_violation = 335544665;

const QString kColumns = QStringLiteral(
    "DRN_ID, DRN_OBJECT, DRN_KIND, DRN_BEGIN, DRN_END, DRN_LEVEL_BEFORE, DRN_LEVEL_AFTER, "
    "DRN_RAISED, DRN_LAT, DRN_LNG, DRN_CONFIRMED_BY, DRN_CONFIRMED_AT");

std::optional<TDateTime> optionalTime(const db::TValue &v) {
    return v.isNull() ? std::nullopt : std::optional<TDateTime>(v.asDateTime());
}

db::TParam timeParam(const std::optional<TDateTime> &t) {
    return t ? db::TParam::timestamp(*t) : db::TParam::nullValue();
}

TStoredDrain rowOf(const db::TQuery &q) {
    TStoredDrain d;
    d.id = q.field(QStringLiteral("DRN_ID")).asInteger();
    d.object = q.field(QStringLiteral("DRN_OBJECT")).asInteger();
    d.kind = q.field(QStringLiteral("DRN_KIND")).asInteger();
    d.begin = q.field(QStringLiteral("DRN_BEGIN")).asDateTime();
    d.end = optionalTime(q.field(QStringLiteral("DRN_END")));
    d.levelBefore = q.field(QStringLiteral("DRN_LEVEL_BEFORE")).asDouble();
    d.levelAfter = q.field(QStringLiteral("DRN_LEVEL_AFTER")).asDouble();
    d.raised = optionalTime(q.field(QStringLiteral("DRN_RAISED")));
    d.lat = q.field(QStringLiteral("DRN_LAT")).asDouble();
    d.lng = q.field(QStringLiteral("DRN_LNG")).asDouble();
    d.confirmedBy = q.field(QStringLiteral("DRN_CONFIRMED_BY")).asString();
    d.confirmedAt = optionalTime(q.field(QStringLiteral("DRN_CONFIRMED_AT")));
    return d;
}

std::vector<TStoredDrain> rowsOf(db::TQuery &q) {
    std::vector<TStoredDrain> rows;
    q.open();
    while (q.next())
        rows.push_back(rowOf(q));
    q.close();
    return rows;
}

// The object's stored drains of kind (or of any kind, -1) that share a moment with
// [from, to]. A drain without an end may still be going on: it spans a day from its begin (a
// client closed in the middle of a drain leaves it so).
std::vector<TStoredDrain> overlapping(db::TTransaction &tr, int object, int kind, TDateTime from,
                                      TDateTime to) {
    db::TQuery q(tr, QStringLiteral("select ") + kColumns +
                         QStringLiteral(" from DRAIN_ALERTS where DRN_OBJECT = :obj and "
                                        "DRN_BEGIN <= :upto and coalesce(DRN_END, DRN_BEGIN + 1) "
                                        ">= :since and (:kind < 0 or DRN_KIND = :kind) "
                                        "order by DRN_BEGIN"));
    q.setParam(QStringLiteral("obj"), object);
    q.setParam(QStringLiteral("upto"), db::TParam::timestamp(to));
    q.setParam(QStringLiteral("since"), db::TParam::timestamp(from));
    q.setParam(QStringLiteral("kind"), kind);
    return rowsOf(q);
}

void insertRow(db::TTransaction &tr, TStoredDrain &d) {
    db::TQuery q(tr, QStringLiteral(
                         "insert into DRAIN_ALERTS (DRN_OBJECT, DRN_KIND, DRN_BEGIN, DRN_END, "
                         "DRN_LEVEL_BEFORE, DRN_LEVEL_AFTER, DRN_RAISED, DRN_LAT, DRN_LNG) values "
                         "(:obj, :kind, :begin, :end, :before, :after, :raised, :lat, :lng) "
                         "returning DRN_ID"));
    q.setParam(QStringLiteral("obj"), d.object);
    q.setParam(QStringLiteral("kind"), d.kind);
    q.setParam(QStringLiteral("begin"), db::TParam::timestamp(d.begin));
    q.setParam(QStringLiteral("end"), timeParam(d.end));
    q.setParam(QStringLiteral("before"), d.levelBefore);
    q.setParam(QStringLiteral("after"), d.levelAfter);
    q.setParam(QStringLiteral("raised"), timeParam(d.raised));
    q.setParam(QStringLiteral("lat"), d.lat);
    q.setParam(QStringLiteral("lng"), d.lng);
    q.execute();
    d.id = q.field(0).asInteger();
}

void updateRow(db::TTransaction &tr, const TStoredDrain &d) {
    db::TQuery q(tr, QStringLiteral("update DRAIN_ALERTS set DRN_END = :end, DRN_LEVEL_BEFORE = "
                                    ":before, DRN_LEVEL_AFTER = :after where DRN_ID = :id"));
    q.setParam(QStringLiteral("end"), timeParam(d.end));
    q.setParam(QStringLiteral("before"), d.levelBefore);
    q.setParam(QStringLiteral("after"), d.levelAfter);
    q.setParam(QStringLiteral("id"), d.id);
    q.execute();
}

} // namespace

QString DrainPlaceText(double lat, double lng) {
    if (lat * lng == 0)
        return {};
    return FormatDMS(lat).trimmed() + QLatin1Char(' ') + FormatDMS(lng).trimmed();
}

// ---- the table of drains

TDrainStore::TDrainStore(db::TDatabase &database) : m_db(database) {}

TStoredDrain TDrainStore::raise(const TStoredDrain &alert) {
    TStoredDrain d = alert;
    db::TTransaction tr(m_db, db::TTransactionKind::Write);
    tr.start();
    const TDateTime upto = d.raised.value_or(d.end.value_or(d.begin));
    // The same drain: one still open (this workstation before a reconnection, or another one,
    // raised it), or one that began within a minute of this one. A drain that ended before is
    // another drain, however close.
    std::vector<TStoredDrain> same;
    for (const TStoredDrain &s : overlapping(tr, d.object, TStoredDrain::Live, d.begin, upto))
        if (!s.end || std::abs(s.begin - d.begin) <= 1 / 1440.0)
            same.push_back(s);
    if (same.empty()) {
        try {
            insertRow(tr, d);
        } catch (const db::EDatabaseError &e) {
            if (!e.hasCode(isc_no_dup) && !e.hasCode(isc_unique_key_violation))
                throw;
            // Stored by another workstation in the meantime: its row is the alert.
            same = overlapping(tr, d.object, -1, d.begin, d.begin);
            if (same.empty())
                throw;
        }
    }
    if (!same.empty()) {
        // The drain as this workstation sees it, on the row that was there first.
        const TStoredDrain &s = same.front();
        d.id = s.id;
        d.kind = s.kind;
        d.begin = s.begin;
        d.raised = s.raised;
        d.lat = s.lat;
        d.lng = s.lng;
        d.confirmedBy = s.confirmedBy;
        d.confirmedAt = s.confirmedAt;
        if (s.litres() > d.litres()) {
            d.levelBefore = s.levelBefore;
            d.levelAfter = s.levelAfter;
        }
        updateRow(tr, d);
    }
    tr.commit();
    return d;
}

void TDrainStore::update(const TStoredDrain &alert) {
    db::TTransaction tr(m_db, db::TTransactionKind::Write);
    tr.start();
    updateRow(tr, alert);
    tr.commit();
}

std::optional<TStoredDrain> TDrainStore::confirm(int id, const QString &by, TDateTime at,
                                                 bool *done) {
    db::TTransaction tr(m_db, db::TTransactionKind::Write);
    tr.start();
    {
        db::TQuery q(tr, QStringLiteral("update DRAIN_ALERTS set DRN_CONFIRMED_BY = :by, "
                                        "DRN_CONFIRMED_AT = :at where DRN_ID = :id and "
                                        "DRN_CONFIRMED_AT is null"));
        q.setParam(QStringLiteral("by"), by);
        q.setParam(QStringLiteral("at"), db::TParam::timestamp(at));
        q.setParam(QStringLiteral("id"), id);
        q.execute();
        if (done)
            *done = q.rowsAffected() > 0;
    }
    db::TQuery q(tr, QStringLiteral("select ") + kColumns +
                         QStringLiteral(" from DRAIN_ALERTS where DRN_ID = :id"));
    q.setParam(QStringLiteral("id"), id);
    const std::vector<TStoredDrain> rows = rowsOf(q);
    tr.commit();
    if (rows.empty())
        return std::nullopt;
    return rows.front();
}

std::vector<TStoredDrain> TDrainStore::alerts(TDateTime since) {
    db::TTransaction tr(m_db, db::TTransactionKind::ReadCommitted);
    tr.start();
    db::TQuery q(tr, QStringLiteral("select ") + kColumns +
                         QStringLiteral(" from DRAIN_ALERTS where DRN_KIND = 0 and "
                                        "(DRN_CONFIRMED_AT is null or DRN_BEGIN >= :since) "
                                        "order by DRN_BEGIN, DRN_ID"));
    q.setParam(QStringLiteral("since"), db::TParam::timestamp(since));
    std::vector<TStoredDrain> rows = rowsOf(q);
    tr.commit();
    return rows;
}

std::vector<TStoredDrain> TDrainStore::period(int object, TDateTime from, TDateTime to) {
    db::TTransaction tr(m_db, db::TTransactionKind::ReadCommitted);
    tr.start();
    db::TQuery q(tr, QStringLiteral("select ") + kColumns +
                         QStringLiteral(" from DRAIN_ALERTS where DRN_BEGIN between :since and "
                                        ":upto and (:obj = 0 or DRN_OBJECT = :obj) "
                                        "order by DRN_BEGIN, DRN_OBJECT"));
    q.setParam(QStringLiteral("since"), db::TParam::timestamp(from));
    q.setParam(QStringLiteral("upto"), db::TParam::timestamp(to));
    q.setParam(QStringLiteral("obj"), object);
    std::vector<TStoredDrain> rows = rowsOf(q);
    tr.commit();
    return rows;
}

int TDrainStore::storeFound(int object, const std::vector<TStoredDrain> &found) {
    int added = 0;
    db::TTransaction tr(m_db, db::TTransactionKind::Write);
    tr.start();
    for (TStoredDrain d : found) {
        d.object = object;
        d.kind = TStoredDrain::Found;
        const TDateTime upto = d.end.value_or(d.begin);
        // A stored drain with an end is the same one when the spans meet; one without an end
        // (the live client could not follow it to its end: it was closed meanwhile) when it
        // began within this one.
        std::vector<TStoredDrain> same;
        for (const TStoredDrain &s : overlapping(tr, object, -1, d.begin, upto))
            if (s.end || (s.begin >= d.begin - 1 / 1440.0 && s.begin <= upto))
                same.push_back(s);
        if (same.empty()) {
            insertRow(tr, d);
            ++added;
            continue;
        }
        for (TStoredDrain s : same)
            if (!s.end && d.end) {
                s.end = d.end;
                s.levelBefore = std::max(s.levelBefore, d.levelBefore);
                s.levelAfter = d.levelAfter;
                updateRow(tr, s);
            }
    }
    tr.commit();
    return added;
}

// ---- the history

TDrainSubject SubjectOf(const TObjectRecord &record, const TDrainRule &general) {
    return {record.number, record.tankVolume, record.useEngineForPark == 1,
            EffectiveRule(record.drains, general)};
}

TDrainHistory::TDrainHistory(db::TDatabase &database, TFManager &fmngr,
                             const QString &coordCacheDir)
    : m_db(database), m_fmngr(fmngr), m_coordCacheDir(coordCacheDir) {}

TDrainHistory::TLoaded TDrainHistory::load(const TDrainSubject &s, TDateTime from, TDateTime to) {
    TLoaded out;
    const TDateTime since = from - s.rule.windowMinutes / 1440.0;
    std::vector<TStoredReading> rows;
    {
        db::TTransaction tr(m_db, db::TTransactionKind::ReadCommitted);
        tr.start();
        db::TQuery q(tr, QStringLiteral("select INS_PACKTIME, INS_FUELLEVEL, INS_ERRORAVTOPROTECT "
                                        "from INPUTSIGNALS where INS_NUMBER = :obj and "
                                        "INS_PACKTIME between :since and :upto order by "
                                        "INS_NUMBER, INS_PACKTIME"));
        q.setParam(QStringLiteral("obj"), s.number);
        q.setParam(QStringLiteral("since"), db::TParam::timestamp(since));
        q.setParam(QStringLiteral("upto"), db::TParam::timestamp(to));
        q.open();
        while (q.next())
            rows.push_back(
                {q.field(0).asDateTime(), q.field(1).asInteger(), q.field(2).asInteger()});
        q.close();
        db::TQuery p(tr, QStringLiteral("select SENSOR_VAL, FUEL_VAL, FIXED from FUEL_POINTS "
                                        "where ID = :obj order by SENSOR_VAL"));
        p.setParam(QStringLiteral("obj"), s.number);
        p.open();
        while (p.next())
            out.points.push_back(
                {p.field(0).asInteger(), p.field(1).asDouble(), p.field(2).asInteger()});
        p.close();
        tr.commit();
    }
    if (rows.empty())
        return out;
    // From a while before the first reading (where the drain's object stood before it) to a
    // while after the last (the positions up to the next packet tell its speed).
    const QString folder = m_coordCacheDir + QString::number(s.number) + QLatin1Char('/');
    out.track = LoadTrackPeriod(m_fmngr, folder, rows.front().time - 1 / 24.0,
                                rows.back().time + 1 / 1440.0);
    std::stable_sort(out.track.begin(), out.track.end(),
                     [](const TCoordData &a, const TCoordData &b) { return a.ts < b.ts; });
    out.readings = HistoryReadings(rows, out.track, out.points, s.tankVolume, s.useEngine);
    return out;
}

std::vector<TFuelReading> TDrainHistory::readings(const TDrainSubject &s, TDateTime from,
                                                  TDateTime to) {
    return load(s, from, to).readings;
}

std::vector<TStoredDrain> TDrainHistory::find(const TDrainSubject &s, TDateTime from,
                                              TDateTime to) {
    const TLoaded l = load(s, from, to);
    std::vector<TStoredDrain> out;
    for (const TDrain &d : FindDrains(l.readings, s.rule, CalibrationStep(l.points))) {
        if (d.begin < from || d.begin > to)
            continue;
        TStoredDrain x;
        x.object = s.number;
        x.kind = TStoredDrain::Found;
        x.begin = d.begin;
        x.end = d.end;
        x.levelBefore = d.levelBefore;
        x.levelAfter = d.levelAfter;
        // Where the object stood: its last position with a fix at the begin.
        const auto at = std::upper_bound(l.track.begin(), l.track.end(), d.begin,
                                         [](TDateTime t, const TCoordData &c) { return t < c.ts; });
        for (auto it = at; it != l.track.begin();) {
            --it;
            if (it->lat * it->lng != 0) {
                x.lat = double(it->lat);
                x.lng = double(it->lng);
                break;
            }
        }
        out.push_back(x);
    }
    return out;
}

int TDrainHistory::detect(const TDrainSubject &s, TDateTime from, TDateTime to) {
    return TDrainStore(m_db).storeFound(s.number, find(s, from, to));
}

int DetectPeriodDrains(db::TDatabase &database, TDialogs &dialogs, TFManager &fmngr,
                       const QString &coordCacheDir, const TDrainRule &general, int object,
                       TDateTime from, TDateTime to) {
    TDrainHistory history(database, fmngr, coordCacheDir);
    int added = 0;
    for (const TObjectRecord &r : TObjectRegistry(database, dialogs).LoadList())
        if (object == 0 || r.number == object)
            added += history.detect(SubjectOf(r, general), from, to);
    return added;
}

// ---- the table

TDrainsTable::TDrainsTable(QObject *parent) : QAbstractTableModel(parent) {}

void TDrainsTable::setRows(std::vector<TStoredDrain> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

QString TDrainsTable::columnCaption(int column) {
    switch (column) {
    case colObject:
        return QStringLiteral("Номер");
    case colBegin:
        return QStringLiteral("Начало слива");
    case colEnd:
        return QStringLiteral("Конец слива");
    case colBefore:
        return QStringLiteral("Уровень до, л");
    case colAfter:
        return QStringLiteral("Уровень после, л");
    case colLitres:
        return QStringLiteral("Слито, л");
    case colPlace:
        return QStringLiteral("Место");
    case colKind:
        return QStringLiteral("Обнаружен");
    case colConfirmedBy:
        return QStringLiteral("Подтвердил");
    case colConfirmedAt:
        return QStringLiteral("Подтверждено");
    }
    return {};
}

QString TDrainsTable::cellText(int row, int column) const {
    if (row < 0 || row >= int(m_rows.size()))
        return {};
    const TStoredDrain &d = m_rows[size_t(row)];
    const TFormatSettings &fs = TFormatSettings::current();
    switch (column) {
    case colObject:
        return QString::number(d.object);
    case colBegin:
        return dt::dateTimeToStr(d.begin);
    case colEnd:
        return d.end ? dt::dateTimeToStr(*d.end) : QString();
    case colBefore:
        return fs.formatFloat(d.levelBefore, 1);
    case colAfter:
        return fs.formatFloat(d.levelAfter, 1);
    case colLitres:
        return fs.formatFloat(d.litres(), 1);
    case colPlace:
        return DrainPlaceText(d.lat, d.lng);
    case colKind:
        return d.kind == TStoredDrain::Live ? QStringLiteral("на линии")
                                            : QStringLiteral("по данным");
    case colConfirmedBy:
        return d.confirmedBy;
    case colConfirmedAt:
        return d.confirmedAt ? dt::dateTimeToStr(*d.confirmedAt) : QString();
    }
    return {};
}

QString TDrainsTable::toTabSeparated() const {
    const int columns[] = {colObject, colBegin, colEnd, colLitres, colPlace};
    QStringList line;
    for (int c : columns)
        line << columnCaption(c);
    QString s = line.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int r = 0; r < rowCount(); ++r) {
        line.clear();
        for (int c : columns)
            line << cellText(r, c);
        s += line.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return s;
}

QByteArray TDrainsTable::toCsv() const {
    const auto cell = [](QString t) {
        if (t.contains(QLatin1Char(';')) || t.contains(QLatin1Char('"')) ||
            t.contains(QLatin1Char('\n')) || t.contains(QLatin1Char('\r')))
            t = QLatin1Char('"') + t.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                QLatin1Char('"');
        return t;
    };
    QString s;
    QStringList line;
    for (int c = 0; c < ColumnCount; ++c)
        line << cell(columnCaption(c));
    s += line.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    for (int r = 0; r < rowCount(); ++r) {
        line.clear();
        for (int c = 0; c < ColumnCount; ++c)
            line << cell(cellText(r, c));
        s += line.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    }
    return cp1251::encode(s);
}

void TDrainsTable::exportTo(const QString &fileName) const {
    writeFileAtomically(fileName, toCsv());
}

int TDrainsTable::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TDrainsTable::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TDrainsTable::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return cellText(index.row(), index.column());
}

QVariant TDrainsTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return columnCaption(section);
    return {};
}
