// A decrypted server line: its form, the payload of object data, and an on-line packet in it.
#include "FuzzCommon.h"

#include "link/ServerLines.h"
#include "online/ControllableObject.h"
#include "online/OnlineData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray line(reinterpret_cast<const char *>(data), qsizetype(size));
    const TServerLine l = ParseServerLine(line);
    if (l.objects.size() > size_t(size))
        fuzz::broken("more objects than the line has bytes");
    if (l.kind != TServerLineKind::ObjectData || l.malformed)
        return 0;
    const TPayload p = ClassifyPayload(l.payload);
    if (p.kind != TPayloadKind::Online)
        return 0;
    TDecodedPacket packet;
    if (DecodeOnlinePacket(l.number, l.payload, packet) == TPacketResult::Decoded) {
        TControllableObject object;
        object.DecodeSostString(packet.sost);
    }
    return 0;
}
