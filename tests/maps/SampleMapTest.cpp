#include "maps/CoordsConverter.h"
#include "maps/MapFileParser.h"

#include <QFileInfo>
#include <QImageReader>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The maps drawn into the program folder at build time open, bind and agree with their own
// graticule: every calibration point and corner is reproduced, and the map's centre reads
// back as the centre of its area.
TEST(SampleMapTest, ProgramFolderMapsParseAndBind) {
    const struct {
        const char *file;
        double south, north, west, east; // minutes of arc
        int model;                       // coefficients per output
    } maps[] = {{"moscow-overview.map", 3330, 3360, 2242, 2272, 6},
                // Its calibration points are a few minutes apart: the window test refuses
                // every window and the sheet binds affinely.
                {"moscow-centre.map", 3340, 3350, 2250, 2264, 3}};
    for (const auto &m : maps) {
        const QString path = QStringLiteral(ZARNEX_BIN_DIR "/map/") + QLatin1String(m.file);
        const TMapDescription map = TMapFileParser::Parse(path);
        SCOPED_TRACE(m.file);
        EXPECT_TRUE(map.Name.contains(QStringLiteral("Москва")));
        ASSERT_TRUE(QFileInfo::exists(map.FileName));
        EXPECT_EQ(QImageReader(map.FileName).size(), QSize(map.Width, map.Height));
        EXPECT_GT(double(map.Scale), 5.0);
        EXPECT_NEAR(double(map.Boundaries.topleft.Latitude), m.north, 1e-3);
        EXPECT_NEAR(double(map.Boundaries.bottomright.Longitude), m.east, 1e-3);
        ASSERT_EQ(map.ControlPoints.size(), 9 + 4);

        // Corners are given to six decimals of a degree: a hundredth of a pixel at most.
        const TCoordsConverter c(map.ControlPoints);
        EXPECT_EQ(c.xCoeff().size(), m.model);
        for (const TControlPoint &p : map.ControlPoints) {
            const TMapCoords px = c.GeoToMap(p.GeoCoords);
            EXPECT_NEAR(double(px.X), p.MapCoords.x(), 0.01);
            EXPECT_NEAR(double(px.Y), p.MapCoords.y(), 0.01);
        }
        const TGeoCoords centre = c.MapToGeo({(map.Width - 1) / 2.0L, (map.Height - 1) / 2.0L});
        EXPECT_NEAR(double(centre.Latitude), (m.south + m.north) / 2, 1e-4);
        EXPECT_NEAR(double(centre.Longitude), (m.west + m.east) / 2, 1e-4);
    }
}

} // namespace
