#include "session/OnlineProcessor.h"

#include "db/Database.h"
#include "db/GroupManager.h"
#include "online/ControllableObject.h"
#include "tracks/FileManager.h"

TOnlineProcessor::TOnlineProcessor(TFManager &fmngr, db::TDatabase &mainDatabase,
                                   const QString &coordCacheDir)
    : m_fmngr(fmngr), m_db(mainDatabase), m_coordCacheDir(coordCacheDir), m_appender(fmngr),
      m_recorder(mainDatabase) {}

void TOnlineProcessor::beginBatch() {
    m_batch = true;
    try {
        m_recorder.beginBatch();
    } catch (...) {
        // Each packet tries again and reports its own failure.
    }
}

void TOnlineProcessor::endBatch() {
    if (!m_batch)
        return;
    m_batch = false;
    try {
        m_appender.sync();
    } catch (...) {
        m_recorder.commitBatch();
        throw;
    }
    m_recorder.commitBatch();
}

QString TOnlineProcessor::dayFileName(int N, TDateTime t) const {
    return m_coordCacheDir + QString::number(N) + QLatin1Char('/') +
           dt::formatDateTime(QStringLiteral("yyyymmdd"), t) + QStringLiteral(".dat");
}

std::vector<TAppliedPacket> TOnlineProcessor::ProcessObjectOnLineData(TManager *manager, int N,
                                                                      const QByteArray &P) {
    std::vector<TAppliedPacket> applied;
    TDecodedPacket pkt;
    if (DecodeOnlinePacket(N, P, pkt) != TPacketResult::Decoded)
        return applied;
    TControllableObject decoded;
    try {
        decoded.DecodeSostString(pkt.sost);
    } catch (...) {
        // A state string that cannot be read leaves the fields at zero.
    }
    if (!manager)
        return applied;
    // Normally one object has the number; apply to each that has it.
    const std::vector<TControllableObject *> objects = manager->FObjects;
    for (TControllableObject *obj : objects)
        if (obj->Number == N)
            applied.push_back(apply(manager, *obj, pkt, decoded, N));
    return applied;
}

TAppliedPacket TOnlineProcessor::apply(TManager *manager, TControllableObject &obj,
                                       const TDecodedPacket &pkt,
                                       const TControllableObject &decoded, int N) {
    const double shift = obj.TimeZone / 24.0;
    const TDateTime t = pkt.time + shift;
    const TDateTime current = obj.validPackTime().value_or(0);
    const bool updating = !obj.HadOnlineData || current <= t;
    if (updating) {
        obj.TS = t;
        obj.PackTime = pkt.timeValid ? t : std::nan("");
        obj.PCTime.clear();
        obj.AlertBtn = decoded.AlertBtn;
        obj.Version = decoded.Version;
        obj.KungTrailer = decoded.KungTrailer;
        obj.ExOut1 = decoded.ExOut1;
        obj.TankCoverSensor = decoded.TankCoverSensor;
        obj.ExOut2 = decoded.ExOut2;
        obj.BoardVoltage = decoded.BoardVoltage;
        obj.Temperature = decoded.Temperature;
        obj.V24Gen = decoded.V24Gen;
        if (decoded.FuelLevel > 50)
            obj.FuelLevel = decoded.FuelLevel;
        if (!pkt.coords.empty()) {
            obj.Lat = pkt.coords.back().Coords.Latitude;
            obj.Lng = pkt.coords.back().Coords.Longitude;
            obj.LastTextLat = obj.Lat;
            obj.LastTextLng = obj.Lng;
        } else {
            obj.LastTextLat = 0;
            obj.LastTextLng = 0;
        }
    }
    obj.HadOnlineData = true;

    // The positions carry the object's local time, as the day file they go to.
    obj.CCoords = pkt.coords;
    for (TCoordStamp &c : obj.CCoords)
        c.ts += shift;
    std::vector<TCoordData> records;
    records.reserve(obj.CCoords.size());
    for (const TCoordStamp &c : obj.CCoords) {
        TCoordData d;
        d.lat = c.Coords.Latitude;
        d.lng = c.Coords.Longitude;
        d.ts = c.ts;
        d.g24 = obj.V24Gen;
        records.push_back(d);
        obj.track.add(d);
    }

    auto &tr = obj.track.coords;
    if (tr.size() >= 2 && tr.back().ts > tr[tr.size() - 2].ts) {
        const TCoordData &a = tr[tr.size() - 2], &b = tr.back();
        const long double seconds = std::llround((b.ts - a.ts) * dt::MsPerDay) / 1000.0L;
        obj.Speed =
            GeoDistance(TGeoCoords{a.lat, a.lng}, TGeoCoords{b.lat, b.lng}) * 3.6L / seconds;
    }
    // Nobody draws the history of an object that is neither active nor shown: the day files
    // hold it.
    if (m_keepsWholeTrack && tr.size() > 1 && !m_keepsWholeTrack(N))
        tr.erase(tr.begin(), tr.end() - 1);

    m_appender.append(dayFileName(N, t), records, !m_batch);

    if (updating) {
        if (m_batch)
            m_recorder.recordInBatch(obj);
        else
            m_recorder.recordOne(obj);
    }
    return TAppliedPacket{&obj, updating, obj.CCoords.empty() ? 0 : obj.CCoords.front().ts};
}
