#pragma once

#include "online/OnlineData.h"

#include <QString>

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
class TOnlineProcessor {
public:
    TOnlineProcessor(TFManager &fmngr, db::TDatabase &mainDatabase, const QString &coordCacheDir);

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
};
