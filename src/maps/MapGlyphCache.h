#pragma once

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QString>

// Small pictures drawn once and then copied: the marker shapes, the border pointers' arrows
// and captions, the labels, the discs of point tracks. A picture is keyed by everything that
// shapes it relative to its anchor point; copied to a whole-pixel position it gives exactly
// the pixels that drawing it there gives (the shapes have whole-pixel vertices and are drawn
// without antialiasing, and only opaque colours are cached). Each drawing thread keeps its own.
class TGlyphCache {
public:
    struct TGlyph {
        QImage image;
        QPoint offset; // of the image's top-left corner from the anchor
    };

    // `box` holds everything the painting covers, relative to the anchor; paint draws with
    // the anchor at (0, 0).
    template <class Paint>
    static const TGlyph &get(const QByteArray &key, const QRect &box, Paint paint) {
        auto &cache = glyphs();
        if (const auto it = cache.constFind(key); it != cache.constEnd())
            return *it;
        if (cache.size() >= MaxGlyphs)
            cache.clear();
        TGlyph g;
        g.offset = box.topLeft();
        g.image = QImage(box.size(), QImage::Format_ARGB32_Premultiplied);
        g.image.fill(Qt::transparent);
        {
            QPainter p(&g.image);
            p.setRenderHint(QPainter::Antialiasing, false);
            p.translate(-box.left(), -box.top());
            paint(p);
        }
        return *cache.insert(key, g);
    }

    static void draw(QPainter &canvas, const QPoint &anchor, const TGlyph &g) {
        canvas.drawImage(anchor + g.offset, g.image);
    }

    // The cached picture where it lies wholly inside the canvas; across the canvas's edge
    // it is drawn directly, as thin outlines cut by the edge are stepped from the cut.
    template <class Paint>
    static void draw(QPainter &canvas, const QPoint &anchor, const QByteArray &key,
                     const QRect &box, Paint paint) {
        const QPaintDevice *d = canvas.device();
        if (d && QRect(0, 0, d->width(), d->height()).contains(box.translated(anchor))) {
            draw(canvas, anchor, get(key, box, paint));
            return;
        }
        canvas.save();
        canvas.setRenderHint(QPainter::Antialiasing, false);
        canvas.translate(anchor);
        paint(canvas);
        canvas.restore();
    }

private:
    static constexpr int MaxGlyphs = 4096;
    static QHash<QByteArray, TGlyph> &glyphs() {
        thread_local QHash<QByteArray, TGlyph> cache;
        return cache;
    }
};

// Builds a glyph key from whole numbers, colours and texts.
class TKeyBuilder {
public:
    explicit TKeyBuilder(char kind) { m_key.append(kind); }
    TKeyBuilder &operator<<(int v) {
        m_key.append(reinterpret_cast<const char *>(&v), sizeof v);
        return *this;
    }
    TKeyBuilder &operator<<(const QColor &c) { return *this << int(c.rgba()); }
    TKeyBuilder &operator<<(const QPoint &p) { return *this << p.x() << p.y(); }
    TKeyBuilder &operator<<(const QString &t) {
        *this << int(t.size());
        m_key.append(reinterpret_cast<const char *>(t.constData()), t.size() * 2);
        return *this;
    }
    const QByteArray &key() const { return m_key; }

private:
    QByteArray m_key;
};
