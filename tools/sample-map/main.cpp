// Draws a calibrated sample raster map: a graticule with labelled degrees and minutes on a
// plain background, saved as a JPEG with its map description (.map) file beside it, so that
// the program and its tests have a real map to open.
//
//   draw-sample-map --out DIR --name BASE [--title TEXT] --south LAT --north LAT --west LON
//              --east LON [--scale METRES_PER_PIXEL]
//
// Bounds are degrees, either decimal ("55.5") or degrees and minutes ("55:30"). The image is
// in the plain latitude/longitude projection: pixel columns are linear in longitude and rows
// in latitude.

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringEncoder>
#include <QTextStream>

#include <cmath>
#include <cstdio>

namespace {

struct TArea {
    double south, north, west, east; // degrees
};

bool parseDegrees(const QString &text, double &value) {
    bool ok = false;
    if (text.contains(QLatin1Char(':'))) {
        const QStringList parts = text.split(QLatin1Char(':'));
        if (parts.size() != 2)
            return false;
        bool okMin = false;
        const int deg = parts[0].toInt(&ok);
        const double min = parts[1].toDouble(&okMin);
        if (!ok || !okMin || min < 0 || min >= 60)
            return false;
        value = deg + (deg < 0 || parts[0].startsWith(QLatin1Char('-')) ? -min : min) / 60.0;
        return true;
    }
    value = text.toDouble(&ok);
    return ok;
}

QString dm(double degrees, bool latitude) {
    const long totalMinutes = std::lround(std::fabs(degrees) * 60);
    const QChar hemi = latitude ? (degrees < 0 ? QChar(u'S') : QChar(u'N'))
                                : (degrees < 0 ? QChar(u'W') : QChar(u'E'));
    return QStringLiteral("%1°%2' %3")
        .arg(totalMinutes / 60)
        .arg(totalMinutes % 60, 2, 10, QLatin1Char('0'))
        .arg(hemi);
}

class TSampleMap {
public:
    TSampleMap(const TArea &area, double scale) : m_area(area) {
        const double midLat = (area.north + area.south) / 2 * M_PI / 180;
        // Metres per degree on the WGS 84 ellipsoid at the middle latitude.
        const double a = 6378137.0, e2 = 0.00669437999014;
        const double w = 1 - e2 * std::sin(midLat) * std::sin(midLat);
        const double mPerDegLat = M_PI / 180 * a * (1 - e2) / std::pow(w, 1.5);
        const double mPerDegLon = M_PI / 180 * a * std::cos(midLat) / std::sqrt(w);
        // Whole pixels per minute of arc, so that every graticule crossing at a whole minute
        // falls on a pixel exactly and the calibration points carry no rounding.
        m_pxPerMinuteX = std::max(1.0, std::round(mPerDegLon / 60 / scale));
        m_pxPerMinuteY = std::max(1.0, std::round(mPerDegLat / 60 / scale));
        m_width = int(std::lround((area.east - area.west) * 60 * m_pxPerMinuteX)) + 1;
        m_height = int(std::lround((area.north - area.south) * 60 * m_pxPerMinuteY)) + 1;
        m_scale = mPerDegLat / 60 / m_pxPerMinuteY;
        m_metresPerPixelX = mPerDegLon / 60 / m_pxPerMinuteX;
    }

    int width() const { return m_width; }
    int height() const { return m_height; }
    double scale() const { return m_scale; }

    double x(double lon) const {
        return (lon - m_area.west) / (m_area.east - m_area.west) * (m_width - 1);
    }
    double y(double lat) const {
        return (m_area.north - lat) / (m_area.north - m_area.south) * (m_height - 1);
    }

    QImage draw(const QString &title) const {
        QImage image(m_width, m_height, QImage::Format_RGB32);
        image.fill(QColor(0xf3, 0xef, 0xe2));
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);

        const int firstLat = int(std::ceil(m_area.south * 60 - 1e-9));
        const int lastLat = int(std::floor(m_area.north * 60 + 1e-9));
        const int firstLon = int(std::ceil(m_area.west * 60 - 1e-9));
        const int lastLon = int(std::floor(m_area.east * 60 + 1e-9));

