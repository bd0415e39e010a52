#include "MapFileBuilder.h"

#include "maps/MapFileParser.h"
#include "maps/UTM.h"
#include "maps/UTransverseMercator.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class MapFileParserTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QDir dir() const { return QDir(tmp.path()); }

    TMapDescription parse(const TMapFileBuilder &b) {
        return TMapFileParser::Parse(b.write(dir()));
    }

    // The message of the parser's format error for the given builder, or "" when it parses.
    QString formatError(const TMapFileBuilder &b) {
        try {
            TMapFileParser::Parse(b.write(dir()));
        } catch (const EConfigParserError &e) {
            return e.message();
        }
        return {};
    }
    QString damaged() const {
        return QStringLiteral("Файл не является файлом конфигурации карты или поврежден:\r\n") +
               dir().filePath(QStringLiteral("test.map"));
    }
};

TEST_F(MapFileParserTest, ReadsLatLonMapWithCornersScaleAndSize) {
    TMapFileBuilder b;
    b.points = {TMapFileBuilder::latLonPoint(1, 100, 200, "55", "45.5", "37", "36.25"),
                TMapFileBuilder::emptyPoint(2),
                TMapFileBuilder::latLonPoint(3, 1100, 850, "55", "31.125", "37", "58.5")};
    const TMapDescription map = parse(b);

    EXPECT_EQ(map.Name, QStringLiteral("Тестовая карта"));
    EXPECT_EQ(map.FileName, dir().filePath(QStringLiteral("test.jpg")));
    EXPECT_EQ(double(map.Scale), 25.0);
    EXPECT_EQ(map.Width, 1200);
    EXPECT_EQ(map.Height, 900);

    // Two calibration points, then the four corners in index order.
    ASSERT_EQ(map.ControlPoints.size(), 6);
    EXPECT_EQ(map.ControlPoints[0].MapCoords, QPoint(100, 200));
    EXPECT_EQ(map.ControlPoints[0].GeoCoords.Latitude, 3345.5L);
    EXPECT_EQ(map.ControlPoints[0].GeoCoords.Longitude, 2256.25L);
    EXPECT_EQ(map.ControlPoints[1].MapCoords, QPoint(1100, 850));
    EXPECT_EQ(map.ControlPoints[1].GeoCoords.Latitude, 3331.125L);
    EXPECT_EQ(map.ControlPoints[2].MapCoords, QPoint(0, 0));
    EXPECT_EQ(map.ControlPoints[2].GeoCoords.Latitude, 3360.0L);
    EXPECT_EQ(map.ControlPoints[2].GeoCoords.Longitude, 2220.0L);
    EXPECT_EQ(map.ControlPoints[4].MapCoords, QPoint(1200, 900));
    EXPECT_EQ(map.ControlPoints[4].GeoCoords.Latitude, 3330.0L);
    EXPECT_EQ(map.ControlPoints[4].GeoCoords.Longitude, 2280.0L);

    EXPECT_EQ(map.Boundaries.topleft.Longitude, 2220.0L);
    EXPECT_EQ(map.Boundaries.topright.Longitude, 2280.0L);
    EXPECT_EQ(map.Boundaries.bottomright.Latitude, 3330.0L);
    EXPECT_EQ(map.Boundaries.bottomleft.Latitude, 3330.0L);
    EXPECT_EQ(map.Boundaries.bottomleft.Longitude, 2220.0L);
}

TEST_F(MapFileParserTest, LineEndingsAndImagePaths) {
    // LF-only files read the same; a relative Windows path is taken in the map's folder; an
    // absolute path of another machine falls back to the bare name beside the map file.
    const struct {
        QString lineEnd, image, expected;
    } cases[] = {
        {"\n", "test.jpg", "test.jpg"},
        {"\r\n", "maps\\sub\\img.JPG", "maps/sub/img.JPG"},
        {"\r\n", "C:\\OziExplorer\\Maps\\moscow.jpg", "moscow.jpg"},
        {"\n", "\\\\server\\share\\moscow.bmp", "moscow.bmp"},
    };
    for (const auto &c : cases) {
        TMapFileBuilder b;
        b.lineEnd = c.lineEnd;
        b.image = c.image;
        const TMapDescription map = parse(b);
        EXPECT_EQ(map.FileName, dir().filePath(c.expected)) << c.image.toStdString();
        EXPECT_EQ(map.ControlPoints.size(), 4);
        EXPECT_EQ(map.Width, 1200);
    }
}

