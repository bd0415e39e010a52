#include "maps/CoordsConverter.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

TControlPoint cp(int x, int y, long double lat, long double lon) {
    return {QPoint(x, y), {lat, lon}};
}

QString bindingError(const TControlPoints &points) {
    TCoordsConverter c;
    try {
        c.SetControlPoints(points);
    } catch (const EMapBindingError &e) {
        // A failed binding leaves no half-built model behind.
        EXPECT_TRUE(c.xCoeff().isEmpty() && c.latCoeff().isEmpty());
        const TMapCoords m = c.GeoToMap({3345, 2256});
        EXPECT_EQ(double(m.X), 0.0);
        EXPECT_EQ(double(m.Y), 0.0);
        return e.message();
    }
    return {};
}

TEST(CoordsConverterTest, EmptyConverterGivesZero) {
    const TCoordsConverter c;
    const TMapCoords m = c.GeoToMap({3345, 2256});
    const TGeoCoords g = c.MapToGeo({100, 200});
    EXPECT_EQ(double(m.X), 0.0);
    EXPECT_EQ(double(m.Y), 0.0);
    EXPECT_EQ(double(g.Latitude), 0.0);
    EXPECT_EQ(double(g.Longitude), 0.0);
}

TEST(CoordsConverterTest, RightTriangleBindsAffinelyAndExactly) {
    // 90°, 45°, 45° in the (latitude, longitude) plane.
    const TControlPoints points = {cp(0, 0, 3360, 2220), cp(600, 0, 3360, 2250),
                                   cp(0, 1000, 3330, 2220)};
    const TCoordsConverter c(points);
    ASSERT_EQ(c.xCoeff().size(), 3);
    ASSERT_EQ(c.latCoeff().size(), 3);
    for (const TControlPoint &p : points) {
        const TMapCoords m = c.GeoToMap(p.GeoCoords);
        EXPECT_NEAR(double(m.X), p.MapCoords.x(), 1e-9);
        EXPECT_NEAR(double(m.Y), p.MapCoords.y(), 1e-9);
    }
    const TGeoCoords inside{3341.25L, 2233.5L};
    const TGeoCoords back = c.MapToGeo(c.GeoToMap(inside));
    EXPECT_NEAR(double(back.Latitude), double(inside.Latitude), 1e-9);
    EXPECT_NEAR(double(back.Longitude), double(inside.Longitude), 1e-9);
}

TEST(CoordsConverterTest, TriangleTest) {
    const struct {
        TGeoCoords a, b, c;
        bool acceptable;
    } cases[] = {
        {{0, 0}, {0, 10}, {10, 0}, true},   // right isosceles
        {{0, 0}, {0, 10}, {5, 8.66}, true}, // equilateral
        {{0, 0}, {0, 10}, {1, 5}, false},   // 157° at the apex
        {{0, 0}, {0, 10}, {2.5, 5}, true},  // about 127°
        {{0, 0}, {0, 10}, {0, 10}, false},  // two coinciding positions
        {{0, 0}, {0, 10}, {0, 20}, false},  // collinear
        {{0, 0}, {0, 10}, {10, 1}, true},
        {{0, 0}, {0, 10}, {20, 1}, true},  // 27° at the far vertex
        {{0, 0}, {0, 10}, {30, 1}, false}, // 19° at the far vertex
    };
    for (const auto &t : cases) {
        EXPECT_EQ(TCoordsConverter::isAcceptableTriangle(t.a, t.b, t.c), t.acceptable)
            << double(t.c.Latitude) << " " << double(t.c.Longitude);
        EXPECT_EQ(TCoordsConverter::isAcceptableTriangle(t.c, t.a, t.b), t.acceptable);
    }
}

TEST(CoordsConverterTest, UnusablePointsFailTheBinding) {
    const QString error = QStringLiteral("Ошибка привязки карты.");
    // Nearly collinear: one angle above 154.2°.
    EXPECT_EQ(
        bindingError({cp(0, 0, 3360, 2220), cp(500, 20, 3361, 2235), cp(1000, 0, 3360, 2250)}),
        error);
    EXPECT_EQ(bindingError({}), error);
    EXPECT_EQ(bindingError({cp(0, 0, 3360, 2220), cp(600, 0, 3360, 2250)}), error);
    EXPECT_EQ(bindingError({cp(0, 0, 3360, 2220), cp(0, 0, 3360, 2220), cp(0, 0, 3360, 2220)}),
              error);
    // A fine triangle on the ground whose pixel positions lie on one line can be bound one way
    // only: a map that cannot be read back is no binding.
    EXPECT_EQ(
        bindingError({cp(0, 0, 3360, 2220), cp(500, 500, 3360, 2250), cp(1000, 1000, 3330, 2220)}),
        error);
}

// Pixel positions from an exact affine relation.
TControlPoint affinePoint(long double lat, long double lon) {
    return cp(int(std::lround(40 * (lon - 2220) + 3 * (lat - 3330))),
              int(std::lround(-75 * (lat - 3360) + 2 * (lon - 2220))), lat, lon);
}