        auto pen = [](int minute) {
            if (minute % 60 == 0)
                return QPen(QColor(0x80, 0x20, 0x20), 3);
            if (minute % 10 == 0)
                return QPen(QColor(0x40, 0x40, 0x60), 2);
            if (minute % 5 == 0)
                return QPen(QColor(0x70, 0x70, 0x80), 1.2);
            return QPen(QColor(0xc8, 0xc4, 0xb8), 0.8);
        };
        for (int m = firstLat; m <= lastLat; ++m) {
            p.setPen(pen(m));
            p.drawLine(QPointF(0, y(m / 60.0)), QPointF(m_width - 1, y(m / 60.0)));
        }
        for (int m = firstLon; m <= lastLon; ++m) {
            p.setPen(pen(m));
            p.drawLine(QPointF(x(m / 60.0), 0), QPointF(x(m / 60.0), m_height - 1));
        }

        // Labels on every 5-minute line, along both edges and in the middle of the sheet.
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(18);
        p.setFont(font);
        const QFontMetrics fm(font);
        auto label = [&](const QPointF &at, const QString &text, Qt::Alignment align) {
            QRectF box = fm.boundingRect(text);
            box.adjust(-4, -2, 4, 2);
            QPointF topLeft = at;
            if (align & Qt::AlignRight)
                topLeft.rx() -= box.width();
            else if (align & Qt::AlignHCenter)
                topLeft.rx() -= box.width() / 2;
            if (align & Qt::AlignBottom)
                topLeft.ry() -= box.height();
            else if (align & Qt::AlignVCenter)
                topLeft.ry() -= box.height() / 2;
            const QRectF r(topLeft, box.size());
            p.fillRect(r, QColor(255, 255, 255, 210));
            p.setPen(Qt::black);
            p.drawText(r, Qt::AlignCenter, text);
        };
        const double midX = x((m_area.west + m_area.east) / 2);
        const double midY = y((m_area.south + m_area.north) / 2);
        // Small sheets are labelled at every minute, larger ones every five minutes.
        const int step = lastLat - firstLat <= 15 ? 1 : 5;
        for (int m = firstLat; m <= lastLat; ++m) {
            if (m % step)
                continue;
            const QString t = dm(m / 60.0, true);
            const double yy = y(m / 60.0);
            if (yy < 20 || yy > m_height - 21)
                continue; // the sheet's own edge: the longitude labels sit there
            label({6, yy}, t, Qt::AlignLeft | Qt::AlignVCenter);
            label({m_width - 7.0, yy}, t, Qt::AlignRight | Qt::AlignVCenter);
            label({midX, yy}, t, Qt::AlignHCenter | Qt::AlignBottom);
        }
        for (int m = firstLon; m <= lastLon; ++m) {
            if (m % step)
                continue;
            const QString t = dm(m / 60.0, false);
            const double xx = x(m / 60.0);
            if (xx < 50 || xx > m_width - 51)
                continue; // a label centred on the sheet's edge would be cut in half
            label({xx, 6}, t, Qt::AlignHCenter | Qt::AlignTop);
            label({xx, m_height - 7.0}, t, Qt::AlignHCenter | Qt::AlignBottom);
            label({xx, midY + (y(0) - y(step / 120.0))}, t, Qt::AlignHCenter | Qt::AlignVCenter);
        }

        // Title and a 1 km / 5 km scale bar in the lower left corner.
        QFont titleFont = font;
        titleFont.setPixelSize(26);
        titleFont.setBold(true);
        p.setFont(titleFont);
        const QRectF titleBox(40, m_height - 150,
                              QFontMetrics(titleFont).horizontalAdvance(title) + 24, 40);
        p.fillRect(titleBox, QColor(255, 255, 255, 230));
        p.setPen(Qt::black);
        p.drawRect(titleBox);
        p.drawText(titleBox, Qt::AlignCenter, title);
        p.setFont(font);
        const double km = 1000 / m_metresPerPixelX;
        const double bar = km * (km * 5 < m_width / 3.0 ? 5 : 1);
        const QPointF origin(52, m_height - 70);
        p.setPen(QPen(Qt::black, 3));
        p.drawLine(origin, origin + QPointF(bar, 0));
        p.drawLine(origin, origin + QPointF(0, -10));
        p.drawLine(origin + QPointF(bar, 0), origin + QPointF(bar, -10));
        p.drawText(QRectF(origin.x(), origin.y() + 2, bar, 22), Qt::AlignCenter,
                   bar > km * 1.5 ? QStringLiteral("5 км") : QStringLiteral("1 км"));
        p.end();
        return image;
    }