TEST_F(MapFileParserTest, NumbersUseDotWhateverTheLocale) {
    EXPECT_EQ(TMapFileParser::toFloat("45.5"), 45.5L);
    EXPECT_EQ(TMapFileParser::toFloat("-0.25"), -0.25L);
    EXPECT_EQ(TMapFileParser::toFloat("+2"), 2.0L);
    for (const char *bad : {"45,5", "", "1.2.3", "abc", "inf", "nan", "+-1", "1e99999"})
        EXPECT_THROW(TMapFileParser::toFloat(bad), EConvertError) << bad;
    EXPECT_EQ(TMapFileParser::toInt("-12"), -12);
    EXPECT_THROW(TMapFileParser::toInt("12.5"), EConvertError);
}

TEST_F(MapFileParserTest, ThirtyEmptyPointLinesAndFourCornersGiveFourPoints) {
    TMapFileBuilder b;
    const TMapDescription map = parse(b);
    ASSERT_EQ(map.ControlPoints.size(), 4);
    EXPECT_EQ(map.ControlPoints[1].MapCoords, QPoint(1200, 0));
    EXPECT_EQ(map.ControlPoints[1].GeoCoords.Latitude, 3360.0L);
    EXPECT_EQ(map.ControlPoints[1].GeoCoords.Longitude, 2280.0L);
}

TEST_F(MapFileParserTest, PointWithAnyEmptyFieldIsSkipped) {
    TMapFileBuilder b;
    b.points = {TMapFileBuilder::latLonPoint(1, 10, 20, "55", "", "37", "30"),
                TMapFileBuilder::latLonPoint(2, 10, 20, "55", "10", "", "30"),
                TMapFileBuilder::latLonPoint(3, 10, 20, "55", "10", "37", "30")};
    EXPECT_EQ(parse(b).ControlPoints.size(), 5);
}

