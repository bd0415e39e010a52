#include "maps/UDatum.h"
#include "maps/UTM.h"
#include "maps/UTransverseMercator.h"

#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>

namespace {

TEST(DatumTest, TablesHoldEveryEntryWithItsEllipsoid) {
    EXPECT_EQ(EllipsoidTable().size(), 29u);
    EXPECT_EQ(double(EllipsoidTable()[eKrasovsky1940].a), 6378245.0);
    EXPECT_DOUBLE_EQ(double(1 / EllipsoidTable()[eWGS84].f), 298.257223563);
    EXPECT_DOUBLE_EQ(double(1 / EllipsoidTable()[eAiry1830].f), 299.3249646);

    const struct {
        const char *name;
        TEllipsoidID ellipsoid;
    } samples[] = {{"Ord Srvy Grt Britn", eAiry1830},
                   {"Tokyo", eBessel1841},
                   {"NAD27 CONUS", eClarke1866},
                   {"Israeli", eClarkePalestine},
                   {"NAD83", eGRS80},
                   {"European 1950", eInternational},
                   {"Pulkovo 1942", eKrasovsky1940},
                   {"Pulkovo 1942 ROM", eKrasovsky1940},
                   {"Timbalai 1948", eEverestTimbalai},
                   {"WGS 72", eWGS72},
                   {"WGS 84", eWGS84}};
    for (const auto &s : samples) {
        const TDatumParams *d = FindDatum(QString::fromLatin1(s.name));
        ASSERT_NE(d, nullptr) << s.name;
        EXPECT_EQ(d->Ellipsoid, s.ellipsoid) << s.name;
    }

    // Names are unique, so the first match is the only one.
    std::map<QString, int> seen;
    for (const TDatumParams &d : DatumTable())
        EXPECT_EQ(++seen[d.OziID], 1) << d.OziID.toStdString();
    EXPECT_EQ(seen.size(), 120u);

    const TDatumParams *pulkovo = FindDatum("Pulkovo 1942");
    EXPECT_EQ(double(pulkovo->fDX), 23.92);
    EXPECT_EQ(double(pulkovo->fDY), -141.27);
    EXPECT_EQ(double(pulkovo->fMS), -1.2e-7);
}

TEST(DatumTest, NamesAreCaseSensitive) {
    EXPECT_NE(FindDatum("WGS 84"), nullptr);
    EXPECT_EQ(FindDatum("wgs 84"), nullptr);
    EXPECT_EQ(FindDatum("WGS84"), nullptr);

    const TTransverseMercatorToLL tm("WGS 84", 0, 39, 0.9996, 500000, 0, false);
    EXPECT_EQ(tm.Datum.Ellipsoid, eWGS84);
    try {
        TTransverseMercatorToLL("wgs 84", 0, 39, 0.9996, 500000, 0, false);
        FAIL() << "a datum name in other case was accepted";
    } catch (const EDatumError &e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("Ошибка привявзки карты. Неподдерживаемый датум: wgs 84"));
    }
}

TEST(DatumTest, EllipsoidConstants) {
    const TEllipsoid wgs(eWGS84);
    EXPECT_NEAR(double(wgs.fe2), 0.00669437999014, 1e-14);
    EXPECT_NEAR(double(wgs.fee2), 0.00673949674228, 1e-14);
    const long double root = std::sqrt(1 - wgs.fe2);
    EXPECT_EQ(wgs.fe1, (1 - root) / (1 + root));
    const TEllipsoid same(6378137.0L, 1 / 298.257223563L);
    EXPECT_EQ(same.fe2, wgs.fe2);
}

TEST(TransverseMercatorTest, FalseOriginGivesTheOrigin) {
    for (const char *datum : {"WGS 84", "Pulkovo 1942", "Tokyo"}) {
        const TTransverseMercatorToLL tm(datum, 0, 39, 0.9996, 500000, 200000, false);
        const TGeoCoords p = tm.Convert({500000, 200000});
        EXPECT_EQ(double(p.Latitude), 0.0) << datum;
        EXPECT_EQ(double(p.Longitude), 39.0) << datum;
    }
    // A non-zero latitude of origin comes back at the false origin too, to the footpoint
    // series' accuracy (1e-8 degrees is about a millimetre).
    const TTransverseMercatorToLL gb("Ord Srvy Grt Britn", 49, -2, 0.9996012717, 400000, -100000,
                                     false);
    const TGeoCoords p = gb.Convert({400000, -100000});
    EXPECT_NEAR(double(p.Latitude), 49.0, 1e-8);
    EXPECT_NEAR(double(p.Longitude), -2.0, 1e-12);
}

TEST(TransverseMercatorTest, SouthOrientedGridMirrorsBothAxes) {
    const TTransverseMercatorToLL north("WGS 84", 0, 27, 1, 0, 0, false);
    const TTransverseMercatorToLL south("WGS 84", 0, 27, 1, 0, 0, true);
    const TGeoCoords a = north.Convert({-35000, -3300000});
    const TGeoCoords b = south.Convert({35000, 3300000});
    EXPECT_EQ(a.Latitude, b.Latitude);
    EXPECT_EQ(a.Longitude, b.Longitude);
    EXPECT_LT(double(a.Latitude), -29);
}

