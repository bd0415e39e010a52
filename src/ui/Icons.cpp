#include "ui/Icons.h"

#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace {

struct TStyle {
    QString fill = QStringLiteral("none");
    QString stroke = QStringLiteral("none");
    double strokeWidth = 1;
};

TStyle styleOf(const QXmlStreamAttributes &a, TStyle s) {
    if (a.hasAttribute(QLatin1String("fill")))
        s.fill = a.value(QLatin1String("fill")).toString();
    if (a.hasAttribute(QLatin1String("stroke")))
        s.stroke = a.value(QLatin1String("stroke")).toString();
    if (a.hasAttribute(QLatin1String("stroke-width")))
        s.strokeWidth = a.value(QLatin1String("stroke-width")).toDouble();
    return s;
}

double num(const QXmlStreamAttributes &a, const char *name) {
    return a.value(QLatin1String(name)).toDouble();
}

// The path data of the subset the shipped drawings use.
QPainterPath parsePath(const QString &d) {
    static const QRegularExpression token(
        QStringLiteral("([MmLlHhVvCcQqZz])|([-+]?(?:\\d*\\.\\d+|\\d+\\.?)(?:[eE][-+]?\\d+)?)"));
    QList<QString> tokens;
    for (auto it = token.globalMatch(d); it.hasNext();)
        tokens << it.next().captured(0);
    QPainterPath p;
    QPointF cur, start;
    QChar cmd;
    int i = 0;
    const auto isNumber = [&](int k) { return k < tokens.size() && !tokens[k].at(0).isLetter(); };
    const auto next = [&] { return i < tokens.size() ? tokens[i++].toDouble() : 0.0; };
    while (i < tokens.size()) {
        if (tokens[i].at(0).isLetter())
            cmd = tokens[i++].at(0);
        else if (cmd.isNull())
            break;
        const bool rel = cmd.isLower();
        const QPointF base = rel ? cur : QPointF();
        switch (cmd.toUpper().unicode()) {
        case 'M': {
            const double x = next(), y = next();
            cur = base + QPointF(x, y);
            p.moveTo(cur);
            start = cur;
            cmd = rel ? QLatin1Char('l') : QLatin1Char('L'); // further pairs draw lines
            break;
        }
        case 'L': {
            const double x = next(), y = next();
            cur = base + QPointF(x, y);
            p.lineTo(cur);
            break;
        }
        case 'H':
            cur.setX((rel ? cur.x() : 0) + next());
            p.lineTo(cur);
            break;
        case 'V':
            cur.setY((rel ? cur.y() : 0) + next());
            p.lineTo(cur);
            break;
        case 'C': {
            double v[6];
            for (double &x : v)
                x = next();
            const QPointF c1 = base + QPointF(v[0], v[1]), c2 = base + QPointF(v[2], v[3]);
            cur = base + QPointF(v[4], v[5]);
            p.cubicTo(c1, c2, cur);
            break;
        }
        case 'Q': {
            double v[4];
            for (double &x : v)
                x = next();
            const QPointF c = base + QPointF(v[0], v[1]);
            cur = base + QPointF(v[2], v[3]);
            p.quadTo(c, cur);
            break;
        }
        case 'Z':
            p.closeSubpath();
            cur = start;
            if (isNumber(i)) // a number after Z is malformed: stop here
                return p;
            continue;
        default:
            return p;
        }
    }
    return p;
}

void draw(QPainter &painter, const QPainterPath &shape, const TStyle &s) {
    painter.setBrush(s.fill == QLatin1String("none") ? QBrush(Qt::NoBrush)
                                                     : QBrush(QColor(s.fill)));
    if (s.stroke == QLatin1String("none"))
        painter.setPen(Qt::NoPen);
    else
        painter.setPen(
            QPen(QColor(s.stroke), s.strokeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(shape);
}

// Renders the drawing into a square pixmap.
QPixmap render(const QByteArray &svg, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter painter(&pm);
    painter.setRenderHint(QPainter::Antialiasing);
    QXmlStreamReader xml(svg);
    TStyle root;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        const QStringView name = xml.name();
        if (name == QLatin1String("svg")) {
            const QStringList box = a.value(QLatin1String("viewBox"))
                                        .toString()
                                        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
            const double w = box.size() == 4 ? box[2].toDouble() : 24;
            painter.scale(size / w, size / w);
            root = styleOf(a, root);
            continue;
        }
        const TStyle s = styleOf(a, root);
        QPainterPath shape;
        if (name == QLatin1String("path")) {
            shape = parsePath(a.value(QLatin1String("d")).toString());
        } else if (name == QLatin1String("circle")) {
            shape.addEllipse(QPointF(num(a, "cx"), num(a, "cy")), num(a, "r"), num(a, "r"));
        } else if (name == QLatin1String("ellipse")) {
            shape.addEllipse(QPointF(num(a, "cx"), num(a, "cy")), num(a, "rx"), num(a, "ry"));
        } else if (name == QLatin1String("rect")) {
            shape.addRoundedRect(
                QRectF(num(a, "x"), num(a, "y"), num(a, "width"), num(a, "height")), num(a, "rx"),
                num(a, "rx"));
        } else {
            continue;
        }
        draw(painter, shape, s);
    }
    return pm;
}

QString shippedFile(const QString &fallback) {
    return QStringLiteral(":/icons/") + fallback + QStringLiteral(".svg");
}

} // namespace

QPixmap ShippedIconPixmap(const QString &fallback, int size) {
    QFile f(shippedFile(fallback));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return render(f.readAll(), size);
}

QIcon AppIcon(const QString &themeName, const QString &fallback) {
    if (QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    static QHash<QString, QIcon> cache;
    if (const auto it = cache.constFind(fallback); it != cache.constEnd())
        return *it;
    QIcon icon;
    if (QImageReader::supportedImageFormats().contains("svg")) {
        icon = QIcon(shippedFile(fallback));
    } else {
        for (int size : {16, 22, 24, 32, 48})
            icon.addPixmap(ShippedIconPixmap(fallback, size));
    }
    cache.insert(fallback, icon);
    return icon;
}
