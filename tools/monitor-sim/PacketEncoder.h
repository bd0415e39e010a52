#pragma once

#include "ObjectSim.h"
#include "link/Bytes.h"

#include <QDateTime>

#include <cstdint>
#include <optional>
#include <vector>

// Encodes what a device sends: the on-line packet with its time, position block, track block
// of further points two seconds apart, state string and checksum.
class TPacketEncoder {
public:
    struct TPoint {
        double lat, lon; // minutes of arc
    };

    // position empty: the "no position" byte; further: the points after it, 2 s apart.
    static TBytes onlinePacket(const QDateTime &time, const std::optional<TPoint> &position,
                               const std::vector<TPoint> &further, const TBytes &stateBody,
                               bool withLf);
    // The state bytes of the short form (version 1..3) or the long form; the packet's
    // checksum byte follows them and ends the state string as the client reads it.
    static TBytes shortState(const TObjectState &s, int version);
    static TBytes longState(const TObjectState &s, int version = 4);
    static TBytes stateFor(const TObjectState &s, const QString &form);

    static uint8_t checksum(const TBytes &bytes);
    static TBytes positionBlock(const TPoint &p);
    // The step bytes of the further points (and the scale marker they need); the steps are
    // taken from the position the client will have rebuilt, so rounding never adds up.
    static TBytes trackBlock(const TPoint &start, const std::vector<TPoint> &further);
};
