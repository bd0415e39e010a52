#include <gtest/gtest.h>

#include <QFile>
#include <QTextStream>

#include <cmath>

#include "tracks/CoordsUtils.h"

namespace {

TCoordData at(long double lat, long double lng, double msFromStart) {
    TCoordData c;
    c.lat = lat;
    c.lng = lng;
    c.ts = 45000.25 + msFromStart / dt::MsPerDay;
    return c;
}

} // namespace

TEST(GeoDistance, ZeroAndOneMinuteOfLatitude) {
    const TGeoCoords p{3345.1234L, 2256.789L};
    EXPECT_EQ(GeoDistance(p, p), 0.0L);
    // One minute of arc along the meridian at 55 N.
    const long double d = GeoDistance({3300, 2220}, {3301, 2220});
    EXPECT_NEAR(static_cast<double>(d), 1855.4, 0.5);
    EXPECT_NEAR(static_cast<double>(GeoDistance({3301, 2220}, {3300, 2220})), 1855.4, 0.5);
    // Antipodes on the equator: the chord is the diameter, the arc half the circle (not NaN).
    EXPECT_NEAR(static_cast<double>(GeoDistance({0, 0}, {0, 10800})), 3.14159265358979 * 6378137,
                1e-3);
}

// Reference distances from GeographicLib's GeodSolve (see make_geod_reference.sh). The formula
// is the straight chord turned into an arc on the first point's prime-vertical radius; its own
// error grows with the cube of the distance (about s^3/24 * |1/N^2 - 1/rho^2|), so the tolerance
// is a few millimetres plus that term with a safety factor.
TEST(GeoDistance, AgreesWithGeodesicReference) {
    QFile f(QStringLiteral(ZARNEX_SOURCE_DIR "/tests/data/tracks/geod_reference.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly | QIODevice::Text));
    QTextStream in(&f);
    int rows = 0;
    while (!in.atEnd()) {
        const QStringList v = in.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (v.size() != 5)
            continue;
        const TGeoCoords a{v[0].toDouble() * 60.0L, v[1].toDouble() * 60.0L};
        const TGeoCoords b{v[2].toDouble() * 60.0L, v[3].toDouble() * 60.0L};
        const double s = v[4].toDouble();
        const double tol = 0.005 + 5e-17 * s * s * s;
        EXPECT_NEAR(static_cast<double>(GeoDistance(a, b)), s, tol) << v.join(' ').toStdString();
        ++rows;
    }
    EXPECT_GE(rows, 10);
}

TEST(CoordSpeed, WholeSecondsRoundedHalfToEven) {
    const TCoordData a = at(3345, 2256, 0);
    const long double d = CoordDistance(a, at(3346, 2256, 0));
    struct Case {
        double ms;
        double seconds;
    } cases[] = {{2500, 2}, {3500, 4}, {1499, 1}, {1500, 2}, {10000, 10}, {60000.4, 60}};
    for (const Case &c : cases) {
        const TCoordData b = at(3346, 2256, c.ms);
        const double expected = static_cast<double>(d / 1000 / (c.seconds / 3600));
        EXPECT_NEAR(static_cast<double>(CoordSpeed(a, b)), expected, 1e-9 * expected) << c.ms;
        EXPECT_NEAR(static_cast<double>(CoordSpeed(b, a)), expected, 1e-9 * expected) << c.ms;
    }
    // Closer than half a second: no defined speed (infinite, or NaN when not moving).
    EXPECT_TRUE(std::isinf(CoordSpeed(a, at(3346, 2256, 400))));
    EXPECT_TRUE(std::isnan(CoordSpeed(a, at(3345, 2256, 400))));
}

TEST(FormatDMS, DegreesMinutesSecondsHundredths) {
    struct Case {
        long double minutes;
        const char *text;
    } cases[] = {
        {3345.1234L, "55°45'7\"40 "},
        {0, "0°0'0\"0 "},
        {3300.5L, "55°0'30\"0 "},
        // 45' 59.996" rounds to 100 hundredths: carried into the seconds and minutes.
        {3345 + 59.996L / 60, "55°46'0\"0 "},
        {3359 + 59.999L / 60, "56°0'0\"0 "},
        {-3345.1234L, "-55°45'7\"40 "},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FormatDMS(c.minutes), QString::fromUtf8(c.text)) << c.text;
}

TEST(MinutesToDegrees, QuantisedToHundredthsOfASecond) {
    const TGeoCoords d = MinutesToDegrees({3345.1234L, -2256.789L});
    EXPECT_NEAR(static_cast<double>(d.Latitude), 55 + 45 / 60.0 + 7 / 3600.0 + 40 / 360000.0,
                1e-12);
    // 37 deg 36.789' = 37 36' 47.34"
    EXPECT_NEAR(static_cast<double>(d.Longitude), -(37 + 36 / 60.0 + 47 / 3600.0 + 34 / 360000.0),
                1e-12);
}
