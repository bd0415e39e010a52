#include "tracks/CoordsUtils.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

void putLe(unsigned char *p, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint64_t getLe(const unsigned char *p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}

constexpr int Bias = 16383;
constexpr uint64_t IntegerBit = 0x8000000000000000ull;

} // namespace

namespace ext80 {

void encode(long double value, unsigned char out[Size]) {
    uint64_t significand = 0;
    unsigned exponent = 0;
    const bool negative = std::signbit(value);
    if (std::isnan(value)) {
        exponent = 0x7FFF;
        significand = 0xC000000000000000ull; // the quiet NaN the FPU produces
    } else if (std::isinf(value)) {
        exponent = 0x7FFF;
        significand = IntegerBit;
    } else if (value != 0) {
        int e = 0;
        const long double m = std::frexp(std::fabs(value), &e); // |value| = m * 2^e, m in [0.5, 1)
        const int biased = e + Bias - 1;
        if (biased >= 0x7FFF) {
            exponent = 0x7FFF;
            significand = IntegerBit;
        } else if (biased <= 0) {
            // Denormal: value = significand * 2^(1 - 16383 - 63), no integer bit.
            significand = static_cast<uint64_t>(std::ldexp(m, biased + 63));
        } else {
            exponent = static_cast<unsigned>(biased);
            significand = static_cast<uint64_t>(std::ldexp(m, 64));
        }
    }
    putLe(out, significand, 8);
    putLe(out + 8, (negative ? 0x8000u : 0u) | exponent, 2);
}

long double decode(const unsigned char in[Size]) {
    const uint64_t significand = getLe(in, 8);
    const unsigned se = static_cast<unsigned>(getLe(in + 8, 2));
    const bool negative = (se & 0x8000u) != 0;
    const int exponent = static_cast<int>(se & 0x7FFFu);
    long double v;
    if (exponent == 0x7FFF) {
        v = (significand & ~IntegerBit) == 0 ? HUGE_VALL : std::nanl("");
    } else if (exponent == 0) {
        v = std::ldexp(static_cast<long double>(significand), 1 - Bias - 63);
    } else {
        v = std::ldexp(static_cast<long double>(significand), exponent - Bias - 63);
    }
    return negative ? -v : v;
}

} // namespace ext80

long double roundHalfEven(long double v) {
    const long double r = std::round(v); // halves away from zero
    if (std::fabs(v - std::trunc(v)) == 0.5L && std::fmod(r, 2.0L) != 0)
        return r - std::copysign(1.0L, v);
    return r;
}

void TCoordData::toBytes(unsigned char out[RecordSize]) const {
    std::memset(out, 0, RecordSize);
    ext80::encode(lat, out);
    ext80::encode(lng, out + 16);
    putLe(out + 32, std::bit_cast<uint64_t>(static_cast<double>(ts)), 8);
    putLe(out + 40, static_cast<uint32_t>(g24), 4);
}

TCoordData TCoordData::fromBytes(const unsigned char in[RecordSize]) {
    TCoordData c;
    c.lat = ext80::decode(in);
    c.lng = ext80::decode(in + 16);
    c.ts = std::bit_cast<double>(getLe(in + 32, 8));
    c.g24 = static_cast<int32_t>(static_cast<uint32_t>(getLe(in + 40, 4)));
    return c;
}

long double GeoDistance(const TGeoCoords &A, const TGeoCoords &B) {
    constexpr long double a = 6378137.0L;
    constexpr long double e2 = 0.00669437999014132L;
    constexpr long double oneMinusE2 = 0.993305620009859L;
    constexpr long double pi = 3.14159265358979L;

    struct Ecef {
        long double N, X, Y, Z;
    };
    auto toEcef = [&](const TGeoCoords &p) {
        const long double phi = p.Latitude / 60 * pi / 180;
        const long double lambda = p.Longitude / 60 * pi / 180;
        const long double s = std::sin(phi);
        Ecef r;
        r.N = a / std::sqrt(1 - e2 * s * s);
        r.X = r.N * std::cos(phi) * std::cos(lambda);
        r.Y = r.N * std::cos(phi) * std::sin(lambda);
        r.Z = oneMinusE2 * r.N * s;
        return r;
    };
    const Ecef pa = toEcef(A);
    const Ecef pb = toEcef(B);
    const long double dx = pa.X - pb.X, dy = pa.Y - pb.Y, dz = pa.Z - pb.Z;
    const long double chord = std::sqrt(dx * dx + dy * dy + dz * dz);
    const long double x = chord / (2 * pa.N);
    // Rounding can put x a hair above 1 for antipodal points; the arc is then a half circle.
    return 2 * pa.N * std::atan2(x, std::sqrt(std::max(0.0L, 1 - x * x)));
}

long double CoordDistance(const TCoordData &A, const TCoordData &B) {
    return GeoDistance(A.coords(), B.coords());
}

namespace {

// Whole milliseconds of a TDateTime: whole days plus the time of day rounded to the millisecond.
long long toMilliseconds(TDateTime t) {
    const double days = std::trunc(t);
    const long long timeMs = std::llround(std::fabs(t - days) * dt::MsPerDay);
    return static_cast<long long>(days) * 86400000LL + (t < 0 ? -timeMs : timeMs);
}

} // namespace

long double CoordSpeed(const TCoordData &A, const TCoordData &B) {
    const long double d = CoordDistance(A, B);
    const long long ms = std::llabs(toMilliseconds(A.ts) - toMilliseconds(B.ts));
    const long double s = roundHalfEven(static_cast<long double>(ms) / 1000);
    return (d / 1000) / (s / 3600);
}

TDMSParts SplitMinutes(long double x) {
    const long double ax = std::fabs(x);
    TDMSParts p;
    const long double deg = std::trunc(ax / 60);
    const long double min = std::trunc(ax - deg * 60);
    const long double rest = ax - deg * 60 - min;
    const long double sec = std::trunc(rest * 60);
    const long double hund = roundHalfEven((rest * 60 - sec) * 100);
    p.degrees = static_cast<unsigned>(deg);
    p.minutes = static_cast<unsigned>(min);
    p.seconds = static_cast<unsigned>(sec);
    p.hundredths = static_cast<unsigned>(hund);
    // 59.996" rounds to 100 hundredths: carry instead of printing 59"100.
    if (p.hundredths >= 100) {
        p.hundredths -= 100;
        ++p.seconds;
    }
    if (p.seconds >= 60) {
        p.seconds -= 60;
        ++p.minutes;
    }
    if (p.minutes >= 60) {
        p.minutes -= 60;
        ++p.degrees;
    }
    return p;
}

QString FormatDMS(long double x) {
    const TDMSParts p = SplitMinutes(x);
    return QStringLiteral("%1%2\u00B0%3'%4\"%5 ")
        .arg(x < 0 ? QStringLiteral("-") : QString(), QString::number(p.degrees),
             QString::number(p.minutes), QString::number(p.seconds), QString::number(p.hundredths));
}

TGeoCoords MinutesToDegrees(const TGeoCoords &c) {
    auto conv = [](long double v) {
        const TDMSParts p = SplitMinutes(v);
        const long double deg = p.degrees + static_cast<long double>(p.minutes) / 60 +
                                static_cast<long double>(p.seconds) / 3600 +
                                static_cast<long double>(p.hundredths) / 360000;
        return v < 0 ? -deg : deg;
    };
    return {conv(c.Latitude), conv(c.Longitude)};
}

long double PlaneDistance(long double x1, long double y1, long double x2, long double y2) {
    return std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
}
