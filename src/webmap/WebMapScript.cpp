#include "webmap/WebMapScript.h"

#include "app/DateUtils.h"

#include <charconv>
#include <cmath>

namespace webscript {

QString jsonString(const QString &s) {
    QString out;
    out.reserve(s.size() + 2);
    out += QLatin1Char('"');
    const auto hex = [&out](ushort u) {
        out += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
    };
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        const ushort u = c.unicode();
        switch (u) {
        case '"':
            out += QLatin1String("\\\"");
            continue;
        case '\\':
            out += QLatin1String("\\\\");
            continue;
        case '\n':
            out += QLatin1String("\\n");
            continue;
        case '\r':
            out += QLatin1String("\\r");
            continue;
        case '\t':
            out += QLatin1String("\\t");
            continue;
        default:
            break;
        }
        if (u < 0x20 || u == 0x7F || u == 0x2028 || u == 0x2029) {
            hex(u);
        } else if (c.isHighSurrogate()) {
            if (i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
                out += c;
                out += s.at(++i);
            } else {
                hex(u);
            }
        } else if (c.isLowSurrogate()) {
            hex(u);
        } else {
            out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

QString jsonNumber(double v) {
    if (!std::isfinite(v))
        return {};
    if (v == 0)
        return QStringLiteral("0"); // also for -0
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, int(r.ptr - buf));
}

QString call(const QString &name, const QVariantList &args) {
    QString list;
    for (const QVariant &a : args) {
        QString lit;
        switch (a.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
            lit = jsonNumber(a.toDouble());
            if (lit.isEmpty())
                return {};
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Long:
        case QMetaType::Short:
            lit = QString::number(a.toLongLong());
            break;
        default:
            lit = jsonString(a.toString());
            break;
        }
        if (!list.isEmpty())
            list += QLatin1Char(',');
        list += lit;
    }
    const QString fn = QStringLiteral("window[") + jsonString(name) + QLatin1Char(']');
    return QStringLiteral("(function(){var f=") + fn +
           QStringLiteral(";if(typeof f==='function')f.call(window") +
           (list.isEmpty() ? QString() : QStringLiteral(",") + list) + QStringLiteral(");})();");
}

QString readyCheck() {
    return QStringLiteral("(function(){try{var w=window;if(!('RECMapReady' in w))return false;"
                          "return !!w.RECMapReady();}catch(e){return false;}})();");
}

QString init(double lat, double lng) {
    return call(QStringLiteral("init"), {lat, lng});
}
QString markers_clear() {
    return call(QStringLiteral("markers_clear"));
}
QString marker_at(double lat, double lng, int number, const QString &shortName,
                  const QString &caption, const QString &colour) {
    QVariantList args{lat, lng, number, shortName, caption};
    if (!colour.isEmpty())
        args << colour;
    return call(QStringLiteral("marker_at"), args);
}
QString marker_alarm(int number, bool on) {
    return call(QStringLiteral("marker_alarm"), {number, on ? 1 : 0});
}
QString go_to(double lat, double lng) {
    return call(QStringLiteral("go_to"), {lat, lng});
}
QString clear_track() {
    return call(QStringLiteral("clear_track"));
}
QString clear_park() {
    return call(QStringLiteral("clear_park"));
}
QString begin_track() {
    return call(QStringLiteral("begin_track"));
}
QString end_track() {
    return call(QStringLiteral("end_track"));
}
QString put_point_ex(double lat, double lng, const QString &number, const QString &timeText,
                     const QString &speedText) {
    return call(QStringLiteral("put_point_ex"), {lat, lng, number, timeText, speedText});
}
QString put_point(double lat, double lng) {
    return call(QStringLiteral("put_point"), {lat, lng});
}
QString add_park(double lat, double lng, const QString &descriptionHtml) {
    return call(QStringLiteral("add_park"), {lat, lng, descriptionHtml});
}
QString append_track_ex(double lat, double lng, const QString &number, const QString &timeText,
                        const QString &speedText) {
    return call(QStringLiteral("append_track_ex"), {lat, lng, number, timeText, speedText});
}
QString append_track(double lat, double lng) {
    return call(QStringLiteral("append_track"), {lat, lng});
}
QString cleanup_current_track() {
    return call(QStringLiteral("cleanup_current_track"));
}

QString zoom_in() {
    return call(QStringLiteral("zoom_in"));
}
QString zoom_out() {
    return call(QStringLiteral("zoom_out"));
}
QString fit_all() {
    return call(QStringLiteral("fit_all"));
}

QString colourText(const QColor &c) {
    return c.isValid() ? c.name(QColor::HexRgb) : QString();
}

QString markerCaption(double timeStamp) {
    return QStringLiteral("Данные от: ") +
           dt::formatDateTime(QStringLiteral("dd.mm.yy hh:nn:ss"), timeStamp);
}

QString speedText(double kmh) {
    // FormatFloat("0.") rounds half away from zero and spells out the non-finite values.
    QString n;
    if (std::isnan(kmh))
        n = QStringLiteral("NAN");
    else if (std::isinf(kmh))
        n = kmh > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    else
        n = QString::number(std::round(kmh), 'f', 0);
    return n + QStringLiteral(" км/ч");
}

} // namespace webscript
