#pragma once

#include "db/OnlineRecorder.h"
#include "online/OnlineData.h"
#include "tracks/TrackAppender.h"

#include <QString>

#include <functional>

class TControllableObject;
class TFManager;
class TManager;
namespace db {
class TDatabase;
}

#include <vector>

// What one packet did to one object of the registry.
struct TAppliedPacket {
    TControllableObject *object = nullptr;
    bool updating = false;   // not older than the state held: fields, map and row take it
    TDateTime trackFrom = 0; // the first position of the packet (0 without positions)
};

// Applies decoded packets to the objects of the registry: their state, in-memory track, speed,
// day track file, fuel and position in the database, and their OBJECTS row. What the map and
// the track display do with it is the session's business.
//
// A packet on its own is durable when it returns: its day-file records synced, its row (fuel
// look-up and the whole row) committed in one transaction. Between beginBatch and endBatch the
// packets share one transaction (a savepoint each) and one sync of the day files, made by
// endBatch: a power cut may then cost the packets of the batch not yet ended.
class TOnlineProcessor {
public:
    TOnlineProcessor(TFManager &fmngr, db::TDatabase &mainDatabase, const QString &coordCacheDir);

    // Objects whose in-memory track keeps every position received (the active object, the
    // object whose track is shown); the others keep only their last position, which the speed
    // of the next packet needs. Without a rule every object keeps everything.
    void setKeepsWholeTrack(std::function<bool(int)> rule) { m_keepsWholeTrack = std::move(rule); }

    void beginBatch();
    // Syncs the day files of the batch and commits its rows; errors are raised.
    void endBatch();
    bool inBatch() const { return m_batch; }

    TTrackAppender &appender() { return m_appender; }

    // Called in the main thread for every payload that starts with 0x08. Errors other than
    // checksum and coordinate errors propagate to the caller.
    std::vector<TAppliedPacket> ProcessObjectOnLineData(TManager *manager, int N,
                                                        const QByteArray &P);

    // The day file an object's position of that (shifted) time goes to.
    QString dayFileName(int N, TDateTime t) const;

private:
    TAppliedPacket apply(TManager *manager, TControllableObject &obj, const TDecodedPacket &pkt,
                         const TControllableObject &decoded, int N);

    TFManager &m_fmngr;
    db::TDatabase &m_db;
    QString m_coordCacheDir;
    TTrackAppender m_appender;
    TOnlineRecorder m_recorder;
    std::function<bool(int)> m_keepsWholeTrack;
    bool m_batch = false;
};