TEST(UtmTest, ZoneThirtySevenAtTheEquator) {
    const TGeoCoords north = UTMToLL(37, 500000, 0, 'N');
    EXPECT_EQ(double(north.Latitude), 0.0);
    EXPECT_EQ(double(north.Longitude), 39.0);
    const TGeoCoords south = UTMToLL(37, 500000, 10000000, 'A');
    EXPECT_EQ(double(south.Latitude), 0.0);
    EXPECT_EQ(double(south.Longitude), 39.0);
    // Letters from "N" on are northern; below it southern.
    EXPECT_GT(double(UTMToLL(37, 500000, 6000000, 'X').Latitude), 50);
    EXPECT_LT(double(UTMToLL(37, 500000, 6000000, 'M').Latitude), -30);
}

// Agreement with PROJ (exact Transverse Mercator) over the generated reference grid.
struct TReferenceRow {
    bool utm;
    QStringList f;
};

QVector<TReferenceRow> readReference() {
    QFile file(QStringLiteral(ZARNEX_SOURCE_DIR "/tests/data/maps/proj_reference.csv"));
    QVector<TReferenceRow> rows;
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QStringList f = QString::fromLatin1(line.trimmed()).split(QLatin1Char(','));
        rows.append({f.at(0) == QLatin1String("utm"), f});
    }
    return rows;
}

// Ground distance in metres of a difference in degrees at a latitude (a sphere is plenty for
// error figures).
double groundError(double lat, double dLat, double dLon) {
    dLon = std::remainder(dLon, 360.0);
    constexpr double r = 6371000.0, rad = M_PI / 180;
    return std::hypot(dLat * rad * r, dLon * rad * r * std::cos(lat * rad));
}

TEST(ProjReferenceTest, AgreesWithProjNearAndFarFromTheCentralMeridian) {
    const QVector<TReferenceRow> rows = readReference();
    ASSERT_GE(rows.size(), 300)
        << "tests/data/maps/proj_reference.csv (scripts/gen-proj-fixture.sh)";

    // Worst error by distance from the central meridian: within 1°, 3°, 4.5°, 6°, 9°.
    const double bands[] = {1, 3, 4.5, 6, 9};
    double tmWorst[5] = {}, utmWorst[5] = {};
    int tmCount = 0, utmCount = 0;
    for (const TReferenceRow &row : rows) {
        const QStringList &f = row.f;
        TGeoCoords got;
        double lon0, lat, lon;
        if (row.utm) {
            const int zone = f.at(1).toInt();
            lon0 = zone * 6 - 183;
            got = UTMToLL(zone, f.at(3).toDouble(), f.at(4).toDouble(), f.at(2).at(0));
            lat = f.at(5).toDouble();
            lon = f.at(6).toDouble();
            ++utmCount;
        } else {
            const TTransverseMercatorToLL tm(f.at(1), f.at(2).toDouble(), f.at(3).toDouble(),
                                             f.at(4).toDouble(), f.at(5).toDouble(),
                                             f.at(6).toDouble(), false);
            lon0 = f.at(3).toDouble();
            got = tm.Convert({f.at(7).toDouble(), f.at(8).toDouble()});
            lat = f.at(9).toDouble();
            lon = f.at(10).toDouble();
            ++tmCount;
        }
        const double err =
            groundError(lat, double(got.Latitude) - lat, double(got.Longitude) - lon);
        const double off = std::fabs(std::remainder(lon - lon0, 360.0));
        for (int b = 0; b < 5; ++b) {
            if (off <= bands[b] + 1e-9) {
                double &worst = (row.utm ? utmWorst : tmWorst)[b];
                worst = std::max(worst, err);
                break;
            }
        }
    }
    for (int b = 1; b < 5; ++b) {
        tmWorst[b] = std::max(tmWorst[b], tmWorst[b - 1]);
        utmWorst[b] = std::max(utmWorst[b], utmWorst[b - 1]);
    }
    std::printf(
        "PROJ agreement, %d Transverse Mercator and %d UTM points; worst error (m) within\n",
        tmCount, utmCount);
    for (int b = 0; b < 5; ++b)
        std::printf("  %4.1f deg of the central meridian: TM %.3g, UTM %.3g\n", bands[b],
                    tmWorst[b], utmWorst[b]);

    // The series is exact to well below a millimetre within 3° of the central meridian, to a
    // centimetre at 4.5° and to a decimetre at 6°; it falls apart beyond that.
    const double limits[] = {1e-3, 1e-3, 0.01, 0.1};
    for (int b = 0; b < 4; ++b) {
        EXPECT_LT(tmWorst[b], limits[b]) << bands[b];
        EXPECT_LT(utmWorst[b], limits[b]) << bands[b];
    }
}

} // namespace
