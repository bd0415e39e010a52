#include "PacketEncoder.h"

#include <cmath>

namespace {
char b(int v) {
    return static_cast<char>(v & 0xFF);
}

void putCoordinate(TBytes &out, double minutes) {
    long long tenThousandths = std::llround(minutes * 10000);
    const int degrees = static_cast<int>(tenThousandths / 600000);
    tenThousandths -= static_cast<long long>(degrees) * 600000;
    const int wholeMinutes = static_cast<int>(tenThousandths / 10000);
    const int fraction = static_cast<int>(tenThousandths % 10000);
    out += b(degrees + 27);
    out += b(wholeMinutes + 48);
    out += b(fraction / 100 + 27);
    out += b(fraction % 100 + 27);
}

int clampStep(long v) {
    return static_cast<int>(std::max(-78L, std::min(177L, v)));
}
} // namespace

uint8_t TPacketEncoder::checksum(const TBytes &bytes) {
    uint8_t x = 0;
    for (char c : bytes)
        x ^= static_cast<uint8_t>(c);
    x &= 0x1F;
    if (x == 0)
        x = 1;
    return static_cast<uint8_t>(x | 0x40);
}

TBytes TPacketEncoder::positionBlock(const TPoint &p) {
    TBytes out;
    putCoordinate(out, p.lat);
    putCoordinate(out, p.lon);
    return out;
}

TBytes TPacketEncoder::trackBlock(const TPoint &start, const std::vector<TPoint> &further) {
    if (further.empty())
        return TBytes(1, b(0xCF));
    // The fine scale (0.0002') when every step fits into a byte, otherwise the coarse one.
    auto fits = [&](double divisor) {
        double lat = std::round(start.lat * 10000) / 10000,
               lon = std::round(start.lon * 10000) / 10000;
        for (const TPoint &p : further) {
            const long dy = std::lround((p.lat - lat) * divisor);
            const long dx = std::lround((p.lon - lon) * divisor);
            if (dy < -78 || dy > 177 || dx < -78 || dx > 177)
                return false;
            lat += dy / divisor;
            lon += dx / divisor;
        }
        return true;
    };
    const bool fine = fits(5000);
    const double divisor = fine ? 5000 : 500;
    TBytes out;
    out += fine ? '5' : '3';
    out += b(static_cast<int>(further.size()) + 27);
    // The client starts from the position as the packet carries it (four decimals).
    double lat = std::round(start.lat * 10000) / 10000, lon = std::round(start.lon * 10000) / 10000;
    for (const TPoint &p : further) {
        const int dy = clampStep(std::lround((p.lat - lat) * divisor));
        const int dx = clampStep(std::lround((p.lon - lon) * divisor));
        out += b(dy + 78);
        out += b(dx + 78);
        lat += dy / divisor;
        lon += dx / divisor;
    }
    return out;
}

TBytes TPacketEncoder::onlinePacket(const QDateTime &time, const std::optional<TPoint> &position,
                                    const std::vector<TPoint> &further, const TBytes &stateBody,
                                    bool withLf) {
    const QDate d = time.date();
    const QTime t = time.time();
    TBytes p;
    p += b(0x08);
    p += b(t.hour() + 48);
    p += b(t.minute() + 48);
    p += b(t.second() + 48);
    p += b(d.day() + 48);
    p += b(d.month() + 48);
    p += b(d.year() - 2000 + 27);
    if (position) {
        p += positionBlock(*position);
        p += trackBlock(*position, further);
    } else {
        p += b(0xCF);
        p += b(0xCF); // without a position there is nothing to step from
    }
    p += ';'; // separator
    p += stateBody;
    p += static_cast<char>(checksum(p));
    p += '\r'; // end byte
    if (withLf)
        p += '\n';
    return p;
}

TBytes TPacketEncoder::shortState(const TObjectState &s, int version) {
    // Bytes 0..10: S[1] flags and version, S[4] signals, S[5..6] fuel, S[7..8] voltage,
    // S[9..10] temperature; the checksum becomes S[11] (its bit 5 is always clear).
    TBytes st(11, b(0x40));
    const int v = std::max(1, std::min(3, version));
    st[1] = b(0x40 | (s.alertBtn & 1) | ((v & 1) << 3) | ((v >> 1 & 1) << 5));
    st[4] = b(0x40 | (s.kungTrailer & 1) | (s.exOut2 & 1) << 2 | (s.v24Gen & 1) << 3 |
              (s.exOut1 & 1) << 4 | (s.tankCoverSensor & 1) << 5);
    const int fuel = std::max(0, std::min(1023, s.fuelRaw));
    st[5] = b(0x40 | fuel >> 8);
    st[6] = b(fuel & 0xFF);
    int raw;
    if (v >= 3) {
        raw = static_cast<int>(std::lround((s.boardVoltageMv / 1000.0 - 1.2575) / 0.02036));
    } else {
        const double ref = v >= 2 ? 3300 : 5000, r1 = v >= 2 ? 15000 : 24000,
                     r2 = v >= 2 ? 3300 : 4700;
        raw = static_cast<int>(std::lround(s.boardVoltageMv * r2 / (r1 + r2) * 1024 / ref));
    }
    raw = std::max(0, std::min(1023, raw));
    st[7] = b(0x40 | raw >> 8);
    st[8] = b(raw & 0xFF);
    const int t = std::max(
        0, std::min(1023, static_cast<int>(std::lround((s.temperature + 46.44) / 0.2988))));
    st[9] = b(0x40 | t >> 8);
    st[10] = b(t & 0xFF);
    return st;
}

TBytes TPacketEncoder::longState(const TObjectState &s, int version) {
    // 20 bytes: S[0] version, S[3] signals, S[16..17] fuel and S[18..19] voltage (12 bits each,
    // five high bits then seven low bits).
    TBytes st(20, b(0x40));
    st[0] = b(0x40 | (version & 0x0F));
    st[3] = b(0x40 | (s.kungTrailer & 1) | (s.exOut2 & 1) << 1 | (s.v24Gen & 1) << 2 |
              (s.tankCoverSensor & 1) << 3);
    auto put12 = [&](int at, int v) {
        v = std::max(0, std::min(4095, v));
        st[at] = b(0x40 | (v >> 7 & 0x1F));
        st[at + 1] = b(0x80 | (v & 0x7F));
    };
    put12(16, s.fuelRaw);
    put12(18, static_cast<int>(std::lround((s.boardVoltageMv / 1000.0 - 1.2575) / 0.02036)));
    return st;
}

TBytes TPacketEncoder::stateFor(const TObjectState &s, const QString &form) {
    if (form == QLatin1String("long"))
        return longState(s);
    if (form == QLatin1String("short1"))
        return shortState(s, 1);
    if (form == QLatin1String("short2"))
        return shortState(s, 2);
    return shortState(s, 3);
}
