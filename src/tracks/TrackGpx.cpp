#include "tracks/TrackGpx.h"

#include <QDateTime>
#include <QXmlStreamWriter>

namespace {

bool hasFix(const TCoordData &c) {
    return c.lat * c.lng != 0;
}

QString degrees(long double minutes) {
    return QString::number(static_cast<double>(minutes / 60), 'f', 7);
}

QString utc(TDateTime t) {
    return dt::toQDateTime(t).toUTC().toString(Qt::ISODateWithMs);
}

QString localText(TDateTime t) {
    return dt::formatDateTime(QStringLiteral("dd.mm.yy hh:nn:ss"), t);
}

void writePoint(QXmlStreamWriter &w, const QString &element, const TCoordData &c) {
    w.writeStartElement(element);
    w.writeAttribute(QStringLiteral("lat"), degrees(c.lat));
    w.writeAttribute(QStringLiteral("lon"), degrees(c.lng));
}

} // namespace

QByteArray TrackToGpx(const std::vector<TCoordData> &track, const ArrayTracks &parts,
                      int objectNumber) {
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("gpx"));
    w.writeDefaultNamespace(QStringLiteral("http://www.topografix.com/GPX/1/1"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    w.writeAttribute(QStringLiteral("creator"), QStringLiteral("zarnex-client"));
    const int n = static_cast<int>(track.size());
    const auto valid = [&](const TTrackPart &p) {
        return p.bind >= 0 && p.eind < n && p.bind <= p.eind;
    };

    // Waypoints come before the track in the schema's order.
    int stop = 0;
    for (const TTrackPart &p : parts) {
        if (p.moving || !valid(p))
            continue;
        ++stop;
        for (int j = p.bind; j <= p.eind; ++j) {
            const TCoordData &c = track[size_t(j)];
            if (!hasFix(c))
                continue;
            writePoint(w, QStringLiteral("wpt"), c);
            w.writeTextElement(QStringLiteral("time"), utc(track[size_t(p.bind)].ts));
            w.writeTextElement(QStringLiteral("name"), QStringLiteral("Стоянка %1").arg(stop));
            w.writeTextElement(QStringLiteral("desc"),
                               QStringLiteral("Объект: %1; Начало: %2; Окончание: %3; "
                                              "Длительность: %4")
                                   .arg(QString::number(objectNumber),
                                        localText(track[size_t(p.bind)].ts),
                                        localText(track[size_t(p.eind)].ts),
                                        SecondsTo_hhh_mm_ss(PartSeconds(track, p))));
            w.writeTextElement(QStringLiteral("type"), QStringLiteral("стоянка"));
            w.writeEndElement();
            break;
        }
    }

    w.writeStartElement(QStringLiteral("trk"));
    w.writeTextElement(QStringLiteral("name"), QStringLiteral("Объект № %1").arg(objectNumber));
    for (const TTrackPart &p : parts) {
        if (!p.moving || !valid(p))
            continue;
        w.writeStartElement(QStringLiteral("trkseg"));
        for (int j = p.bind; j <= p.eind; ++j) {
            const TCoordData &c = track[size_t(j)];
            if (!hasFix(c))
                continue;
            writePoint(w, QStringLiteral("trkpt"), c);
            w.writeTextElement(QStringLiteral("time"), utc(c.ts));
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement(); // trk
    w.writeEndElement(); // gpx
    w.writeEndDocument();
    return out;
}
