#include "ReferenceDrawing.h"

#include "maps/MapPanel.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <vector>

namespace reference {

namespace {

constexpr long double Pi = 3.14159265358979323846264338327950288L;

int roundEven(long double v) {
    return int(std::nearbyint(v));
}

// The conversion of the viewport, worked out anew for every point.
QPoint toScreen(const TMapViewport &view, const TMapCoords &m) {
    const long double s = view.scalingFactor();
    const long double left = std::nearbyint(view.camera().X - view.size().width() / 2.0L * s);
    const long double top = std::nearbyint(view.camera().Y - view.size().height() / 2.0L * s);
    return QPoint(int(truncSnap((m.X - left) / s)), int(truncSnap((m.Y - top) / s)));
}

TIntRect screenView(const TMapViewport &view) {
    const TIntRect v = view.GetView();
    const QPoint tl = toScreen(view, TMapCoords{(long double)v.Left, (long double)v.Top});
    const QPoint br = toScreen(view, TMapCoords{(long double)v.Right, (long double)v.Bottom});
    return TIntRect{tl.x(), tl.y(), br.x(), br.y()};
}

QRect rectLTRB(int l, int t, int r, int b) {
    return QRect(l, t, r - l, b - t);
}

QString displayText(const QString &text) {
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QSize textExtent(const QFont &font, const QString &text) {
    const QFontMetrics fm(font);
    return fm.boundingRect(QRect(0, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, displayText(text))
        .size();
}

QFont timesFont(int size) {
    QFont f(QStringLiteral("times"));
    f.setPointSize(std::max(1, size));
    return f;
}

QPoint polar(const QPoint &p, long double a, long double r) {
    return QPoint(p.x() + int(std::trunc(r * std::cos(a))),
                  p.y() + int(std::trunc(r * std::sin(a))));
}

QPolygon markerShape(const TMarker &m, const QPoint &P) {
    const long double s = m.FSize;
    const int h = m.FSize / 2;
    QPolygon poly;
    if (m.objType() == 1) {
        const long double c = std::cos(2 * Pi / 3), sn = std::sin(2 * Pi / 3);
        const int dx = int(std::trunc(s / 2 * c)), dy = int(std::trunc(s / 2 * sn));
        poly << QPoint(P.x(), P.y() - h) << QPoint(P.x() - h - dx, P.y() + h - dy)
             << QPoint(P.x() + h + dx, P.y() + h - dy);
    } else if (m.objType() == 2) {
        const long double a = m.FAngle;
        poly << polar(P, a, 0.7L * s) << polar(P, a + 2 * Pi / 3, s / 2)
             << polar(P, a + Pi, 0.05L * s) << polar(P, a + 4 * Pi / 3, s / 2);
    }
    return poly;
}

void drawPointer(QPainter &canvas, const TMapViewport &view, const TMarker &m, const QPoint &P) {
    const TIntRect v = screenView(view);
    const int s = m.FSize;
    const int W = v.Right - v.Left, H = v.Bottom - v.Top;
    const QPoint C(W / 2, H / 2);
    const long double a = std::atan2((long double)(P.y() - C.y()), (long double)(P.x() - C.x()));
    const long double t = std::tan(a);
    const bool sideEdge = std::fabs(t) * W < H;
    QPoint B;
    if (sideEdge) {
        const int dy = roundEven(t * (W - s / 2.0L) / 2);
        B = std::cos(a) > 0 ? QPoint(v.Right - s / 2, H / 2 + dy)
                            : QPoint(v.Left + s / 2, H / 2 - dy);
    } else {
        const int dx = roundEven((H - s / 2.0L) / (2 * t));
        B = std::sin(a) > 0 ? QPoint(W / 2 + dx, v.Bottom - s / 2)
                            : QPoint(W / 2 - dx, v.Top + s / 2);
    }
    const struct {
        long double phi, r;
    } arrow[7] = {{0, s / 2.0L},          {Pi / 2, s / 2.0L},     {Pi / 2, s / 4.0L},
                  {0.85L * Pi, s / 2.0L}, {1.15L * Pi, s / 2.0L}, {1.5L * Pi, s / 4.0L},
                  {1.5L * Pi, s / 2.0L}};
    QPolygon poly;
    for (const auto &v7 : arrow)
        poly << polar(B, a + v7.phi, v7.r);

    const QSize ext = textExtent(timesFont(8), m.FText);
    const int tw = 5 + ext.width(), th = 5 + ext.height();
    QPoint T;
    if (sideEdge) {
        const int dy = roundEven(t * (W - s - th) / 2.0L);
        T = std::cos(a) > 0 ? QPoint(v.Right - s - tw, H / 2 + dy)
                            : QPoint(v.Left + s + tw, H / 2 - dy);
    } else {
        const int dx = roundEven((H - s - tw) / (2 * t));
        T = std::sin(a) > 0 ? QPoint(W / 2 + dx, v.Bottom - s - th)
                            : QPoint(W / 2 - dx, v.Top + s + th);
    }
    const int hw = tw / 2, hh = th / 2;
    QPolygon oct;
    oct << QPoint(T.x() - hw, T.y() - hh - 5) << QPoint(T.x() + hw, T.y() - hh - 5)
        << QPoint(T.x() + hw + 5, T.y() - hh) << QPoint(T.x() + hw + 5, T.y() + hh)
        << QPoint(T.x() + hw, T.y() + hh + 5) << QPoint(T.x() - hw, T.y() + hh + 5)
        << QPoint(T.x() - hw - 5, T.y() + hh) << QPoint(T.x() - hw - 5, T.y() - hh);

    canvas.setPen(QPen(m.FColor, 3));
    canvas.setBrush(m.FColor);
    canvas.drawPolygon(poly);
    canvas.setPen(QPen(Qt::white, 1));
    canvas.setBrush(Qt::NoBrush);
    canvas.drawPolygon(poly);
    canvas.setPen(QPen(Qt::black, 1));
    canvas.setBrush(QGuiApplication::palette().color(QPalette::ToolTipBase));
    canvas.drawPolygon(oct);
    canvas.setFont(timesFont(8));
    canvas.setPen(Qt::black);
    canvas.drawText(rectLTRB(T.x() - hw, T.y() - hh, T.x() + hw, T.y() + hh),
                    Qt::AlignCenter | Qt::TextDontClip, displayText(m.FText));
}

void drawMarker(QPainter &canvas, const TMapViewport &view, const TMarker &m) {
    if (m.FGeoCoords.Latitude == 0 && m.FGeoCoords.Longitude == 0)
        return;
    const QPoint P = toScreen(view, m.FMapCoords);
    const int s = m.FSize, h = s / 2;
    const TIntRect v = screenView(view);
    if (P.x() >= v.Left - s && P.x() <= v.Right + s && P.y() >= v.Top - s &&
        P.y() <= v.Bottom + s) {
        const QPen passes[2] = {QPen(m.FColor, 3), QPen(Qt::white, 1)};
        for (int pass = 0; pass < 2; ++pass) {
            canvas.setPen(passes[pass]);
            canvas.setBrush(pass == 0 ? QBrush(m.FColor) : QBrush(Qt::NoBrush));
            if (m.objType() == 0)
                canvas.drawEllipse(rectLTRB(P.x() - h, P.y() - h, P.x() + h, P.y() + h));
            else
                canvas.drawPolygon(markerShape(m, P));
        }
    } else if (view.showPointerToNotVisObj()) {
        drawPointer(canvas, view, m, P);
    }
}

void drawTrack(QPainter &canvas, const TMapViewport &view, const TTrack &t) {
    if (t.Count() == 0)
        return;
    const TIntRect v = screenView(view);
    if (t.objType() == 0) {
        std::vector<QPoint> pts;
        std::vector<bool> lost;
        const int last = t.Count() - 1;
        for (int i = 0; i <= last; ++i) {
            const QPoint q = toScreen(view, t.Point(i).MapCoords);
            if (i == 0 || i == last || q != pts.back()) {
                pts.push_back(q);
                lost.push_back(t.Point(i).GPSLost);
            }
        }
        const int pad = t.FSize + 2;
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
                const QColor c =
                    pass == 0 ? QColor(Qt::black) : (lost[i] ? t.FLostColor : t.FColor);
                canvas.setPen(QPen(c, pass == 0 ? t.FSize + 2 : t.FSize, Qt::SolidLine,
                                   Qt::RoundCap, Qt::RoundJoin));
                canvas.drawLine(pts[i - 1], pts[i]);
            }
        }
    } else {
        canvas.setPen(QPen(t.FColor, 1));
        canvas.setBrush(t.FColor);
        bool any = false;
        QPoint prev;
        for (int i = 0; i < t.Count(); ++i) {
            const QPoint q = toScreen(view, t.Point(i).MapCoords);
            if (q.x() < v.Left || q.x() > v.Right || q.y() < v.Top || q.y() > v.Bottom)
                continue;
            if (any && q == prev)
                continue;
            canvas.drawEllipse(
                rectLTRB(q.x() - t.FSize, q.y() - t.FSize, q.x() + t.FSize, q.y() + t.FSize));
            prev = q;
            any = true;
        }
    }
}

void drawLabel(QPainter &canvas, const TMapViewport &view, const TMapLabel &l) {
    const QPoint P = toScreen(view, l.FMapCoords);
    const QSize ext = textExtent(timesFont(l.FSize), l.FText);
    const int w = 5 + ext.width() + 5, h = 5 + ext.height() + 5;
    const int x = P.x(), y = P.y();
    QPolygon poly;
    poly << QPoint(x + 25, y - h - 10) << QPoint(x + w + 15, y - h - 10)
         << QPoint(x + w + 20, y - h - 5) << QPoint(x + w + 20, y - 15)
         << QPoint(x + w + 15, y - 10) << QPoint(x + 25, y - 10) << QPoint(x + 20, y - 15)
         << QPoint(x, y) << QPoint(x + 20, y - h / 3 - 10) << QPoint(x + 20, y - h - 5);
    canvas.setPen(QPen(Qt::black, 1));
    canvas.setBrush(l.FBackColor);
    canvas.drawPolygon(poly);
    canvas.setFont(timesFont(l.FSize));
    canvas.setPen(l.FColor);
    canvas.drawText(rectLTRB(x + 25, y - h - 5, x + w + 10, y - 20),
                    Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, displayText(l.FText));
}

void drawSymbol(QPainter &canvas, const TMapViewport &view, const TMapControlPoint &c) {
    if (c.FGliph.isNull())
        return;
    const QPoint P = toScreen(view, c.FMapCoords);
    canvas.drawImage(P.x() - c.FGliph.width() / 2, P.y() - c.FGliph.height() / 2, c.FGliph);
}

} // namespace

void drawObject(QPainter &canvas, const TMapViewport &view, const TMapObject &obj) {
    if (!obj.FisVisible)
        return;
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    if (const auto *m = dynamic_cast<const TMarker *>(&obj))
        drawMarker(canvas, view, *m);
    else if (const auto *t = dynamic_cast<const TTrack *>(&obj))
        drawTrack(canvas, view, *t);
    else if (const auto *l = dynamic_cast<const TMapLabel *>(&obj))
        drawLabel(canvas, view, *l);
    else if (const auto *c = dynamic_cast<const TMapControlPoint *>(&obj))
        drawSymbol(canvas, view, *c);
    canvas.restore();
}

QImage drawFrame(const TMapPanel &panel) {
    const TMapViewport view = panel.viewport();
    QImage out(panel.size(), QImage::Format_RGB32);
    QPainter canvas(&out);
    canvas.fillRect(out.rect(), Qt::white);
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, view.zoom() >= 0.25L);
    if (panel.mapVisible()) {
        const TIntRect v = view.GetView();
        const double d = double(panel.mapImage().width()) / double(panel.imageSize().width());
        canvas.drawImage(QRectF(0, 0, out.width(), out.height()), panel.mapImage(),
                         QRectF(v.Left * d, v.Top * d, v.width() * d, v.height() * d));
    }
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (const auto &obj : panel.objects())
        drawObject(canvas, view, *obj);
    return out;
}

} // namespace reference