    // Calibration points at whole-minute graticule crossings, spread irregularly over the
    // sheet so that no six consecutive ones lie on one conic.
    QVector<QPair<QPointF, QPoint>> calibration() const {
        const double fractions[][2] = {{0.10, 0.12}, {0.88, 0.08}, {0.52, 0.47},
                                       {0.07, 0.91}, {0.93, 0.86}, {0.31, 0.69},
                                       {0.72, 0.28}, {0.44, 0.96}, {0.61, 0.04}};
        QVector<QPair<QPointF, QPoint>> points;
        for (const auto &f : fractions) {
            const double lon =
                std::round((m_area.west + f[0] * (m_area.east - m_area.west)) * 60) / 60;
            const double lat =
                std::round((m_area.north - f[1] * (m_area.north - m_area.south)) * 60) / 60;
            points.append(
                {QPointF(lon, lat), QPoint(int(std::lround(x(lon))), int(std::lround(y(lat))))});
        }
        return points;
    }

    QString mapFile(const QString &title, const QString &imageName) const {
        QStringList l;
        l << QStringLiteral("OziExplorer Map Data File Version 2.2") << title << imageName
          << QStringLiteral("1 ,Map Code,")
          << QStringLiteral("WGS 84,WGS 84,   0.0000,   0.0000,WGS 84")
          << QStringLiteral("Reserved 1") << QStringLiteral("Reserved 2")
          << QStringLiteral("Magnetic Variation,,,E")
          << QStringLiteral(
                 "Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No");
        const auto points = calibration();
        for (int i = 0; i < 30; ++i) {
            const QString n = QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0'));
            if (i < points.size()) {
                const QPointF ll = points[i].first;
                const QPoint px = points[i].second;
                const int latMin = int(std::lround(ll.y() * 60)),
                          lonMin = int(std::lround(ll.x() * 60));
                l << QStringLiteral("Point%1,xy,%2,%3,in, deg,%4,%5,N,%6,%7,E, grid,   ,           "
                                    ",           ,N")
                         .arg(n)
                         .arg(px.x(), 5)
                         .arg(px.y(), 5)
                         .arg(latMin / 60, 4)
                         .arg(QString::number(latMin % 60, 'f', 4), 8)
                         .arg(lonMin / 60, 4)
                         .arg(QString::number(lonMin % 60, 'f', 4), 8);
            } else {
                l << QStringLiteral("Point%1,xy,     ,     ,in, deg,    ,        ,N,    ,        "
                                    ",E, grid,   ,           ,           ,N")
                         .arg(n);
            }
        }
        l << QStringLiteral("Projection Setup,,,,,,,,,,")
          << QStringLiteral("Map Feature = MF ; Map Comment = MC     These follow if they exist")
          << QStringLiteral("Track File = TF      These follow if they exist")
          << QStringLiteral("Moving Map Parameters = MM?    These follow if they exist")
          << QStringLiteral("MM0,Yes") << QStringLiteral("MMPNUM,4");
        const QPoint corners[4] = {
            {0, 0}, {m_width - 1, 0}, {m_width - 1, m_height - 1}, {0, m_height - 1}};
        const QPointF cornerLL[4] = {{m_area.west, m_area.north},
                                     {m_area.east, m_area.north},
                                     {m_area.east, m_area.south},
                                     {m_area.west, m_area.south}};
        for (int i = 0; i < 4; ++i)
            l << QStringLiteral("MMPXY,%1,%2,%3")
                     .arg(i + 1)
                     .arg(corners[i].x())
                     .arg(corners[i].y());
        for (int i = 0; i < 4; ++i)
            l << QStringLiteral("MMPLL,%1,%2,%3")
                     .arg(i + 1)
                     .arg(QString::number(cornerLL[i].x(), 'f', 6), 12)
                     .arg(QString::number(cornerLL[i].y(), 'f', 6), 12);
        l << QStringLiteral("MM1B,%1").arg(QString::number(m_scale, 'f', 6))
          << QStringLiteral("MOP,Map Open Position,0,0")
          << QStringLiteral("IWH,Map Image Width/Height,%1,%2").arg(m_width).arg(m_height);
        return l.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    }

private:
    TArea m_area;
    int m_width = 0, m_height = 0;
    double m_scale = 0, m_metresPerPixelX = 0, m_pxPerMinuteX = 1, m_pxPerMinuteY = 1;
};

