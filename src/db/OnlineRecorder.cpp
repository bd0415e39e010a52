#include "db/OnlineRecorder.h"

#include <cmath>

#include "online/ControllableObject.h"

namespace {
// Values the row keeps with two decimals, as the text statements of the recording write them.
double twoDecimals(long double v) {
    return std::round(static_cast<double>(v) * 100.0) / 100.0;
}
} // namespace

TOnlineRecorder::TOnlineRecorder(db::TDatabase &database)
    : m_db(database), m_tr(database, db::TTransactionKind::Write) {}

TOnlineRecorder::~TOnlineRecorder() {
    abandonBatch();
    dropStatements();
}

const char *TOnlineRecorder::rowSql() {
    return "UPDATE OBJECTS SET obj_PACKTIME = ?, obj_fuellevel = ?, obj_boardvoltage = ?, "
           "obj_locomotivemove = ?, obj_warningmode = ?, obj_erroravtoprotect = ?, "
           "obj_dieselwork = ?, obj_abvoltagelessmin = ?, obj_ALERTBTN = ?, obj_VERSION = ?, "
           "OBJ_USEENGINEFORPARK = ?, obj_lat = ?, obj_lng = ?, obj_text_lat = ?, "
           "obj_text_lng = ?, obj_ts = ?, obj_fuellevell = ?, OBJ_TEMPERATURE = ? "
           "WHERE OBJ_NUMBER = ?";
}

void TOnlineRecorder::bindRow(db::TQuery &q, const TControllableObject &o) {
    const std::optional<TDateTime> packTime = o.validPackTime();
    int i = 0;
    q.setParam(i++, packTime ? db::TParam::timestamp(*packTime) : db::TParam::nullValue());
    for (int v : {o.FuelLevel, o.BoardVoltage, o.TankCoverSensor, o.KungTrailer, o.V24Gen, o.ExOut1,
                  o.ExOut2, o.AlertBtn, o.Version, o.UseEngineForPark})
        q.setParam(i++, v);
    for (long double v : {o.Lat, o.Lng, o.LastTextLat, o.LastTextLng})
        q.setParam(i++, twoDecimals(v));
    // The text statement writes the time to the millisecond.
    q.setParam(i++, db::TParam::timestamp(std::round(o.TS * dt::MsPerDay) / dt::MsPerDay));
    q.setParam(i++, twoDecimals(o.FuelLevelL));
    q.setParam(i++, twoDecimals(o.Temperature));
    q.setParam(i++, o.Number);
}

void TOnlineRecorder::dropStatements() noexcept {
    m_fuel.reset();
    m_row.reset();
    m_savepoint.reset();
    m_rollbackTo.reset();
    m_preparedOn = nullptr;
    m_stale = false;
}

void TOnlineRecorder::prepareStatements() {
    // Statements belong to the connection: a reopened main connection needs them anew.
    if (m_row && !m_stale && m_preparedOn == m_db.attachment())
        return;
    dropStatements();
    m_fuel = std::make_unique<db::TQuery>(
        m_tr, QStringLiteral("SELECT OUT_FUEL_LEVEL FROM PROC_GETFUEL(?, ?)"));
    m_row = std::make_unique<db::TQuery>(m_tr, QString::fromLatin1(rowSql()));
    m_savepoint = std::make_unique<db::TQuery>(m_tr, QStringLiteral("SAVEPOINT ONLINE_PACKET"));
    m_rollbackTo =
        std::make_unique<db::TQuery>(m_tr, QStringLiteral("ROLLBACK TO SAVEPOINT ONLINE_PACKET"));
    m_fuel->prepare();
    m_row->prepare();
    m_preparedOn = m_db.attachment();
}

void TOnlineRecorder::run(TControllableObject &o) {
    m_fuel->setParam(0, o.Number);
    m_fuel->setParam(1, o.FuelLevel);
    m_fuel->open();
    // No row, or NULL, reads as 0 litres.
    long double litres = 0;
    if (m_fuel->next() && !m_fuel->field(0).isNull())
        litres = m_fuel->field(0).asDouble();
    m_fuel->close();
    o.FuelLevelL = litres > o.TankVolume ? static_cast<long double>(o.TankVolume) : litres;
    bindRow(*m_row, o);
    m_row->execute();
}

void TOnlineRecorder::recordOne(TControllableObject &o) {
    if (m_batch) {
        recordInBatch(o);
        return;
    }
    try {
        if (!m_tr.isActive())
            m_tr.start();
        prepareStatements();
        run(o);
        m_tr.commit();
    } catch (...) {
        if (m_fuel)
            m_fuel->close();
        m_tr.forceRollback();
        dropStatements();
        throw;
    }
}

void TOnlineRecorder::beginBatch() {
    if (m_batch)
        return;
    try {
        if (!m_tr.isActive())
            m_tr.start();
        prepareStatements();
    } catch (...) {
        m_tr.forceRollback();
        dropStatements();
        throw;
    }
    m_batch = true;
}

void TOnlineRecorder::recordInBatch(TControllableObject &o) {
    if (!m_batch)
        beginBatch();
    try {
        m_savepoint->execute();
    } catch (...) {
        m_stale = true; // the connection may have gone: prepare anew after the batch
        throw;
    }
    try {
        run(o);
    } catch (...) {
        m_stale = true;
        m_fuel->close();
        try {
            m_rollbackTo->execute();
        } catch (...) {
            // The transaction is lost with it; the commit of the batch reports that.
        }
        throw;
    }
}

void TOnlineRecorder::commitBatch() {
    if (!m_batch)
        return;
    m_batch = false;
    try {
        m_tr.commit();
    } catch (...) {
        m_tr.forceRollback();
        dropStatements();
        throw;
    }
    if (m_stale)
        dropStatements();
}

void TOnlineRecorder::abandonBatch() noexcept {
    if (m_fuel)
        m_fuel->close();
    m_batch = false;
    m_tr.forceRollback();
    if (m_stale)
        dropStatements();
}
