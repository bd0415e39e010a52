#pragma once

#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPoint>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unordered_map>
#include <vector>

// Wide round-capped lines written straight into the frame's pixels. A pixel is covered when
// its sample point (the pixel's centre, a hair up and left, as the painter's own aliased
// filling samples) lies closer than half the width to a segment: for each row of a segment
// the covered pixels form one run, from the two end discs and the band between them. This is
// the picture the painter gives for the same lines (its outlines are flattened curves, so a
// few pixels along the edges can fall the other way) at a small part of the cost: a day's
// track is tens of thousands of short segments, each a path to stroke and fill for the
// painter.
class TWideLines {
public:
    // Null when the canvas is not a plain image painted without transform or clipping.
    static QImage *target(QPainter &canvas) {
        QPaintDevice *d = canvas.device();
        if (!d || d->devType() != QInternal::Image || !canvas.transform().isIdentity() ||
            canvas.hasClipping() ||
            canvas.compositionMode() != QPainter::CompositionMode_SourceOver)
            return nullptr;
        auto *img = static_cast<QImage *>(d);
        const QImage::Format f = img->format();
        if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 &&
            f != QImage::Format_ARGB32_Premultiplied)
            return nullptr;
        return img;
    }

    TWideLines(QImage &img, int width)
        : m_bits(img.bits()), m_stride(img.bytesPerLine() / 4), m_w(img.width()), m_h(img.height()),
          m_r(width / 2.0), m_r2(m_r * m_r) {}

    // Segments pts[0]-pts[1], ..., pts[count-2]-pts[count-1] in one opaque colour.
    void draw(const QPoint *pts, size_t count, QRgb colour) const {
        colour |= 0xFF000000u;
        const TShortSegments &table = shortSegments();
        for (size_t i = 1; i < count; ++i) {
            const QPoint &a = pts[i - 1], &b = pts[i];
            const int dx = b.x() - a.x(), dy = b.y() - a.y();
            if (dx == 0 && dy == 0)
                continue; // nothing, as the painter draws for a line without length
            if (std::abs(dx) <= ShortReach && std::abs(dy) <= ShortReach)
                stamp(a, table[size_t((dy + ShortReach) * ShortSide + dx + ShortReach)], colour);
            else
                segment(a, b, colour);
        }
    }

private:
    static constexpr double Offset = 0.5 - 1.0 / 256;
    // The covered runs of a segment from (0, 0) to a whole-pixel vector, row by row.
    struct TSpan {
        int row, from, to;
    };
    using TSpans = std::vector<TSpan>;
    static constexpr int ShortReach = 8;
    static constexpr int ShortSide = 2 * ShortReach + 1;
    using TShortSegments = std::vector<TSpans>;

    // Most segments of a track are a few pixels long: their runs depend only on the vector
    // between their ends, so they are worked out once per width.
    const TShortSegments &shortSegments() const {
        thread_local std::unordered_map<long long, TShortSegments> tables;
        const long long key = std::llround(m_r * 1024);
        auto it = tables.find(key);
        if (it != tables.end())
            return it->second;
        TShortSegments table(size_t(ShortSide * ShortSide));
        for (int dy = -ShortReach; dy <= ShortReach; ++dy)
            for (int dx = -ShortReach; dx <= ShortReach; ++dx) {
                TSpans &spans = table[size_t((dy + ShortReach) * ShortSide + dx + ShortReach)];
                const int top = int(std::floor(std::min(0, dy) - m_r - Offset));
                const int bottom = int(std::ceil(std::max(0, dy) + m_r - Offset));
                for (int j = top; j <= bottom; ++j) {
                    int from, to;
                    if (rowRun(0, 0, dx, dy, j, from, to))
                        spans.push_back({j, from, to});
                }
            }
        return tables.emplace(key, std::move(table)).first->second;
    }

    void stamp(const QPoint &a, const TSpans &spans, QRgb colour) const {
        for (const TSpan &sp : spans) {
            const int j = a.y() + sp.row;
            if (j < 0 || j >= m_h)
                continue;
            const int from = std::max(0, a.x() + sp.from), to = std::min(m_w - 1, a.x() + sp.to);
            QRgb *line = reinterpret_cast<QRgb *>(m_bits) + size_t(j) * size_t(m_stride);
            for (int i = from; i <= to; ++i)
                line[i] = colour;
        }
    }

    void segment(const QPoint &a, const QPoint &b, QRgb colour) const {
        const int top = std::max(0, int(std::floor(std::min(a.y(), b.y()) - m_r - Offset)));
        const int bottom = std::min(m_h - 1, int(std::ceil(std::max(a.y(), b.y()) + m_r - Offset)));
        for (int j = top; j <= bottom; ++j) {
            int from, to;
            if (!rowRun(a.x(), a.y(), b.x(), b.y(), j, from, to))
                continue;
            from = std::max(0, from);
            to = std::min(m_w - 1, to);
            QRgb *line = reinterpret_cast<QRgb *>(m_bits) + size_t(j) * size_t(m_stride);
            for (int i = from; i <= to; ++i)
                line[i] = colour;
        }
    }

    // The pixels of row j covered by the segment from a to b: false when none.
    bool rowRun(double ax, double ay, double bx, double by, int j, int &from, int &to) const {
        const double dx = bx - ax, dy = by - ay;
        const double len2 = dx * dx + dy * dy, len = std::sqrt(len2);
        const double y = j + Offset;
        double lo = HUGE_VAL, hi = -HUGE_VAL;
        const auto disc = [&](double cx, double cy) {
            const double e = y - cy;
            if (e * e < m_r2) {
                const double h = std::sqrt(m_r2 - e * e);
                lo = std::min(lo, cx - h);
                hi = std::max(hi, cx + h);
            }
        };
        disc(ax, ay);
        disc(bx, by);
        // Within half the width of the line and beside the segment, not beyond its ends.
        const double ey = y - ay;
        bool band = len2 > 0;
        double l1 = -HUGE_VAL, h1 = HUGE_VAL, l2 = -HUGE_VAL, h2 = HUGE_VAL;
        if (band) {
            if (dy == 0) {
                band = std::fabs(ey) < m_r;
            } else {
                const double c0 = (dx * ey - m_r * len) / dy, c1 = (dx * ey + m_r * len) / dy;
                l1 = ax + std::min(c0, c1);
                h1 = ax + std::max(c0, c1);
            }
        }
        if (band) {
            if (dx == 0) {
                const double t = ey * dy;
                band = t >= 0 && t <= len2;
            } else {
                const double t0 = -ey * dy / dx, t1 = (len2 - ey * dy) / dx;
                l2 = ax + std::min(t0, t1);
                h2 = ax + std::max(t0, t1);
            }
        }
        if (band) {
            const double l = std::max(l1, l2), h = std::min(h1, h2);
            if (l < h) {
                lo = std::min(lo, l);
                hi = std::max(hi, h);
            }
        }
        if (!(lo < hi))
            return false;
        // Pixels whose sample lies strictly inside (lo, hi).
        from = int(std::floor(lo - Offset)) + 1;
        to = int(std::ceil(hi - Offset)) - 1;
        return from <= to;
    }

    uchar *m_bits;
    qsizetype m_stride;
    int m_w, m_h;
    double m_r, m_r2;
};
