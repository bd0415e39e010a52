#pragma once

// The on-line data packet of an object's device: checking, decoding and applying it to the
// object's state, its day track file and its database row.

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

#include "tracks/CoordsUtils.h"

class TControllableObject;
class TFManager;
class TManager;
namespace db {
class TDatabase;
}

// A packet taken apart.
struct TDecodedPacket {
    TDateTime time = 0; // the device's time, not yet shifted by the object's time zone
    bool timeValid = false;
    std::vector<TCoordStamp> coords; // the packet position first, then the further points
    QByteArray sost;                 // the state string
};

enum class TPacketResult { Ignored, BadChecksum, BadCoordinates, Decoded };

// XOR of bytes [0, end), low 5 bits, 0 taken as 1, bit 0x40 set.
unsigned char PacketChecksum(const QByteArray &P, int end);

// Checks and decodes a packet of object N. Rejections are written to the operations log.
TPacketResult DecodeOnlinePacket(int N, const QByteArray &P, TDecodedPacket &out);

// Applies decoded packets to the objects of the manager.
class TOnlineProcessor {
public:
    TOnlineProcessor(TFManager &fmngr, db::TDatabase &mainDatabase, const QString &coordCacheDir);

    // Called in the main thread for every payload that starts with 0x08. Errors other than
    // checksum and coordinate errors propagate to the caller.
    void ProcessObjectOnLineData(TManager *manager, int N, const QByteArray &P);

    // Where the map, the web map and the track display attach.
    std::function<bool()> isArchiveView;
    std::function<int()> activeObject;
    // The active object's packet was news: redraw its track from this time.
    std::function<void(TControllableObject &, TDateTime from)> showActiveTrack;
    // The packet was news: the map item, the web-map marker and follow mode take the position.
    std::function<void(TControllableObject &)> updatingPacket;
    std::function<void()> repaintMap;

    // The day file an object's position of that (shifted) time goes to.
    QString dayFileName(int N, TDateTime t) const;

private:
    void apply(TManager *manager, TControllableObject &obj, const TDecodedPacket &pkt,
               const TControllableObject &decoded, int N);

    TFManager &m_fmngr;
    db::TDatabase &m_db;
    QString m_coordCacheDir;
};
