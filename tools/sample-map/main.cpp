// Draws a calibrated sample raster map of the try-out's landscape: the town with its streets,
// the villages, roads, the railway with its station, yard and depot, the river with its
// bridges, woods, the places the simulator's fleet goes to, and a graticule with labelled
// degrees and minutes; saved as a JPEG with its map description (.map) file beside it, so that
// the program and its tests have a real map to open and the fleet's tracks follow its roads.
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
#include <QPainterPath>
#include <QStringEncoder>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "../monitor-sim/FleetWorld.h"

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
        image.fill(QColor(0xee, 0xeb, 0xdc)); // fields and meadows
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawLandscape(p);
        drawGraticule(p);
        drawNames(p);

        // Title and a 1 km / 5 km scale bar in the lower left corner.
        QFont titleFont(QStringLiteral("DejaVu Sans"));
        titleFont.setPixelSize(26);
        titleFont.setBold(true);
        p.setFont(titleFont);
        const QRectF titleBox(40, m_height - 150,
                              QFontMetrics(titleFont).horizontalAdvance(title) + 24, 40);
        p.fillRect(titleBox, QColor(255, 255, 255, 230));
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(titleBox);
        p.drawText(titleBox, Qt::AlignCenter, title);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(18);
        p.setFont(font);
        const double km = 1000 / m_metresPerPixelX;
        const double bar = km * (km * 5 < m_width / 3.0 ? 5 : 1);
        const QPointF origin(52, m_height - 70);
        p.fillRect(QRectF(origin.x() - 12, origin.y() - 18, bar + 24, 44),
                   QColor(255, 255, 255, 200));
        p.setPen(QPen(Qt::black, 3));
        p.drawLine(origin, origin + QPointF(bar, 0));
        p.drawLine(origin, origin + QPointF(0, -10));
        p.drawLine(origin + QPointF(bar, 0), origin + QPointF(bar, -10));
        p.drawText(QRectF(origin.x(), origin.y() + 2, bar, 22), Qt::AlignCenter,
                   bar > km * 1.5 ? QStringLiteral("5 км") : QStringLiteral("1 км"));
        p.end();
        return image;
    }

