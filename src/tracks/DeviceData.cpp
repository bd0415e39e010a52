#include "tracks/DeviceData.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "tracks/CoordsUtils.h"

QByteArray TDeviceRecord::toBytes() const {
    const QByteArray s = state.left(255);
    QByteArray b(HeadSize + s.size(), '\0');
    auto *p = reinterpret_cast<unsigned char *>(b.data());
    const uint64_t t = std::bit_cast<uint64_t>(static_cast<double>(time));
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(t >> (8 * i));
    ext80::encode(position.Latitude, p + 8);
    ext80::encode(position.Longitude, p + 24);
    p[40] = static_cast<unsigned char>(s.size());
    std::memcpy(p + HeadSize, s.constData(), size_t(s.size()));
    return b;
}

TDeviceRead TDeviceDataReader::next(TDeviceRecord &record, bool readState) {
    unsigned char head[TDeviceRecord::HeadSize];
    const qint64 got = m_stream.read(reinterpret_cast<char *>(head), sizeof head);
    if (got < 8)
        return TDeviceRead::End;
    uint64_t t = 0;
    for (int i = 0; i < 8; ++i)
        t |= static_cast<uint64_t>(head[i]) << (8 * i);
    record.time = std::bit_cast<double>(t);
    record.state.clear();
    if (got < 40)
        return TDeviceRead::TimeOnly;
    record.position.Latitude = ext80::decode(head + 8);
    record.position.Longitude = ext80::decode(head + 24);
    if (got < TDeviceRecord::HeadSize)
        return TDeviceRead::PositionOnly;
    const int L = head[40];
    if (L == 0)
        return TDeviceRead::Complete;
    if (!readState) {
        // The record counts once its length byte is there; the state is not looked at.
        const qint64 left = m_stream.size() - m_stream.pos();
        if (m_stream.isSequential())
            m_stream.read(L);
        else
            m_stream.seek(m_stream.pos() + std::min<qint64>(L, left));
        return TDeviceRead::Complete;
    }
    record.state = m_stream.read(L);
    return record.state.size() == L ? TDeviceRead::Complete : TDeviceRead::PositionOnly;
}

TDateTime ShiftByTimeZone(TDateTime t, int hours) {
    return t > 0 ? (t * 24 + hours) / 24 : (t * 24 - hours) / 24;
}
