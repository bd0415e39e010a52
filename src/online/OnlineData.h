#pragma once

// The on-line data packet of an object's device: checking, decoding and applying it to the
// object's state, its day track file and its database row.

#include <QByteArray>
#include <QString>

#include <vector>

#include "tracks/CoordsUtils.h"


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