private:
    using TLatLon = fleetworld::TLatLon;

    QPointF px(const TLatLon &g) const { return {x(g.lon), y(g.lat)}; }
    // A width in metres on the ground, at least minPx pixels.
    double widthOf(double metres, double minPx) const { return std::max(minPx, metres / m_scale); }

    // A closed outline smoothed through the midpoints of its sides.
    QPainterPath outline(const std::vector<TLatLon> &points, bool smooth) const {
        QPainterPath path;
        const size_t n = points.size();
        if (n < 3)
            return path;
        if (!smooth) {
            path.moveTo(px(points[0]));
            for (size_t i = 1; i < n; ++i)
                path.lineTo(px(points[i]));
            path.closeSubpath();
            return path;
        }
        auto mid = [&](size_t i) { return (px(points[i % n]) + px(points[(i + 1) % n])) / 2; };
        path.moveTo(mid(0));
        for (size_t i = 1; i <= n; ++i)
            path.quadTo(px(points[i % n]), mid(i));
        path.closeSubpath();
        return path;
    }

    QPainterPath line(const std::vector<TLatLon> &points) const {
        QPainterPath path;
        if (points.empty())
            return path;
        path.moveTo(px(points[0]));
        for (size_t i = 1; i < points.size(); ++i)
            path.lineTo(px(points[i]));
        return path;
    }

    // The river's centre line, smoothed (Catmull-Rom) into short straight pieces, so that
    // bridges are drawn where the drawn river is.
    std::vector<TLatLon> riverLine() const {
        const auto &r = fleetworld::World().river;
        std::vector<TLatLon> out;
        for (size_t i = 0; i + 1 < r.size(); ++i) {
            const TLatLon p0 = r[i ? i - 1 : 0], p1 = r[i], p2 = r[i + 1],
                          p3 = r[std::min(i + 2, r.size() - 1)];
            for (int k = 0; k < 16; ++k) {
                const double t = k / 16.0, t2 = t * t, t3 = t2 * t;
                auto f = [&](double a, double b, double c, double d) {
                    return 0.5 * (2 * b + (-a + c) * t + (2 * a - 5 * b + 4 * c - d) * t2 +
                                  (-a + 3 * b - 3 * c + d) * t3);
                };
                out.push_back(
                    {f(p0.lat, p1.lat, p2.lat, p3.lat), f(p0.lon, p1.lon, p2.lon, p3.lon)});
            }
        }
        out.push_back(r.back());
        return out;
    }

    static bool crossing(const QPointF &a, const QPointF &b, const QPointF &c, const QPointF &d,
                         QPointF &at) {
        const QPointF r = b - a, s = d - c;
        const double den = r.x() * s.y() - r.y() * s.x();
        if (std::fabs(den) < 1e-12)
            return false;
        const QPointF q = c - a;
        const double t = (q.x() * s.y() - q.y() * s.x()) / den;
        const double u = (q.x() * r.y() - q.y() * r.x()) / den;
        if (t < 0 || t > 1 || u < 0 || u > 1)
            return false;
        at = a + r * t;
        return true;
    }

    struct TWayStyle {
        QColor casing, fill;
        double metres, minPx;
    };
    static TWayStyle styleOf(fleetworld::TWayKind k) {
        using K = fleetworld::TWayKind;
        switch (k) {
        case K::Highway:
            return {QColor(0x8a, 0x4a, 0x10), QColor(0xf7, 0xa8, 0x4b), 26, 6};
        case K::Road:
            return {QColor(0x9a, 0x7a, 0x3a), QColor(0xfc, 0xe4, 0x8a), 16, 4};
        case K::Street:
            return {QColor(0x9a, 0x90, 0x84), QColor(0xff, 0xff, 0xff), 12, 3};
        case K::Rail:
            return {QColor(0x30, 0x30, 0x30), QColor(0xff, 0xff, 0xff), 7, 3.5};
        case K::YardRail:
            return {QColor(0x40, 0x40, 0x40), QColor(0xf0, 0xf0, 0xf0), 4, 2};
        }
        return {Qt::black, Qt::white, 10, 2};
    }

    void drawLandscape(QPainter &p) const {
        const fleetworld::TWorld &w = fleetworld::World();
        using A = fleetworld::TAreaKind;
        // Woods, the settlements, then the yard and the pits on them.
        for (A kind : {A::Forest, A::Village, A::Town, A::Industrial, A::Quarry}) {
            for (const fleetworld::TArea &a : w.areas) {
                if (a.kind != kind)
                    continue;
                const QPainterPath path = outline(a.outline, kind != A::Industrial);
                switch (kind) {
                case A::Forest:
                    p.fillPath(path, QColor(0xcd, 0xe3, 0xb2));
                    p.fillPath(path, QBrush(QColor(0xa9, 0xcc, 0x92), Qt::Dense6Pattern));
                    p.strokePath(path, QPen(QColor(0x9c, 0xc0, 0x86), 1.5));
                    break;
                case A::Industrial:
                    p.fillPath(path, QColor(0xdc, 0xd6, 0xde));
                    p.strokePath(path, QPen(QColor(0xa8, 0xa0, 0xae), 1.2));
                    break;
                case A::Quarry:
                    p.fillPath(path, QColor(0xe8, 0xd6, 0xae));
                    p.fillPath(path, QBrush(QColor(0xb8, 0x9c, 0x70), Qt::BDiagPattern));
                    p.strokePath(path, QPen(QColor(0xa0, 0x84, 0x5a), 1.5));
                    break;
                case A::Village:
                case A::Town:
                    p.fillPath(path, kind == A::Town ? QColor(0xf0, 0xdc, 0xc2)
                                                     : QColor(0xf4, 0xe6, 0xd0));
                    p.strokePath(path, QPen(QColor(0xd0, 0xb0, 0x88), 1.5));
                    break;
                }
            }
        }

        // The river, with a darker bank line.
        const std::vector<TLatLon> river = riverLine();
        const QPainterPath riverPath = line(river);
        const double riverPx = widthOf(w.riverMetres, 5);
        p.strokePath(riverPath, QPen(QColor(0x6f, 0x9f, 0xc8), riverPx + 2, Qt::SolidLine,
                                     Qt::RoundCap, Qt::RoundJoin));
        p.strokePath(riverPath, QPen(QColor(0x9e, 0xc6, 0xea), riverPx, Qt::SolidLine, Qt::RoundCap,
                                     Qt::RoundJoin));

        drawBuildings(p);

        // Bridges where a road or a track crosses the river: parapets across the water.
        for (const fleetworld::TWay &way : w.ways) {
            const TWayStyle st = styleOf(way.kind);
            const double half = widthOf(st.metres, st.minPx) / 2 + 2.5;
            for (size_t i = 1; i < way.points.size(); ++i) {
                const QPointF a = px(way.points[i - 1]), b = px(way.points[i]);
                for (size_t j = 1; j < river.size(); ++j) {
                    QPointF at;
                    if (!crossing(a, b, px(river[j - 1]), px(river[j]), at))
                        continue;
                    const QPointF d = (b - a) / std::hypot(b.x() - a.x(), b.y() - a.y());
                    const QPointF n(-d.y(), d.x());
                    const double len = riverPx / 2 + 6;
                    QPolygonF deck{at - d * len + n * half, at + d * len + n * half,
                                   at + d * len - n * half, at - d * len - n * half};
                    p.setPen(Qt::NoPen);
                    p.setBrush(QColor(0xf4, 0xf0, 0xe8));
                    p.drawPolygon(deck);
                    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 2));
                    p.drawLine(deck[0], deck[1]);
                    p.drawLine(deck[2], deck[3]);
                }
            }
        }

        // Roads: every casing first, then the fills from the least to the greatest.
        using K = fleetworld::TWayKind;
        for (K kind : {K::Street, K::Road, K::Highway}) {
            const TWayStyle st = styleOf(kind);
            for (const fleetworld::TWay &way : w.ways)
                if (way.kind == kind)
                    p.strokePath(line(way.points),
                                 QPen(st.casing, widthOf(st.metres, st.minPx) + 2, Qt::SolidLine,
                                      Qt::RoundCap, Qt::RoundJoin));
        }
        for (K kind : {K::Street, K::Road, K::Highway}) {
            const TWayStyle st = styleOf(kind);
            for (const fleetworld::TWay &way : w.ways)
                if (way.kind == kind)
                    p.strokePath(line(way.points),
                                 QPen(st.fill, widthOf(st.metres, st.minPx), Qt::SolidLine,
                                      Qt::RoundCap, Qt::RoundJoin));
        }
        // Railways: a dark line with white dashes in it.
        for (K kind : {K::YardRail, K::Rail}) {
            const TWayStyle st = styleOf(kind);
            const double wpx = widthOf(st.metres, st.minPx);
            for (const fleetworld::TWay &way : w.ways) {
                if (way.kind != kind)
                    continue;
                const QPainterPath path = line(way.points);
                p.strokePath(path, QPen(st.casing, wpx, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
                QPen dash(st.fill, std::max(1.0, wpx - 2), Qt::CustomDashLine, Qt::FlatCap,
                          Qt::RoundJoin);
                dash.setDashPattern({4, 4});
                p.strokePath(path, dash);
            }
        }

        // The places the fleet goes to.
        for (const fleetworld::TPlace &pl : w.places) {
            const QPointF at = px(pl.at);
            using P = fleetworld::TPlaceKind;
            switch (pl.kind) {
            case P::FuelStation: {
                const QRectF box(at + QPointF(6, -22), QSizeF(20, 16));
                p.setPen(QPen(Qt::white, 1));
                p.setBrush(QColor(0x1f, 0x5f, 0xb0));
                p.drawRoundedRect(box, 3, 3);
                p.setPen(QPen(Qt::white, 1.6));
                p.drawLine(box.center() + QPointF(-4, 5), box.center() + QPointF(-4, -5));
                p.drawLine(box.center() + QPointF(-4, -5), box.center() + QPointF(3, -5));
                p.drawLine(box.center() + QPointF(3, -5), box.center() + QPointF(3, 5));
                break;
            }
            case P::Garage:
            case P::LocoDepot: {
                const QRectF box(at + QPointF(-9, 6), QSizeF(18, 11));
                p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
                p.setBrush(QColor(0x80, 0x70, 0x68));
                p.drawRect(box);
                break;
            }
            case P::Station: {
                const QRectF box(at + QPointF(-8, -5), QSizeF(16, 10));
                p.setPen(QPen(Qt::black, 1.2));
                p.setBrush(QColor(0xd0, 0x30, 0x30));
                p.drawRect(box);
                break;
            }
            case P::BusStop:
                if (m_scale < 15) {
                    p.setPen(QPen(Qt::white, 1));
                    p.setBrush(QColor(0x20, 0x70, 0xc0));
                    p.drawEllipse(at + QPointF(7, -7), 4.5, 4.5);
                }
                break;
            default:
                break;
            }
        }
    }

    // Houses along the streets of the settlements.
    void drawBuildings(QPainter &p) const {
        const fleetworld::TWorld &w = fleetworld::World();
        std::vector<QPainterPath> settled;
        for (const fleetworld::TArea &a : w.areas)
            if (a.kind == fleetworld::TAreaKind::Town || a.kind == fleetworld::TAreaKind::Village)
                settled.push_back(outline(a.outline, true));
        const std::vector<TLatLon> river = riverLine();
        auto nearWater = [&](const QPointF &q) {
            const double clear = widthOf(w.riverMetres, 5) / 2 + 35 / m_scale;
            for (const TLatLon &r : river)
                if (std::hypot(px(r).x() - q.x(), px(r).y() - q.y()) < clear)
                    return true;
            return false;
        };
        auto nearOtherWay = [&](const QPointF &q, const fleetworld::TWay *self, double metres) {
            for (const fleetworld::TWay &way : w.ways) {
                if (&way == self)
                    continue;
                for (size_t i = 1; i < way.points.size(); ++i) {
                    const QPointF a = px(way.points[i - 1]), b = px(way.points[i]);
                    const QPointF ab = b - a;
                    const double len2 = QPointF::dotProduct(ab, ab);
                    const double f =
                        len2 > 0 ? std::clamp(QPointF::dotProduct(q - a, ab) / len2, 0.0, 1.0) : 0;
                    const QPointF c = a + ab * f;
                    if (std::hypot(q.x() - c.x(), q.y() - c.y()) < metres / m_scale)
                        return true;
                }
            }
            return false;
        };
        p.setPen(QPen(QColor(0xa8, 0x88, 0x64), 0.8));
        p.setBrush(QColor(0xd8, 0xb8, 0x90));
        unsigned noise = 7;
        for (const fleetworld::TWay &way : w.ways) {
            if (fleetworld::isRail(way.kind) || way.kind == fleetworld::TWayKind::Highway)
                continue;
            for (size_t i = 1; i < way.points.size(); ++i) {
                const QPointF a = px(way.points[i - 1]), b = px(way.points[i]);
                const double len = std::hypot(b.x() - a.x(), b.y() - a.y());
                if (len <= 0)
                    continue;
                const QPointF d = (b - a) / len, n(-d.y(), d.x());
                const double stepPx = 42 / m_scale;
                const double angle = std::atan2(d.y(), d.x()) * 180 / M_PI;
                for (double s = stepPx; s < len - stepPx / 2; s += stepPx) {
                    for (int side : {-1, 1}) {
                        noise = noise * 1103515245u + 12345u;
                        if ((noise >> 16) % 7 == 0)
                            continue; // a yard, a garden
                        const double along = 12 + (noise >> 8) % 14, deep = 9 + (noise >> 12) % 8;
                        const QPointF c =
                            a + d * s + n * (side * (24 / m_scale + deep / m_scale / 2));
                        bool inside = false;
                        for (const QPainterPath &area : settled)
                            inside = inside || area.contains(c);
                        if (!inside || nearWater(c) || nearOtherWay(c, &way, 20))
                            continue;
                        p.save();
                        p.translate(c);
                        p.rotate(angle);
                        const double wpx = std::max(1.5, along / m_scale),
                                     hpx = std::max(1.2, deep / m_scale);
                        p.drawRect(QRectF(-wpx / 2, -hpx / 2, wpx, hpx));
                        p.restore();
                    }
                }
            }
        }
    }

    void drawGraticule(QPainter &p) const {
        const int firstLat = int(std::ceil(m_area.south * 60 - 1e-9));
        const int lastLat = int(std::floor(m_area.north * 60 + 1e-9));
        const int firstLon = int(std::ceil(m_area.west * 60 - 1e-9));
        const int lastLon = int(std::floor(m_area.east * 60 + 1e-9));

        auto pen = [](int minute) {
            if (minute % 60 == 0)
                return QPen(QColor(0x80, 0x20, 0x20, 200), 2.5);
            if (minute % 10 == 0)
                return QPen(QColor(0x40, 0x40, 0x70, 170), 1.6);
            if (minute % 5 == 0)
                return QPen(QColor(0x50, 0x50, 0x70, 130), 1.1);
            return QPen(QColor(0x60, 0x60, 0x70, 70), 0.8);
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
        font.setPixelSize(16);
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
            p.fillRect(r, QColor(255, 255, 255, 200));
            p.setPen(QColor(0x30, 0x30, 0x50));
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
    }

    // Text with a white halo, centred on a point, turned by an angle (degrees).
    static void haloText(QPainter &p, const QPointF &at, const QString &text, const QFont &font,
                         const QColor &colour, double angle = 0) {
        QPainterPath path;
        const QFontMetricsF fm(font);
        path.addText(-fm.horizontalAdvance(text) / 2, fm.ascent() / 2 - fm.descent() / 2, font,
                     text);
        p.save();
        p.translate(at);
        p.rotate(angle);
        p.strokePath(
            path, QPen(QColor(255, 255, 255, 225), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.fillPath(path, colour);
        p.restore();
    }

    // Puts a label at the first of the offered places where it covers no label put before.
    struct TLabels {
        QPainter &p;
        std::vector<QRectF> taken;
        void put(const QPointF &at, const std::vector<QPointF> &offsets, const QString &text,
                 const QFont &font, const QColor &colour) {
            const QFontMetricsF fm(font);
            const QSizeF size(fm.horizontalAdvance(text) + 6, fm.height() + 2);
            QPointF chosen = at + offsets.front();
            for (const QPointF &o : offsets) {
                const QRectF r(at + o - QPointF(size.width() / 2, size.height() / 2), size);
                if (std::none_of(taken.begin(), taken.end(),
                                 [&](const QRectF &t) { return t.intersects(r); })) {
                    chosen = at + o;
                    break;
                }
            }
            taken.emplace_back(chosen - QPointF(size.width() / 2, size.height() / 2), size);
            haloText(p, chosen, text, font, colour);
        }
    };

    void drawNames(QPainter &p) const {
        const fleetworld::TWorld &w = fleetworld::World();
        const bool detailed = m_scale < 15;
        QFont town(QStringLiteral("DejaVu Sans"));
        town.setPixelSize(detailed ? 40 : 30);
        town.setBold(true);
        QFont village(QStringLiteral("DejaVu Sans"));
        village.setPixelSize(detailed ? 24 : 18);
        village.setBold(true);
        QFont small(QStringLiteral("DejaVu Sans"));
        small.setPixelSize(detailed ? 15 : 13);
        QFont italic = small;
        italic.setItalic(true);
        italic.setPixelSize(detailed ? 22 : 17);
        TLabels labels{p, {}};

        for (fleetworld::TAreaKind kind :
             {fleetworld::TAreaKind::Town, fleetworld::TAreaKind::Village,
              fleetworld::TAreaKind::Industrial, fleetworld::TAreaKind::Quarry}) {
            for (const fleetworld::TArea &a : w.areas) {
                if (!*a.name || a.kind != kind)
                    continue;
                QPointF c;
                for (const TLatLon &g : a.outline)
                    c += px(g);
                c /= double(a.outline.size());
                const QString name = QString::fromUtf8(a.name);
                const double r = 1000 / m_scale; // a kilometre
                switch (a.kind) {
                case fleetworld::TAreaKind::Town:
                    labels.put(c, {{0, -r * 0.55}, {0, 0}}, name, town, QColor(0x30, 0x20, 0x10));
                    break;
                case fleetworld::TAreaKind::Village:
                    labels.put(c, {{0, -14}, {0, 20}, {r * 0.8 + 40, 0}, {-r * 0.8 - 40, 0}}, name,
                               village, QColor(0x40, 0x30, 0x20));
                    break;
                default:
                    labels.put(c, {{0, -r * 0.25 - 12}, {0, r * 0.25 + 12}}, name, small,
                               QColor(0x50, 0x40, 0x30));
                    break;
                }
            }
        }
        // The places that have names.
        for (const fleetworld::TPlace &pl : w.places) {
            if (!*pl.label)
                continue;
            const QString name = QString::fromUtf8(pl.label);
            const QPointF at = px(pl.at);
            using P = fleetworld::TPlaceKind;
            const double half = QFontMetricsF(small).horizontalAdvance(name) / 2;
            const std::vector<QPointF> around{{-half - 14, 0}, {half + 14, 0}, {0, 16}, {0, -16}};
            switch (pl.kind) {
            case P::Station:
                labels.put(at, around, name, small, QColor(0x90, 0x10, 0x10));
                break;
            case P::FuelStation:
            case P::BusStop:
                if (detailed)
                    labels.put(at, {{half + 30, -14}, {-half - 8, -14}, {half + 30, 8}}, name,
                               small, QColor(0x1f, 0x4f, 0x90));
                break;
            default:
                labels.put(at, {{0, 28}, {0, -12}, {half + 16, 12}, {-half - 16, 12}}, name, small,
                           QColor(0x30, 0x30, 0x30));
                break;
            }
        }
        // The river's name along its course.
        const std::vector<TLatLon> river = riverLine();
        for (double f : {0.12, 0.55, 0.82}) {
            const size_t i = size_t(f * (river.size() - 2));
            const QPointF a = px(river[i]), b = px(river[std::min(i + 8, river.size() - 1)]);
            if (!QRectF(0, 0, m_width, m_height).adjusted(60, 60, -60, -60).contains(a))
                continue;
            double angle = std::atan2(b.y() - a.y(), b.x() - a.x()) * 180 / M_PI;
            if (angle > 90)
                angle -= 180;
            if (angle < -90)
                angle += 180;
            const QPointF d = (b - a) / std::hypot(b.x() - a.x(), b.y() - a.y());
            haloText(p, (a + b) / 2 + QPointF(-d.y(), d.x()) * (widthOf(w.riverMetres, 5) + 12),
                     QString::fromUtf8(w.riverName), italic, QColor(0x20, 0x50, 0x90), angle);
        }
        // The highway's number in shields along it.
        for (const fleetworld::TWay &way : w.ways) {
            if (way.kind != fleetworld::TWayKind::Highway || !*way.name)
                continue;
            double since = 200;
            for (size_t i = 1; i < way.points.size(); ++i) {
                const QPointF a = px(way.points[i - 1]), b = px(way.points[i]);
                since += std::hypot(b.x() - a.x(), b.y() - a.y());
                if (since < 450)
                    continue;
                since = 0;
                const QPointF c = (a + b) / 2;
                const QRectF box(c - QPointF(24, 10), QSizeF(48, 20));
                p.setPen(QPen(Qt::white, 1.5));
                p.setBrush(QColor(0x1a, 0x6a, 0x3a));
                p.drawRoundedRect(box, 4, 4);
                p.setFont(small);
                p.setPen(Qt::white);
                p.drawText(box, Qt::AlignCenter, QString::fromUtf8(way.name));
            }
        }
        p.setBrush(Qt::NoBrush);
    }

public:
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
