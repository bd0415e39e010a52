#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "tracks/CoordsUtils.h"

namespace {

QByteArray bytesOf(const TCoordData &c) {
    QByteArray b(TCoordData::RecordSize, '\x55');
    c.toBytes(reinterpret_cast<unsigned char *>(b.data()));
    return b;
}

QByteArray ext(long double v) {
    QByteArray b(ext80::Size, '\0');
    ext80::encode(v, reinterpret_cast<unsigned char *>(b.data()));
    return b;
}

} // namespace

TEST(Extended80, KnownEncodings) {
    struct Case {
        long double value;
        const char *hex; // bytes 0..9
    };
    const Case cases[] = {
        {0.0L, "00000000000000000000"},
        {1.0L, "0000000000000080ff3f"},
        {-2.5L, "00000000000000a000c0"},
        {0.5L, "0000000000000080fe3f"},
        {std::numeric_limits<long double>::infinity(), "0000000000000080ff7f"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ext(c.value).toHex(), QByteArray(c.hex)) << static_cast<double>(c.value);
    EXPECT_EQ(ext(-0.0L).toHex(), QByteArray("00000000000000000080"));
}

TEST(Extended80, RoundTripsExactlyAndMatchesTheFpuLayout) {
    std::vector<long double> values = {0.0L,
                                       -0.0L,
                                       3345.1234L,
                                       -3345.1234L,
                                       2250.0L,
                                       10799.9999L,
                                       1e-4000L,
                                       -1e4000L,
                                       1.0L / 3,
                                       -7.0L,
                                       std::numeric_limits<long double>::denorm_min(),
                                       std::numeric_limits<long double>::max()};
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> d(-11000.0, 11000.0);
    for (int i = 0; i < 200; ++i)
        values.push_back(static_cast<long double>(d(rng)) / 7);
    for (long double v : values) {
        const QByteArray b = ext(v);
        const long double back = ext80::decode(reinterpret_cast<const unsigned char *>(b.data()));
        EXPECT_TRUE(back == v && std::signbit(back) == std::signbit(v)) << static_cast<double>(v);
#if defined(__x86_64__) || defined(__i386__)
        // On x87 hardware the in-memory long double is the same format: an independent check.
        unsigned char mem[sizeof(long double)] = {};
        std::memcpy(mem, &v, sizeof v);
        EXPECT_EQ(b, QByteArray(reinterpret_cast<const char *>(mem), ext80::Size))
            << static_cast<double>(v);
#endif
    }
}

TEST(CoordData, RecordLayoutByteForByte) {
    TCoordData c;
    c.lat = 1.0L;
    c.lng = -2.5L;
    c.ts = 2.0; // 1900-01-01
    c.g24 = -2;
    const QByteArray b = bytesOf(c);
    ASSERT_EQ(b.size(), 48);
    EXPECT_EQ(b.toHex(), QByteArray("0000000000000080ff3f000000000000"
                                    "00000000000000a000c0000000000000"
                                    "0000000000000040feffffff00000000"));

    // Padding is ignored on reading; every field comes back as written.
    QByteArray dirty = b;
    for (int i : {10, 11, 12, 13, 14, 15, 26, 27, 28, 29, 30, 31, 44, 45, 46, 47})
        dirty[i] = '\x7f';
    const TCoordData r =
        TCoordData::fromBytes(reinterpret_cast<const unsigned char *>(dirty.data()));
    EXPECT_EQ(r.lat, c.lat);
    EXPECT_EQ(r.lng, c.lng);
    EXPECT_EQ(r.ts, c.ts);
    EXPECT_EQ(r.g24, c.g24);
}

TEST(CoordData, PositionsRoundTrip) {
    const long double positions[][2] = {
        {0, 0}, {3345.1234L, 2256.789L}, {-2040.5L, -4380.25L}, {5400, 10800}, {0.0001L, -0.0001L}};
    for (const auto &p : positions) {
        TCoordData c;
        c.lat = p[0];
        c.lng = p[1];
        c.ts = 41713.5 + p[0] / 1e6;
        c.g24 = 1;
        const QByteArray b = bytesOf(c);
        EXPECT_EQ(b.mid(10, 6), QByteArray(6, '\0'));
        EXPECT_EQ(b.mid(26, 6), QByteArray(6, '\0'));
        EXPECT_EQ(b.mid(44, 4), QByteArray(4, '\0'));
        const TCoordData r =
            TCoordData::fromBytes(reinterpret_cast<const unsigned char *>(b.data()));
        EXPECT_EQ(r.lat, c.lat);
        EXPECT_EQ(r.lng, c.lng);
        EXPECT_EQ(r.ts, c.ts);
        EXPECT_EQ(bytesOf(r), b);
    }
}