TEST(CoordsConverterTest, FivePointsAndClusteredSixUseTheAffineModel) {
    const TControlPoints five = {affinePoint(3360, 2220), affinePoint(3360, 2250),
                                 affinePoint(3330, 2250), affinePoint(3330, 2220),
                                 affinePoint(3345, 2235)};
    const TCoordsConverter c5(five);
    EXPECT_EQ(c5.xCoeff().size(), 3);
    EXPECT_EQ(c5.latCoeff().size(), 3);

    // Six positions within one minute of arc of each other, pixels far apart.
    TControlPoints six = {cp(0, 0, 3345.0L, 2235.0L),     cp(900, 0, 3345.0L, 2235.9L),
                          cp(0, 900, 3345.9L, 2235.0L),   cp(900, 900, 3345.9L, 2235.9L),
                          cp(450, 100, 3345.1L, 2235.5L), cp(100, 450, 3345.5L, 2235.1L)};
    EXPECT_FALSE(TCoordsConverter::isAcceptableWindow([&] {
        static TGeoCoords g[6];
        for (int i = 0; i < 6; ++i)
            g[i] = six[i].GeoCoords;
        return g;
    }()));
    const TCoordsConverter c6(six);
    EXPECT_EQ(c6.xCoeff().size(), 3);
    EXPECT_EQ(c6.yCoeff().size(), 3);
    EXPECT_EQ(c6.latCoeff().size(), 3);
    EXPECT_EQ(c6.lonCoeff().size(), 3);
}

// A consistent second-degree relation between ground and pixels.
QPoint quadraticPixel(long double lat, long double lon) {
    const long double u = lon - 2235, v = lat - 3345;
    return QPoint(int(std::lround(600 + 40 * u + 3 * v + 0.05L * u * u + 0.02L * u * v)),
                  int(std::lround(1100 - 75 * v + 2 * u - 0.04L * v * v + 0.01L * u * u)));
}

TEST(CoordsConverterTest, SpreadSixPointsAreReproducedBySecondDegreeModel) {
    const long double positions[6][2] = {{3360, 2220}, {3358, 2251}, {3331, 2249},
                                         {3333, 2223}, {3346, 2231}, {3341, 2245}};
    TControlPoints points;
    for (const auto &p : positions) {
        const QPoint px = quadraticPixel(p[0], p[1]);
        points.append(cp(px.x(), px.y(), p[0], p[1]));
    }
    const TCoordsConverter c(points);
    ASSERT_EQ(c.xCoeff().size(), 6);
    ASSERT_EQ(c.latCoeff().size(), 6);
    for (const TControlPoint &p : points) {
        const TMapCoords m = c.GeoToMap(p.GeoCoords);
        EXPECT_NEAR(double(m.X), p.MapCoords.x(), 1e-6);
        EXPECT_NEAR(double(m.Y), p.MapCoords.y(), 1e-6);
        const TGeoCoords g =
            c.MapToGeo({(long double)p.MapCoords.x(), (long double)p.MapCoords.y()});
        EXPECT_NEAR(double(g.Latitude), double(p.GeoCoords.Latitude), 1e-6);
        EXPECT_NEAR(double(g.Longitude), double(p.GeoCoords.Longitude), 1e-6);
    }
}

// Positions on a sheet around (lat0, lon0) and their pixels through the plain
// latitude/longitude projection of a real map: columns follow longitude scaled by the cosine
// of the latitude, rows follow latitude, with a small rotation.
struct TSheet {
    long double lat0, lon0, pxPerMinute, angle;
    static constexpr int origin = 2000;
    QPoint pixel(long double lat, long double lon) const {
        const long double e = (lon - lon0) * std::cos(lat0 / 60 * M_PI / 180) * pxPerMinute;
        const long double n = (lat - lat0) * pxPerMinute;
        const long double c = std::cos(angle), s = std::sin(angle);
        return QPoint(int(std::lround(origin + c * e - s * n)),
                      int(std::lround(origin - s * e - c * n)));
    }
};

