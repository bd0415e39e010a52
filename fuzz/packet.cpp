// On-line packets of an object's device and the state strings inside them.
#include "FuzzCommon.h"

#include "online/ControllableObject.h"
#include "online/OnlineData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray P(reinterpret_cast<const char *>(data), qsizetype(size));
    TDecodedPacket out;
    const TPacketResult r = DecodeOnlinePacket(1000, P, out);
    if (r == TPacketResult::Decoded) {
        // The packet position plus at most one further point per step pair of the track block.
        if (out.coords.size() > size_t(size / 2 + 1))
            fuzz::broken("more positions than the packet has bytes for");
        TControllableObject object;
        object.DecodeSostString(out.sost);
    } else if (!out.coords.empty() && r != TPacketResult::BadCoordinates) {
        fuzz::broken("positions from a packet that was not decoded");
    }
    // A state string may come from anywhere in a packet: try the raw bytes too.
    TControllableObject object;
    object.DecodeSostString(P);
    return 0;
}
