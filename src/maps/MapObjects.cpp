#include "maps/MapObjects.h"

#include "maps/MapGlyphCache.h"
#include "maps/WideLines.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <unordered_map>

namespace {

constexpr long double Pi = 3.14159265358979323846264338327950288L;

// Nearest integer, halves to even.
int roundEven(long double v) {
    return int(std::nearbyint(v));
}

QPoint roundPoint(const TMapCoords &m) {
    return QPoint(roundEven(m.X), roundEven(m.Y));
}

// A rectangle given by its edges, right and bottom exclusive.
QRect rectLTRB(int l, int t, int r, int b) {
    return QRect(l, t, r - l, b - t);
}

QString displayText(const QString &text) {
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QFont timesFont(int size) {
    QFont f(QStringLiteral("times"));
    f.setPointSize(std::max(1, size));
    return f;
}

// The extent of a text written from (x, y) in "times" of a size: the returned size is its
// width and height. Measured once per text and size (markers and labels ask in every frame).
QSize textExtent(int fontSize, const QString &text) {
    struct TKey {
        int size;
        QString text;
        bool operator==(const TKey &) const = default;
    };
    struct TKeyHash {
        size_t operator()(const TKey &k) const { return qHash(k.text, size_t(k.size)); }
    };
    thread_local std::unordered_map<TKey, QSize, TKeyHash> known;
    // Only the sizes are kept: fonts must not outlive the application.
    const TKey key{fontSize, text};
    if (const auto it = known.find(key); it != known.end())
        return it->second;
    const QSize size =
        QFontMetrics(timesFont(fontSize))
            .boundingRect(QRect(0, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, displayText(text))
            .size();
    if (known.size() > 8192)
        known.clear();
    known.emplace(key, size);
    return size;
}

bool opaque(const QColor &c) {
    return c.alpha() == 255;
}

QRect boxOf(const QPolygon &poly, int margin) {
    return poly.boundingRect().adjusted(-margin, -margin, margin, margin);
}

// A different value at every change of any track, across all tracks.
std::atomic<quint64> s_trackRevisions{0};

quint64 mix(quint64 h, quint64 v) {
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    return h ^ (h >> 29);
}

QColor toolTipBack() {
    return QGuiApplication::palette().color(QPalette::ToolTipBase);
}

// The point p offset by r along the direction a, each member cut towards zero.
QPoint polar(const QPoint &p, long double a, long double r) {
    return QPoint(p.x() + int(std::trunc(r * std::cos(a))),
                  p.y() + int(std::trunc(r * std::sin(a))));
}

} // namespace

// --- TMapObject ---

void TMapObject::setLayer(std::shared_ptr<TMapLayer> layer) {
    m_layer = std::move(layer);
}

TMapCoords TMapObject::place(const TGeoCoords &coords) const {
    return m_layer ? m_layer->binding().GeoToMap(coords) : TMapCoords{};
}

void TMapObject::UpdateCoords() {
    if (m_layer)
        FMapCoords = place(FGeoCoords);
}

void TMapObject::setWeight(int weight) {
    FWeight = weight;
    if (m_layer)
        m_layer->markOrderChanged();
}

TPositionSnapshot TMapObject::GetPosition() const {
    TPositionSnapshot s;
    s.TimeStamp = FDateTime;
    s.Coords = FGeoCoords;
    return s;
}

void TMapObject::SetPosition(const TPositionSnapshot &position) {
    FGeoCoords = position.Coords;
    FDateTime = position.TimeStamp;
    UpdateCoords();
}

// --- TMarker ---

TIntRect TMarker::GetMetrics() const {
    const QPoint p = roundPoint(FMapCoords);
    const int h = FSize / 2;
    return TIntRect{p.x() - h, p.y() - h, p.x() + h, p.y() + h};
}

const std::array<QPoint, 4> &TMarker::arrowOffsets() const {
    if (m_arrowSize != FSize || m_arrowAngle != FAngle) {
        const long double s = FSize, a = FAngle;
        const QPoint O(0, 0);
        m_arrow = {polar(O, a, 0.7L * s), polar(O, a + 2 * Pi / 3, s / 2),
                   polar(O, a + Pi, 0.05L * s), polar(O, a + 4 * Pi / 3, s / 2)};
        m_arrowSize = FSize;
        m_arrowAngle = FAngle;
    }
    return m_arrow;
}

QPolygon TMarker::shape(const QPoint &P) const {
    const long double s = FSize;
    const int h = FSize / 2;
    QPolygon poly;
    if (FObjType == 1) {
        const long double c = std::cos(2 * Pi / 3), sn = std::sin(2 * Pi / 3);
        const int dx = int(std::trunc(s / 2 * c)), dy = int(std::trunc(s / 2 * sn));
        poly << QPoint(P.x(), P.y() - h) << QPoint(P.x() - h - dx, P.y() + h - dy)
             << QPoint(P.x() + h + dx, P.y() + h - dy);
    } else if (FObjType == 2) {
        for (const QPoint &d : arrowOffsets())
            poly << P + d;
    }
    return poly;
}

TMarker::TBorderPointer TMarker::borderPointer(const TMapViewport &view, const QPoint &P) const {
    const TIntRect v = view.ScreenView();
    const int s = FSize;
    const int W = v.Right - v.Left, H = v.Bottom - v.Top;
    const QPoint C(W / 2, H / 2);
    const long double a = std::atan2((long double)(P.y() - C.y()), (long double)(P.x() - C.x()));
    const long double t = std::tan(a);
    const bool sideEdge = std::fabs(t) * W < H;

    TBorderPointer bp;
    if (sideEdge) {
        const int dy = roundEven(t * (W - s / 2.0L) / 2);
        bp.Point = std::cos(a) > 0 ? QPoint(v.Right - s / 2, H / 2 + dy)
                                   : QPoint(v.Left + s / 2, H / 2 - dy);
    } else {
        const int dx = roundEven((H - s / 2.0L) / (2 * t));
        bp.Point = std::sin(a) > 0 ? QPoint(W / 2 + dx, v.Bottom - s / 2)
                                   : QPoint(W / 2 - dx, v.Top + s / 2);
    }
    const struct {
        long double phi, r;
    } arrow[7] = {{0, s / 2.0L},          {Pi / 2, s / 2.0L},     {Pi / 2, s / 4.0L},
                  {0.85L * Pi, s / 2.0L}, {1.15L * Pi, s / 2.0L}, {1.5L * Pi, s / 4.0L},
                  {1.5L * Pi, s / 2.0L}};
    for (const auto &v7 : arrow)
        bp.Arrow << polar(bp.Point, a + v7.phi, v7.r);

    const QSize ext = textExtent(8, FText);
    const int tw = 5 + ext.width(), th = 5 + ext.height();
    if (sideEdge) {
        const int dy = roundEven(t * (W - s - th) / 2.0L);
        bp.Caption = std::cos(a) > 0 ? QPoint(v.Right - s - tw, H / 2 + dy)
                                     : QPoint(v.Left + s + tw, H / 2 - dy);
    } else {
        const int dx = roundEven((H - s - tw) / (2 * t));
        bp.Caption = std::sin(a) > 0 ? QPoint(W / 2 + dx, v.Bottom - s - th)
                                     : QPoint(W / 2 - dx, v.Top + s + th);
    }
    const int hw = tw / 2, hh = th / 2;
    const QPoint &T = bp.Caption;
    bp.Octagon << QPoint(T.x() - hw, T.y() - hh - 5) << QPoint(T.x() + hw, T.y() - hh - 5)
               << QPoint(T.x() + hw + 5, T.y() - hh) << QPoint(T.x() + hw + 5, T.y() + hh)
               << QPoint(T.x() + hw, T.y() + hh + 5) << QPoint(T.x() - hw, T.y() + hh + 5)
               << QPoint(T.x() - hw - 5, T.y() + hh) << QPoint(T.x() - hw - 5, T.y() - hh);
    bp.TextRect = rectLTRB(T.x() - hw, T.y() - hh, T.x() + hw, T.y() + hh);
    return bp;
}

namespace {

// The marker's shape at (0, 0) in its two passes: the colour with a 3-pixel pen, then a thin
// white outline.
void paintMarker(QPainter &p, int type, int size, const QColor &colour, const QPolygon &shape) {
    const int h = size / 2;
    const QPen passes[2] = {QPen(colour, 3), QPen(Qt::white, 1)};
    for (int pass = 0; pass < 2; ++pass) {
        p.setPen(passes[pass]);
        p.setBrush(pass == 0 ? QBrush(colour) : QBrush(Qt::NoBrush));
        if (type == 0)
            p.drawEllipse(rectLTRB(-h, -h, h, h));
        else
            p.drawPolygon(shape);
    }
}

void paintPointerArrow(QPainter &p, const QColor &colour, const QPolygon &arrow) {
    p.setPen(QPen(colour, 3));
    p.setBrush(colour);
    p.drawPolygon(arrow);
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(arrow);
}

void paintCaption(QPainter &p, const QPolygon &octagon, const QRect &textRect,
                  const QString &text) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(toolTipBack());
    p.drawPolygon(octagon);
    p.setFont(timesFont(8));
    p.setPen(Qt::black);
    p.drawText(textRect, Qt::AlignCenter | Qt::TextDontClip, displayText(text));
}

} // namespace

void TMarker::Draw(QPainter &canvas, const TMapViewport &view) {
    if (!FisVisible || (FGeoCoords.Latitude == 0 && FGeoCoords.Longitude == 0))
        return;
    const QPoint P = view.toScreen(double(FMapCoords.X), double(FMapCoords.Y));
    const int s = FSize;
    const TIntRect v = view.ScreenView();
    const QColor colour = currentColour();
    if (P.x() >= v.Left - s && P.x() <= v.Right + s && P.y() >= v.Top - s &&
        P.y() <= v.Bottom + s) {
        const QPolygon local = shape(QPoint(0, 0));
        if (FAlarm && FAlarmLit) {
            // The ring around a lit alarm: the alarm colour with a thin white edge on both sides.
            TKeyBuilder key('a');
            key << s;
            const int r = s;
            TGlyphCache::draw(canvas, P, key.key(), QRect(-r - 3, -r - 3, 2 * r + 7, 2 * r + 7),
                              [&](QPainter &p) {
                                  p.setBrush(Qt::NoBrush);
                                  p.setPen(QPen(Qt::white, 7));
                                  p.drawEllipse(rectLTRB(-r + 1, -r + 1, r - 1, r - 1));
                                  p.setPen(QPen(alarmColour(), 4));
                                  p.drawEllipse(rectLTRB(-r + 1, -r + 1, r - 1, r - 1));
                              });
        }
        if (!opaque(colour)) {
            canvas.save();
            canvas.setRenderHint(QPainter::Antialiasing, false);
            canvas.translate(P);
            paintMarker(canvas, FObjType, s, colour, local);
            canvas.restore();
            return;
        }
        TKeyBuilder key('m');
        key << FObjType << s << colour;
        for (const QPoint &q : local)
            key << q;
        const QRect box =
            FObjType == 0 ? QRect(-s / 2 - 3, -s / 2 - 3, s + 7, s + 7) : boxOf(local, 3);
        TGlyphCache::draw(canvas, P, key.key(), box,
                          [&](QPainter &p) { paintMarker(p, FObjType, s, colour, local); });
    } else if (view.showPointerToNotVisObj()) {
        const QColor back = toolTipBack();
        if (!opaque(colour) || !opaque(back)) {
            const TBorderPointer bp = borderPointer(view, P);
            canvas.save();
            canvas.setRenderHint(QPainter::Antialiasing, false);
            paintPointerArrow(canvas, colour, bp.Arrow);
            paintCaption(canvas, bp.Octagon, bp.TextRect, FText);
            canvas.restore();
            return;
        }
        TPointerCache &c = m_pointer;
        if (!c.valid || c.P != P || !(c.view == v) || c.size != FSize ||
            c.colour != colour.rgba() || c.text != FText) {
            c.valid = true;
            c.P = P;
            c.view = v;
            c.size = FSize;
            c.colour = colour.rgba();
            c.text = FText;
            c.bp = borderPointer(view, P);
            // The arrow and the caption, each relative to its own point.
            c.arrow = c.bp.Arrow.translated(-c.bp.Point);
            TKeyBuilder arrowKey('p');
            arrowKey << colour;
            for (const QPoint &q : c.arrow)
                arrowKey << q;
            c.arrowKey = arrowKey.key();
            c.octagon = c.bp.Octagon.translated(-c.bp.Caption);
            c.textRect = c.bp.TextRect.translated(-c.bp.Caption);
            // The text is not clipped to its frame: the box allows for a text wider than it.
            const QSize ext = textExtent(8, FText);
            c.captionBox =
                boxOf(c.octagon, 2)
                    .united(
                        QRect(c.textRect.center() - QPoint(ext.width(), ext.height()), ext * 2));
            TKeyBuilder captionKey('c');
            captionKey << back << FText << c.textRect.topLeft() << c.textRect.width()
                       << c.textRect.height();
            c.captionKey = captionKey.key();
        }
        TGlyphCache::draw(canvas, c.bp.Point, c.arrowKey, boxOf(c.arrow, 3),
                          [&](QPainter &p) { paintPointerArrow(p, colour, c.arrow); });
        TGlyphCache::draw(canvas, c.bp.Caption, c.captionKey, c.captionBox,
                          [&](QPainter &p) { paintCaption(p, c.octagon, c.textRect, FText); });
    }
}

// --- TTrack ---

TTrack::TTrack() : TMapObject(DefaultWeight), m_revision(++s_trackRevisions) {}

void TTrack::changed() {
    m_revision = ++s_trackRevisions;
}

quint64 TTrack::pictureStamp() const {
    quint64 h = mix(m_revision, quint64(FisVisible) | quint64(FObjType) << 1);
    h = mix(h, quint64(FColor.rgba()) << 32 | FLostColor.rgba());
    h = mix(h, quint64(quint32(FSize)) << 32 | quint32(FWeight));
    return h ? h : 1;
}

TIntRect TTrack::GetMetrics() const {
    TIntRect r{268435455, 268435455, 0, 0};
    for (const TTrackPoint &p : FPoints) {
        const QPoint q = roundPoint(p.MapCoords);
        r.Left = std::min(r.Left, q.x());
        r.Top = std::min(r.Top, q.y());
        r.Right = std::max(r.Right, q.x());
        r.Bottom = std::max(r.Bottom, q.y());
    }
    return r;
}

void TTrack::UpdateCoords() {
    if (!m_layer)
        return;
    for (size_t i = 0; i < FPoints.size(); ++i) {
        TTrackPoint &p = FPoints[i];
        p.MapCoords = place(p.GeoCoords);
        m_xy[2 * i] = double(p.MapCoords.X);
        m_xy[2 * i + 1] = double(p.MapCoords.Y);
    }
    changed();
}

void TTrack::AddPoint(const TPositionSnapshot &s) {
    TTrackPoint p;
    p.DateTime = s.TimeStamp;
    p.GeoCoords = s.Coords;
    p.Status = s.Status;
    p.GPSLost = s.GPSLost;
    p.Parked = s.Parked;
    p.MapCoords = place(p.GeoCoords);
    const bool older = !FPoints.empty() && p.DateTime < FPoints.back().DateTime;
    FPoints.push_back(p);
    m_xy.push_back(double(p.MapCoords.X));
    m_xy.push_back(double(p.MapCoords.Y));
    if (older && !DisableSort)
        sortByTime();
    changed();
}

void TTrack::InsertionBlockEnd() {
    sortByTime();
    DisableSort = false;
}

void TTrack::sortByTime() {
    if (std::is_sorted(
            FPoints.begin(), FPoints.end(),
            [](const TTrackPoint &a, const TTrackPoint &b) { return a.DateTime < b.DateTime; }))
        return;
    // Stable, so that points of one time keep the order they came in.
    std::stable_sort(
        FPoints.begin(), FPoints.end(),
        [](const TTrackPoint &a, const TTrackPoint &b) { return a.DateTime < b.DateTime; });
    for (size_t i = 0; i < FPoints.size(); ++i) {
        m_xy[2 * i] = double(FPoints[i].MapCoords.X);
        m_xy[2 * i + 1] = double(FPoints[i].MapCoords.Y);
    }
    changed();
}

void TTrack::RemovePoint(int Index) {
    if (Index < 0 || Index >= Count())
        return;
    FPoints.erase(FPoints.begin() + Index);
    m_xy.erase(m_xy.begin() + 2 * Index, m_xy.begin() + 2 * Index + 2);
    changed();
}

void TTrack::Clear() {
    FPoints.clear();
    m_xy.clear();
    changed();
}

TPositionSnapshot TTrack::PointPosition(int Index) const {
    const TTrackPoint &p = Point(Index);
    TPositionSnapshot s;
    s.TimeStamp = p.DateTime;
    s.Coords = p.GeoCoords;
    s.Status = p.Status;
    s.GPSLost = p.GPSLost;
    s.Parked = p.Parked;
    return s;
}

int TTrack::GetPointIndex(const TGeoCoords &Coords) const {
    for (int i = 0; i < Count(); ++i)
        if (FPoints[size_t(i)].GeoCoords.Latitude == Coords.Latitude &&
            FPoints[size_t(i)].GeoCoords.Longitude == Coords.Longitude)
            return i;
    return -1;
}

int TTrack::GetPointIndex(TDateTime DateTime) const {
    const auto it =
        std::lower_bound(FPoints.begin(), FPoints.end(), DateTime,
                         [](const TTrackPoint &p, TDateTime t) { return p.DateTime < t; });
    if (it == FPoints.end() || it->DateTime != DateTime)
        return -1;
    return int(it - FPoints.begin());
}

void TTrack::Draw(QPainter &canvas, const TMapViewport &view) {
    if (!FisVisible || FPoints.empty())
        return;
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    if (FObjType == 0)
        drawLines(canvas, view);
    else
        drawPoints(canvas, view);
    canvas.restore();
}

void TTrack::drawLines(QPainter &canvas, const TMapViewport &view) {
    // The screen points in order, a point dropped when it falls on the pixel of the one used
    // before it (the first and the last are always used); the segment to a point takes the
    // lost colour when that point lost GPS.
    thread_local std::vector<QPoint> pts;
    thread_local std::vector<unsigned char> lost;
    pts.clear();
    lost.clear();
    const size_t n = FPoints.size();
    pts.reserve(n);
    lost.reserve(n);
    const double *xy = m_xy.data();
    for (size_t i = 0; i < n; ++i) {
        const QPoint q = view.toScreen(xy[2 * i], xy[2 * i + 1]);
        if (i == 0 || i + 1 == n || q != pts.back()) {
            pts.push_back(q);
            lost.push_back(FPoints[i].GPSLost);
        }
    }
    // A segment with both ends beyond the same edge of the view cannot touch it. The others
    // form runs of joined segments, each drawn as one line: with round caps and joins it
    // covers what its segments drawn one by one cover.
    const TIntRect v = view.ScreenView();
    const int pad = FSize + 2;
    const auto missesView = [&](const QPoint &a, const QPoint &b) {
        return (a.x() < v.Left - pad && b.x() < v.Left - pad) ||
               (a.x() > v.Right + pad && b.x() > v.Right + pad) ||
               (a.y() < v.Top - pad && b.y() < v.Top - pad) ||
               (a.y() > v.Bottom + pad && b.y() > v.Bottom + pad);
    };
    struct TRun {
        size_t from, to; // points from..to, segments from+1..to
    };
    thread_local std::vector<TRun> runs;
    runs.clear();
    for (size_t i = 1; i < pts.size(); ++i) {
        if (missesView(pts[i - 1], pts[i]))
            continue;
        if (!runs.empty() && runs.back().to == i - 1)
            runs.back().to = i;
        else
            runs.push_back({i - 1, i});
    }
    // The outline under everything, then the colours, a lost stretch in its own.
    QImage *direct = opaque(FColor) && opaque(FLostColor) ? TWideLines::target(canvas) : nullptr;
    if (direct) {
        const TWideLines outline(*direct, FSize + 2);
        for (const TRun &r : runs)
            outline.draw(pts.data() + r.from, r.to - r.from + 1, qRgb(0, 0, 0));
    } else {
        canvas.setBrush(Qt::NoBrush);
        canvas.setPen(QPen(Qt::black, FSize + 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        for (const TRun &r : runs)
            canvas.drawPolyline(pts.data() + r.from, int(r.to - r.from + 1));
    }
    std::optional<TWideLines> line;
    if (direct)
        line.emplace(*direct, FSize);
    const QPen pens[2] = {QPen(FColor, FSize, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin),
                          QPen(FLostColor, FSize, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin)};
    int current = -1;
    for (const TRun &r : runs) {
        size_t from = r.from;
        while (from < r.to) {
            const int colour = lost[from + 1] ? 1 : 0;
            size_t to = from + 1;
            while (to < r.to && (lost[to + 1] ? 1 : 0) == colour)
                ++to;
            if (direct) {
                line->draw(pts.data() + from, to - from + 1, (colour ? FLostColor : FColor).rgb());
            } else {
                if (colour != current) {
                    canvas.setPen(pens[colour]);
                    current = colour;
                }
                canvas.drawPolyline(pts.data() + from, int(to - from + 1));
            }
            from = to;
        }
    }
}

void TTrack::drawPoints(QPainter &canvas, const TMapViewport &view) {
    const TIntRect v = view.ScreenView();
    const int r = FSize;
    const auto paintDisc = [&](QPainter &p) {
        p.setPen(QPen(FColor, 1));
        p.setBrush(FColor);
        p.drawEllipse(rectLTRB(-r, -r, r, r));
    };
    TKeyBuilder key('d');
    key << r << FColor;
    const QByteArray discKey = key.key();
    const QRect box(-r - 2, -r - 2, 2 * r + 5, 2 * r + 5);
    const bool cached = opaque(FColor);
    bool any = false;
    QPoint prev;
    const double *xy = m_xy.data();
    for (size_t i = 0; i < FPoints.size(); ++i) {
        const QPoint q = view.toScreen(xy[2 * i], xy[2 * i + 1]);
        if (q.x() < v.Left || q.x() > v.Right || q.y() < v.Top || q.y() > v.Bottom)
            continue;
        if (any && q == prev)
            continue;
        if (cached) {
            TGlyphCache::draw(canvas, q, discKey, box, paintDisc);
        } else {
            canvas.save();
            canvas.translate(q);
            paintDisc(canvas);
            canvas.restore();
        }
        prev = q;
        any = true;
    }
}

// --- TMapLabel ---

TIntRect TMapLabel::GetMetrics() const {
    const QSize ext = textExtent(FSize, FText);
    const QPoint p = roundPoint(FMapCoords);
    return TIntRect{p.x(), p.y(), p.x() + 10 + ext.width(), p.y() + 10 + ext.height()};
}

QPolygon TMapLabel::callout(const QPoint &P, QRect *textRect) const {
    const QSize ext = textExtent(FSize, FText);
    const int w = 5 + ext.width() + 5, h = 5 + ext.height() + 5;
    const int x = P.x(), y = P.y();
    QPolygon poly;
    poly << QPoint(x + 25, y - h - 10) << QPoint(x + w + 15, y - h - 10)
         << QPoint(x + w + 20, y - h - 5) << QPoint(x + w + 20, y - 15)
         << QPoint(x + w + 15, y - 10) << QPoint(x + 25, y - 10) << QPoint(x + 20, y - 15)
         << QPoint(x, y) << QPoint(x + 20, y - h / 3 - 10) << QPoint(x + 20, y - h - 5);
    if (textRect)
        *textRect = rectLTRB(x + 25, y - h - 5, x + w + 10, y - 20);
    return poly;
}

void TMapLabel::Draw(QPainter &canvas, const TMapViewport &view) {
    if (!FisVisible)
        return;
    const QPoint P = view.toScreen(double(FMapCoords.X), double(FMapCoords.Y));
    QRect textRect;
    const QPolygon poly = callout(QPoint(0, 0), &textRect);
    const auto paint = [&](QPainter &p) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(FBackColor);
        p.drawPolygon(poly);
        p.setFont(timesFont(FSize));
        p.setPen(FColor);
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, displayText(FText));
    };
    if (!opaque(FBackColor)) {
        canvas.save();
        canvas.setRenderHint(QPainter::Antialiasing, false);
        canvas.translate(P);
        paint(canvas);
        canvas.restore();
        return;
    }
    TKeyBuilder key('l');
    key << FSize << FColor << FBackColor << FText;
    TGlyphCache::draw(canvas, P, key.key(), boxOf(poly, 2), paint);
}

// --- TMapControlPoint ---

TIntRect TMapControlPoint::GetMetrics() const {
    const QPoint p = roundPoint(FMapCoords);
    return TIntRect{p.x(), p.y(), p.x(), p.y()};
}

void TMapControlPoint::SetObjType(int value) {
    if (value == FObjType && m_glyphLoaded)
        return;
    FObjType = value;
    if (m_layer)
        loadGlyph(m_layer->parkedImage());
    // Otherwise loaded when first drawn, from the viewport.
}

void TMapControlPoint::loadGlyph(const QImage &parked) {
    m_glyphLoaded = true;
    FGliph = FObjType == RestPlace ? parked : QImage();
    if (FGliph.isNull())
        return;
    // The bottom-left pixel's colour is the transparent one, as for any glyph.
    if (!FGliph.hasAlphaChannel()) {
        FGliph = FGliph.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = FGliph.pixel(0, FGliph.height() - 1) & 0xFFFFFFu;
        for (int y = 0; y < FGliph.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(FGliph.scanLine(y));
            for (int x = 0; x < FGliph.width(); ++x)
                if ((line[x] & 0xFFFFFFu) == key)
                    line[x] = 0;
        }
    }
}

void TMapControlPoint::Draw(QPainter &canvas, const TMapViewport &view) {
    if (!FisVisible)
        return;
    if (!m_glyphLoaded)
        loadGlyph(view.parkedImage());
    if (FGliph.isNull())
        return;
    const QPoint P = view.toScreen(double(FMapCoords.X), double(FMapCoords.Y));
    canvas.drawImage(P.x() - FGliph.width() / 2, P.y() - FGliph.height() / 2, FGliph);
}