TEST(CoordsConverterTest, RoundTripOverRandomSpreadPoints) {
    // For random well-spread calibration points (±30' around the centre, at least 12' apart)
    // MapToGeo(GeoToMap(p)) returns p for positions inside the calibrated area (±25'). The two
    // directions are fitted separately and exactly on subsets, so they disagree by the pixel
    // rounding of the calibration points, which the affine model averages away over many
    // triangles and the second-degree model amplifies over its six-point windows.
    const struct {
        long double pxPerMinute;
        double affineLimit, secondDegreeLimit; // minutes of arc
    } sheets[] = {{60, 1e-4, 0.15}, {200, 1e-4, 0.02}};
    for (const auto &sheetCase : sheets) {
        std::mt19937 random(20261210);
        std::uniform_real_distribution<double> offset(-30, 30), inside(-25, 25), angle(-0.05, 0.05);
        double worst[2] = {0, 0};
        for (int trial = 0; trial < 40; ++trial) {
            const int count = trial % 2 ? 5 : 9; // affine below six points, second degree above
            const TSheet sheet{3345, 2257, sheetCase.pxPerMinute, angle(random)};
            TControlPoints points;
            while (points.size() < count) {
                const long double lat = 3345 + offset(random), lon = 2257 + offset(random);
                bool spread = true;
                for (const TControlPoint &p : points)
                    spread = spread && std::hypot(double(p.GeoCoords.Latitude - lat),
                                                  double(p.GeoCoords.Longitude - lon)) > 12;
                if (!spread)
                    continue;
                const QPoint px = sheet.pixel(lat, lon);
                points.append(cp(px.x(), px.y(), lat, lon));
            }
            const TCoordsConverter c(points);
            const int model = c.xCoeff().size() == 6 ? 1 : 0;
            EXPECT_EQ(model, count >= 6 ? 1 : 0) << trial;
            for (int i = 0; i < 50; ++i) {
                const TGeoCoords p{3345 + inside(random), 2257 + inside(random)};
                const TGeoCoords back = c.MapToGeo(c.GeoToMap(p));
                worst[model] =
                    std::max({worst[model], std::fabs(double(back.Latitude - p.Latitude)),
                              std::fabs(double(back.Longitude - p.Longitude))});
            }
        }
        std::printf("round trip at %.0f px per minute, worst error in minutes of arc: affine "
                    "%.2g, second degree %.2g\n",
                    double(sheetCase.pxPerMinute), worst[0], worst[1]);
        EXPECT_LT(worst[0], sheetCase.affineLimit);
        EXPECT_LT(worst[1], sheetCase.secondDegreeLimit);
    }
}

TEST(CoordsConverterTest, LargeImagesKeepTheirPixelProducts) {
    // Pixel coordinates beyond 46340 would overflow 32-bit products in the inverse pass. The
    // ground positions are a second-degree function of the pixels, so that wrong products show.
    auto geo = [](long double x, long double y) {
        const long double u = (x - 50000) / 2000, v = (y - 50000) / 2000;
        return TGeoCoords{3345 - v + 0.004L * u * u, 2257 + 1.8L * u + 0.003L * u * v};
    };
    const int pixels[9][2] = {{42221, 60078}, {16899, 4329},  {77473, 95728},
                              {74642, 37753}, {26683, 82235}, {57499, 11923},
                              {36473, 48135}, {64872, 73852}, {21641, 28282}};
    TControlPoints points;
    for (const auto &px : pixels) {
        const TGeoCoords g = geo(px[0], px[1]);
        points.append(cp(px[0], px[1], g.Latitude, g.Longitude));
    }
    const TCoordsConverter c(points);
    ASSERT_EQ(c.latCoeff().size(), 6);
    for (const TMapCoords at : {TMapCoords{77473, 95728}, TMapCoords{90000, 90000},
                                TMapCoords{50000, 50000}, TMapCoords{30000, 70000}}) {
        const TGeoCoords got = c.MapToGeo(at), want = geo(at.X, at.Y);
        EXPECT_NEAR(double(got.Latitude), double(want.Latitude), 1e-6) << double(at.X);
        EXPECT_NEAR(double(got.Longitude), double(want.Longitude), 1e-6) << double(at.X);
    }
}

// A corner list of a thousand points costs about what an ordinary map costs, and binds as
// exactly: the positions are clustered (no six-point window passes, so the affine model
// decides) and an exact affine function of the pixels, so every triangle gives the same answer.
TEST(CoordsConverterTest, ThousandsOfPointsBindInBoundedTime) {
    auto geo = [](int x, int y) {
        return TGeoCoords{3345 + 0.002L * y + 0.0005L * x, 2235 + 0.003L * x - 0.0004L * y};
    };
    for (const int count : {300, 1000, 20000}) {
        SCOPED_TRACE(count);
        std::mt19937 random(count);
        std::uniform_int_distribution<int> pixel(0, 1000);
        TControlPoints points;
        for (int i = 0; i < count; ++i) {
            const int x = pixel(random), y = pixel(random);
            const TGeoCoords g = geo(x, y);
            points.append(cp(x, y, g.Latitude, g.Longitude));
        }
        QElapsedTimer t;
        t.start();
        const TCoordsConverter c(points);
        const qint64 ms = t.elapsed();
        std::printf("%d clustered points bound in %lld ms\n", count, (long long)ms);
        EXPECT_LT(ms, 1500);
        ASSERT_EQ(c.xCoeff().size(), 3);
        for (const QPoint at : {QPoint(0, 0), QPoint(1000, 0), QPoint(417, 733), QPoint(999, 1)}) {
            const TMapCoords m = c.GeoToMap(geo(at.x(), at.y()));
            EXPECT_NEAR(double(m.X), at.x(), 1e-6);
            EXPECT_NEAR(double(m.Y), at.y(), 1e-6);
            const TGeoCoords back = c.MapToGeo(
                TMapCoords{static_cast<long double>(at.x()), static_cast<long double>(at.y())});
            EXPECT_NEAR(double(back.Latitude), double(geo(at.x(), at.y()).Latitude), 1e-9);
            EXPECT_NEAR(double(back.Longitude), double(geo(at.x(), at.y()).Longitude), 1e-9);
        }
    }
}

} // namespace