TEST_F(MapFileParserTest, FortyThreeLinesAreNotAMapFile) {
    // The shortest file the format allows: no track file header, no corners, no image size.
    TMapFileBuilder b;
    b.trackFileHeader = false;
    b.corners = {QStringLiteral("MMPNUM,0")};
    b.tail.clear();
    QStringList l = b.lines();
    ASSERT_EQ(l.size(), 45);
    EXPECT_EQ(parse(b).ControlPoints.size(), 0);

    // The first 43 lines of a proper file, header intact.
    l = TMapFileBuilder().lines().mid(0, 43);
    QFile f(dir().filePath("test.map"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(cp1251::encode(l.join("\r\n") + "\r\n"));
    f.close();
    try {
        TMapFileParser::Parse(f.fileName());
        FAIL() << "a 43-line file was accepted";
    } catch (const EConfigParserError &e) {
        EXPECT_EQ(e.message(), damaged());
    }
}

TEST_F(MapFileParserTest, RequiredLinesRejectTheFile) {
    auto variant = [](auto change) {
        TMapFileBuilder b;
        change(b);
        return b;
    };
    const struct {
        const char *what;
        TMapFileBuilder b;
    } cases[] = {
        {"negative MMPLL longitude", variant([](TMapFileBuilder &b) {
             b.corners[5] = QStringLiteral("MMPLL,1, -37.000000,  56.000000");
         })},
        {"MMPXY line missing", variant([](TMapFileBuilder &b) { b.corners.removeAt(4); })},
        {"corner index beyond MMPNUM",
         variant([](TMapFileBuilder &b) { b.corners[2] = QStringLiteral("MMPXY,5,1200,0"); })},
        {"corner index 0", variant([](TMapFileBuilder &b) {
             b.corners[6] = QStringLiteral("MMPLL,0,  38.000000,  56.000000");
         })},
        {"no MM1B", variant([](TMapFileBuilder &b) { b.scale = QStringLiteral("MM1B,25"); })},
        {"no projection line", variant([](TMapFileBuilder &b) { b.projection.clear(); })},
        {"bad projection setup",
         variant([](TMapFileBuilder &b) { b.setup = QStringLiteral("Projection,,,,,"); })},
        {"corner lines past the end", variant([](TMapFileBuilder &b) {
             b.corners = {QStringLiteral("MMPNUM,40"), QStringLiteral("MMPXY,1,0,0")};
             b.tail.clear();
         })},
    };
    for (const auto &c : cases)
        EXPECT_EQ(formatError(c.b), damaged()) << c.what;

    // Comment entries running to the end of the file.
    QStringList comments = TMapFileBuilder().lines();
    for (int i = 41; i < comments.size(); ++i)
        comments[i] = QStringLiteral("MC,comment");
    QFile c(dir().filePath("test.map"));
    ASSERT_TRUE(c.open(QIODevice::WriteOnly));
    c.write(comments.join("\r\n").toLatin1());
    c.close();
    EXPECT_THROW(TMapFileParser::Parse(c.fileName()), EConfigParserError);

    TMapFileBuilder badHeader;
    QStringList l = badHeader.lines();
    l[0] = QStringLiteral("OziExplorer Map Data File");
    QFile f(dir().filePath("test.map"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(l.join("\r\n").toLatin1());
    f.close();
    EXPECT_THROW(TMapFileParser::Parse(f.fileName()), EConfigParserError);
}

TEST_F(MapFileParserTest, MissingFile) {
    const QString path = dir().filePath("absent.map");
    try {
        TMapFileParser::Parse(path);
        FAIL();
    } catch (const EConfigParserError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Не найден файл конфигурации карты:\r\n") + path);
    }
}

TEST_F(MapFileParserTest, FeatureCommentAndTrackSectionsAreSkipped) {
    // Two map features (3 lines each) and one comment (2 lines) put the MMPNUM line 8 + 2
    // lines after line 41, plus the track file block when there is one.
    const QStringList features = {"MF,Feature one", "Sym,1",  "Text,a",  "MF,Feature two",
                                  "Sym,2",          "Text,b", "MC,Note", "Comment text"};
    for (bool trackBlock : {false, true}) {
        TMapFileBuilder b;
        b.optional = features;
        b.trackFileHeader = trackBlock;
        if (trackBlock)
            b.trackFiles = {"TF,track1.plt", "TF,track2.plt"};
        const QStringList l = b.lines();
        const int expected = 41 + 8 + (trackBlock ? 3 : 0) + 2;
        ASSERT_EQ(l.at(expected), QStringLiteral("MMPNUM,4"));
        const TMapDescription map = parse(b);
        EXPECT_EQ(map.ControlPoints.size(), 4) << trackBlock;
        EXPECT_EQ(map.Width, 1200);
    }
}

TEST_F(MapFileParserTest, WithoutCornersOrImageSize) {
    TMapFileBuilder b;
    b.points = {TMapFileBuilder::latLonPoint(1, 1, 2, "55", "0", "37", "0")};
    b.corners = {QStringLiteral("MMPNUM,0")};
    b.tail = {QStringLiteral("MOP,Map Open Position,0,0")};
    const TMapDescription map = parse(b);
    EXPECT_EQ(map.ControlPoints.size(), 1);
    EXPECT_EQ(map.Width, 0);
    EXPECT_EQ(map.Height, 0);
    EXPECT_EQ(map.Boundaries.topleft.Latitude, 0.0L);

    // No MMPNUM line at all: the scale line follows directly.
    b.corners = {QStringLiteral("MM2,anything")};
    EXPECT_EQ(parse(b).ControlPoints.size(), 1);
}

TEST_F(MapFileParserTest, TransverseMercatorPointsUseTheProjectionSetup) {
    TMapFileBuilder b;
    b.projection = QStringLiteral("Transverse Mercator");
    b.datum = QStringLiteral("Pulkovo 1942");
    b.setup = QStringLiteral("Projection Setup,     0.000000000,    39.000000000,     "
                             "1.000000000,   7500000.00,         0.00,,,,,");
    b.points = {TMapFileBuilder::gridPoint(1, 10, 20, "", "7500000", "0", "N"),
                TMapFileBuilder::gridPoint(2, 30, 40, "", "7531375.5", "6178925.25", "N"),
                TMapFileBuilder::gridPoint(3, 50, 60, "", "", "6178925.25", "N")};
    const TMapDescription map = parse(b);
    ASSERT_EQ(map.ControlPoints.size(), 6);
    EXPECT_EQ(map.ControlPoints[0].MapCoords, QPoint(10, 20));
    EXPECT_NEAR(double(map.ControlPoints[0].GeoCoords.Latitude), 0.0, 1e-12);
    EXPECT_NEAR(double(map.ControlPoints[0].GeoCoords.Longitude), 39.0 * 60, 1e-12);
    const TTransverseMercatorToLL tm("Pulkovo 1942", 0, 39, 1, 7500000, 0, false);
    const TGeoCoords deg = tm.Convert({7531375.5L, 6178925.25L});
    EXPECT_EQ(map.ControlPoints[1].GeoCoords.Latitude, deg.Latitude * 60);
    EXPECT_EQ(map.ControlPoints[1].GeoCoords.Longitude, deg.Longitude * 60);
    EXPECT_NEAR(double(deg.Latitude), 55.7, 0.1);
}

TEST_F(MapFileParserTest, UtmPointsPreferLatitudeAndLongitude) {
    TMapFileBuilder b;
    b.projection = QStringLiteral("(UTM) Universal Transverse Mercator");
    b.points = {TMapFileBuilder::gridPoint(1, 10, 20, "37", "500000", "0", "N"),
                TMapFileBuilder::gridPoint(2, 30, 40, "37", "500000", "10000000", "S"),
                TMapFileBuilder::latLonPoint(3, 50, 60, "55", "30", "37", "15"),
                TMapFileBuilder::gridPoint(4, 70, 80, "37", "", "0", "N")};
    const TMapDescription map = parse(b);
    ASSERT_EQ(map.ControlPoints.size(), 7);
    for (int i : {0, 1}) {
        EXPECT_NEAR(double(map.ControlPoints[i].GeoCoords.Latitude), 0.0, 1e-9) << i;
        EXPECT_NEAR(double(map.ControlPoints[i].GeoCoords.Longitude), 39.0 * 60, 1e-9) << i;
    }
    EXPECT_EQ(map.ControlPoints[2].GeoCoords.Latitude, 3330.0L);
    EXPECT_EQ(map.ControlPoints[2].GeoCoords.Longitude, 2235.0L);
}

TEST_F(MapFileParserTest, UnsupportedProjectionAndUnknownDatum) {
    TMapFileBuilder lambert;
    lambert.projection = QStringLiteral("Lambert Conformal Conic");
    EXPECT_EQ(formatError(lambert),
              QStringLiteral("Файл: %1\r\nФормат привязки карты 'Lambert Conformal Conic' в "
                             "данный момент не поддерживается")
                  .arg(dir().filePath("test.map")));

    // Datum names are matched exactly; only Transverse Mercator maps need the datum.
    TMapFileBuilder tm;
    tm.projection = QStringLiteral("Transverse Mercator");
    tm.datum = QStringLiteral("wgs 84");
    tm.setup = QStringLiteral("Projection Setup, 0.0, 39.0, 0.9996, 500000.0, 0.0,,,,,");
    try {
        parse(tm);
        FAIL() << "an unknown datum was accepted";
    } catch (const EDatumError &e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("Ошибка привявзки карты. Неподдерживаемый датум: wgs 84"));
    }
    TMapFileBuilder latlon;
    latlon.datum = QStringLiteral("wgs 84");
    EXPECT_EQ(parse(latlon).ControlPoints.size(), 4);
}

TEST_F(MapFileParserTest, BadFieldsRaiseConversionErrors) {
    TMapFileBuilder notNumber;
    notNumber.points = {TMapFileBuilder::latLonPoint(1, 10, 20, "55", "4x", "37", "30")};
    EXPECT_THROW(parse(notNumber), EConvertError);

    TMapFileBuilder commaDecimal;
    commaDecimal.points = {TMapFileBuilder::latLonPoint(1, 10, 20, "55", "45", "37", "30;5")};
    EXPECT_THROW(parse(commaDecimal), EConvertError);

    // A Transverse Mercator map needs all five projection parameters.
    TMapFileBuilder noSetup;
    noSetup.projection = QStringLiteral("Transverse Mercator");
    EXPECT_THROW(parse(noSetup), EConvertError);

    TMapFileBuilder shortLine;
    shortLine.points = {QStringLiteral("Point01,xy,10,20,in,deg,55,30")};
    try {
        parse(shortLine);
        FAIL();
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("List index out of bounds (9)"));
    }
}

} // namespace