bool writeFileAtomically(const QString &path, const QByteArray &data) {
    const QString tmp = path + QStringLiteral(".tmp");
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        return false;
    f.close();
    QFile::remove(path);
    return QFile::rename(tmp, path);
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QCommandLineParser cli;
    cli.setApplicationDescription(QStringLiteral("Draws a calibrated sample raster map."));
    cli.addHelpOption();
    const QCommandLineOption out({"o", "out"}, "Output folder.", "dir", ".");
    const QCommandLineOption name("name", "Base name of the .jpg and .map files.", "base",
                                  "sample");
    const QCommandLineOption title("title", "Map title.", "text", QStringLiteral("Пример карты"));
    const QCommandLineOption south("south", "Southern edge, degrees.", "lat");
    const QCommandLineOption north("north", "Northern edge, degrees.", "lat");
    const QCommandLineOption west("west", "Western edge, degrees.", "lon");
    const QCommandLineOption east("east", "Eastern edge, degrees.", "lon");
    const QCommandLineOption scale("scale", "Metres per pixel.", "m", "25");
    cli.addOptions({out, name, title, south, north, west, east, scale});
    cli.process(app);

    TArea area{};
    double metres = 0;
    bool ok = parseDegrees(cli.value(south), area.south) &&
              parseDegrees(cli.value(north), area.north) &&
              parseDegrees(cli.value(west), area.west) && parseDegrees(cli.value(east), area.east);
    metres = cli.value(scale).toDouble();
    if (!ok || area.north <= area.south || area.east <= area.west || area.north > 90 ||
        area.south < -90 || !(metres > 0)) {
        std::fprintf(stderr,
                     "draw-sample-map: give --south < --north and --west < --east in degrees, "
                     "and a positive --scale\n");
        return 2;
    }
    const TSampleMap map(area, metres);
    if (map.width() < 200 || map.height() < 200 || qint64(map.width()) * map.height() > 40000000) {
        std::fprintf(stderr, "draw-sample-map: %d x %d pixels is not a sensible image size\n",
                     map.width(), map.height());
        return 2;
    }

    const QDir dir(cli.value(out));
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "draw-sample-map: cannot create %s\n", qPrintable(dir.path()));
        return 1;
    }
    const QString base = cli.value(name);
    const QString jpgName = base + QStringLiteral(".jpg");
    const QImage image = map.draw(cli.value(title));
    const QString tmpJpg = dir.filePath(jpgName + QStringLiteral(".tmp.jpg"));
    if (!image.save(tmpJpg, "JPEG", 85)) {
        std::fprintf(stderr, "draw-sample-map: cannot write %s\n", qPrintable(tmpJpg));
        return 1;
    }
    QFile::remove(dir.filePath(jpgName));
    QFile::rename(tmpJpg, dir.filePath(jpgName));

    QStringEncoder cp1251("windows-1251");
    const QByteArray mapText = cp1251.encode(map.mapFile(cli.value(title), jpgName));
    if (cp1251.hasError() ||
        !writeFileAtomically(dir.filePath(base + QStringLiteral(".map")), mapText)) {
        std::fprintf(stderr, "draw-sample-map: cannot write %s.map\n", qPrintable(base));
        return 1;
    }
    std::printf("%s: %d x %d pixels, %.2f m per pixel\n", qPrintable(dir.filePath(base)),
                map.width(), map.height(), map.scale());
    return 0;
}
