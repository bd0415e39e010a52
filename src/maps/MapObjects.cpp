#include "maps/MapObjects.h"

#include "maps/MapPanel.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <climits>
#include <cmath>

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

// The extent of a text written from (x, y): the returned size is its width and height.
QSize textExtent(const QFont &font, const QString &text) {
    const QFontMetrics fm(font);
    const QRect r =
        fm.boundingRect(QRect(0, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, displayText(text));
    return r.size();
}

QFont timesFont(int size) {
    QFont f(QStringLiteral("times"));
    f.setPointSize(std::max(1, size));
    return f;
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
        const long double a = FAngle;
        poly << polar(P, a, 0.7L * s) << polar(P, a + 2 * Pi / 3, s / 2)
             << polar(P, a + Pi, 0.05L * s) << polar(P, a + 4 * Pi / 3, s / 2);
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

    const QSize ext = textExtent(timesFont(8), FText);
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

void TMarker::Draw(QPainter &canvas, const TMapViewport &view) {
    if (!FisVisible || (FGeoCoords.Latitude == 0 && FGeoCoords.Longitude == 0))
        return;
    const QPoint P = view.MapToScreen(FMapCoords);
    const int s = FSize, h = s / 2;
    const TIntRect v = view.ScreenView();
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    if (P.x() >= v.Left - s && P.x() <= v.Right + s && P.y() >= v.Top - s &&
        P.y() <= v.Bottom + s) {
        const QPen passes[2] = {QPen(FColor, 3), QPen(Qt::white, 1)};
        for (int pass = 0; pass < 2; ++pass) {
            canvas.setPen(passes[pass]);
            canvas.setBrush(pass == 0 ? QBrush(FColor) : QBrush(Qt::NoBrush));
            if (FObjType == 0)
                canvas.drawEllipse(rectLTRB(P.x() - h, P.y() - h, P.x() + h, P.y() + h));
            else
                canvas.drawPolygon(shape(P));
        }
    } else if (view.showPointerToNotVisObj()) {
        const TBorderPointer bp = borderPointer(view, P);
        canvas.setPen(QPen(FColor, 3));
        canvas.setBrush(FColor);
        canvas.drawPolygon(bp.Arrow);
        canvas.setPen(QPen(Qt::white, 1));
        canvas.setBrush(Qt::NoBrush);
        canvas.drawPolygon(bp.Arrow);

        canvas.setPen(QPen(Qt::black, 1));
        canvas.setBrush(toolTipBack());
        canvas.drawPolygon(bp.Octagon);
        canvas.setFont(timesFont(8));
        canvas.setPen(Qt::black);
        canvas.drawText(bp.TextRect, Qt::AlignCenter | Qt::TextDontClip, displayText(FText));
    }
    canvas.restore();
}

// --- TTrack ---

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
    if (!FMapPanel)
        return;
    for (TTrackPoint &p : FPoints)
        p.MapCoords = FMapPanel->coordsConverter().GeoToMap(p.GeoCoords);
}

void TTrack::AddPoint(const TPositionSnapshot &s) {
    TTrackPoint p;
    p.DateTime = s.TimeStamp;
    p.GeoCoords = s.Coords;
    p.Status = s.Status;
    p.GPSLost = s.GPSLost;
    p.Parked = s.Parked;
    if (FMapPanel)
        p.MapCoords = FMapPanel->coordsConverter().GeoToMap(p.GeoCoords);
    const bool older = !FPoints.empty() && p.DateTime < FPoints.back().DateTime;
    FPoints.push_back(p);
    if (older && !DisableSort)
        sortByTime();
}

void TTrack::InsertionBlockEnd() {
    sortByTime();
    DisableSort = false;
}

void TTrack::sortByTime() {
    // Stable, so that points of one time keep the order they came in.
    std::stable_sort(
        FPoints.begin(), FPoints.end(),
        [](const TTrackPoint &a, const TTrackPoint &b) { return a.DateTime < b.DateTime; });
}

void TTrack::RemovePoint(int Index) {
    if (Index >= 0 && Index < Count())
        FPoints.erase(FPoints.begin() + Index);
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
    const TIntRect v = view.ScreenView();
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    if (FObjType == 0) {
        std::vector<QPoint> pts;
        std::vector<bool> lost;
        const int last = Count() - 1;
        for (int i = 0; i <= last; ++i) {
            const QPoint q = view.MapToScreen(FPoints[size_t(i)].MapCoords);
            if (i == 0 || i == last || q != pts.back()) {
                pts.push_back(q);
                lost.push_back(FPoints[size_t(i)].GPSLost);
            }
        }
        // A segment with both ends beyond the same edge of the view cannot touch it.
        const int pad = FSize + 2;
        const auto missesView = [&](const QPoint &a, const QPoint &b) {
            return (a.x() < v.Left - pad && b.x() < v.Left - pad) ||
                   (a.x() > v.Right + pad && b.x() > v.Right + pad) ||
                   (a.y() < v.Top - pad && b.y() < v.Top - pad) ||
                   (a.y() > v.Bottom + pad && b.y() > v.Bottom + pad);
        };
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t i = 1; i < pts.size(); ++i) {
                if (missesView(pts[i - 1], pts[i]))
                    continue;
                const QColor c = pass == 0 ? QColor(Qt::black) : (lost[i] ? FLostColor : FColor);
                canvas.setPen(QPen(c, pass == 0 ? FSize + 2 : FSize, Qt::SolidLine, Qt::RoundCap,
                                   Qt::RoundJoin));
                canvas.drawLine(pts[i - 1], pts[i]);
            }
        }
    } else {
        canvas.setPen(QPen(FColor, 1));
        canvas.setBrush(FColor);
        bool any = false;
        QPoint prev;
        for (const TTrackPoint &p : FPoints) {
            const QPoint q = view.MapToScreen(p.MapCoords);
            if (q.x() < v.Left || q.x() > v.Right || q.y() < v.Top || q.y() > v.Bottom)
                continue;
            if (any && q == prev)
                continue;
            canvas.drawEllipse(
                rectLTRB(q.x() - FSize, q.y() - FSize, q.x() + FSize, q.y() + FSize));
            prev = q;
            any = true;
        }
    }
    canvas.restore();
}

// --- TMapLabel ---

TIntRect TMapLabel::GetMetrics() const {
    const QSize ext = textExtent(timesFont(FSize), FText);
    const QPoint p = roundPoint(FMapCoords);
    return TIntRect{p.x(), p.y(), p.x() + 10 + ext.width(), p.y() + 10 + ext.height()};
}

QPolygon TMapLabel::callout(const QPoint &P, QRect *textRect) const {
    const QSize ext = textExtent(timesFont(FSize), FText);
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
    const QPoint P = view.MapToScreen(FMapCoords);
    QRect textRect;
    const QPolygon poly = callout(P, &textRect);
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setPen(QPen(Qt::black, 1));
    canvas.setBrush(FBackColor);
    canvas.drawPolygon(poly);
    canvas.setFont(timesFont(FSize));
    canvas.setPen(FColor);
    canvas.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, displayText(FText));
    canvas.restore();
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
    if (FMapPanel)
        loadGlyph(FMapPanel->FParkedImage);
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
    const QPoint P = view.MapToScreen(FMapCoords);
    canvas.drawImage(P.x() - FGliph.width() / 2, P.y() - FGliph.height() / 2, FGliph);
}
