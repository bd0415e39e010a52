#include "maps/MapFileParser.h"

#include "app/Cp1251.h"
#include "maps/UTM.h"
#include "maps/UTransverseMercator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <charconv>
#include <cmath>
#include <memory>

EConfigParserError::EConfigParserError(const QString &message)
    : std::runtime_error(message.toStdString()) {}

EConvertError::EConvertError(const QString &message) : std::runtime_error(message.toStdString()) {}

long double TMapFileParser::toFloat(const QString &text) {
    const QByteArray bytes = text.toLatin1();
    const char *begin = bytes.constData();
    const char *end = begin + bytes.size();
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-')
        ++begin;
    long double value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (bytes.isEmpty() || ec != std::errc() || ptr != end || !std::isfinite(value) ||
        text.size() != bytes.size())
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return value;
}

int TMapFileParser::toInt(const QString &text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

namespace {

QRegularExpression re(const char *pattern) {
    return QRegularExpression(QString::fromLatin1(pattern),
                              QRegularExpression::CaseInsensitiveOption);
}

[[noreturn]] void notAMapFile(const QString &fileName) {
    throw EConfigParserError(
        QStringLiteral("Файл не является файлом конфигурации карты или поврежден:\r\n%1")
            .arg(fileName));
}

QStringList readLines(const QString &fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EConfigParserError(
            QStringLiteral("Не найден файл конфигурации карты:\r\n%1").arg(fileName));
    QString text = cp1251::decode(file.readAll());
    QStringList lines = text.split(QLatin1Char('\n'));
    // A final line break ends the last line rather than starting an empty one.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

bool isAbsoluteImagePath(const QString &path) {
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    return drive.match(path).hasMatch() || path.startsWith(QLatin1String("\\\\")) ||
           path.startsWith(QLatin1Char('/'));
}

// Image paths in map files are usually Windows paths. A relative one is relative to the map
// file's folder; an absolute one that does not exist here (another machine's drive) falls back
// to the bare file name in that folder.
QString resolveImagePath(const QString &mapFile, const QString &line) {
    const QString folder = QFileInfo(mapFile).absolutePath();
    if (isAbsoluteImagePath(line)) {
        QString path = line;
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (QFileInfo::exists(path))
            return path;
        const QString bare = path.section(QLatin1Char('/'), -1);
        return QDir::cleanPath(folder + QLatin1Char('/') + bare);
    }
    QString relative = line;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(folder + QLatin1Char('/') + relative);
}

// The fields of one calibration line; a field past the end is an error of the line, as a
// list read out of bounds would be.
class TFields {
public:
    explicit TFields(QString line) {
        line.remove(QRegularExpression(QStringLiteral("\\s")));
        m_fields = line.split(QLatin1Char(','));
    }
    const QString &at(int index) const {
        if (index < 0 || index >= m_fields.size())
            throw EConvertError(QStringLiteral("List index out of bounds (%1)").arg(index));
        return m_fields.at(index);
    }
    // True when every listed field is non-empty; stops at the first empty one.
    bool allPresent(std::initializer_list<int> indices) const {
        for (int index : indices) {
            if (at(index).isEmpty())
                return false;
        }
        return true;
    }

private:
    QStringList m_fields;
};

struct TGridPoint {
    int index; // into the control-point list
    long double easting;
    long double northing;
};

} // namespace

TMapDescription TMapFileParser::Parse(const QString &fileName) {
    if (!QFileInfo(fileName).isFile())
        throw EConfigParserError(
            QStringLiteral("Не найден файл конфигурации карты:\r\n%1").arg(fileName));
    const QStringList lines = readLines(fileName);

    static const QRegularExpression header = re("^OziExplorer Map Data File Version \\d+.\\d+$");
    if (lines.size() < 44 || !header.match(lines.at(0)).hasMatch())
        notAMapFile(fileName);

    // Any line the format requires beyond the end of the file makes it a damaged file.
    auto line = [&](int index) -> const QString & {
        if (index < 0 || index >= lines.size())
            notAMapFile(fileName);
        return lines.at(index);
    };

    TMapDescription map;
    map.Name = lines.at(1);
    map.FileName = resolveImagePath(fileName, lines.at(2));

    static const QRegularExpression datumRe = re("^([^,]+)");
    const QRegularExpressionMatch datumMatch = datumRe.match(lines.at(4));
    const QString datumName = datumMatch.hasMatch() ? datumMatch.captured(1) : QString();

    static const QRegularExpression projectionRe = re("Map Projection,\\s*([\\w\\s\\(\\)/]+)");
    const QRegularExpressionMatch projectionMatch = projectionRe.match(lines.at(8));
    if (!projectionMatch.hasMatch())
        notAMapFile(fileName);
    const QString projection = projectionMatch.captured(1);
    int kind;
    if (projection == QLatin1String("Latitude/Longitude"))
        kind = 0;
    else if (projection == QLatin1String("Transverse Mercator"))
        kind = 1;
    else if (projection == QLatin1String("(UTM) Universal Transverse Mercator"))
        kind = 2;
    else
        throw EConfigParserError(
            QStringLiteral(
                "Файл: %1\r\nФормат привязки карты '%2' в данный момент не поддерживается")
                .arg(fileName, projection));

    QVector<TGridPoint> gridPoints;
    for (int i = 9; i <= 38; ++i) {
        const TFields f(lines.at(i));
        auto addLatLon = [&]() {
            TControlPoint point;
            point.MapCoords = QPoint(toInt(f.at(2)), toInt(f.at(3)));
            point.GeoCoords.Latitude = toFloat(f.at(6)) * 60 + toFloat(f.at(7));
            point.GeoCoords.Longitude = toFloat(f.at(9)) * 60 + toFloat(f.at(10));
            map.ControlPoints.append(point);
        };
        if (kind == 0) {
            if (f.allPresent({2, 3, 6, 7, 9, 10}))
                addLatLon();
        } else if (kind == 1) {
            if (f.allPresent({2, 3, 14, 15})) {
                TControlPoint point;
                point.MapCoords = QPoint(toInt(f.at(2)), toInt(f.at(3)));
                gridPoints.append(
                    {int(map.ControlPoints.size()), toFloat(f.at(14)), toFloat(f.at(15))});
                map.ControlPoints.append(point);
            }
        } else {
            if (f.allPresent({2, 3, 6, 7, 9, 10})) {
                addLatLon();
            } else if (f.allPresent({2, 3, 13, 14, 15, 16})) {
                const QChar letter =
                    f.at(16) == QLatin1String("N") ? QLatin1Char('N') : QLatin1Char('A');
                const TGeoCoords deg =
                    UTMToLL(toInt(f.at(13)), toFloat(f.at(14)), toFloat(f.at(15)), letter);
                TControlPoint point;
                point.MapCoords = QPoint(toInt(f.at(2)), toInt(f.at(3)));
                point.GeoCoords.Latitude = deg.Latitude * 60;
                point.GeoCoords.Longitude = deg.Longitude * 60;
                map.ControlPoints.append(point);
            }
        }
    }

    static const QRegularExpression setupRe =
        re("Projection Setup,\\s*(\\d+\\.\\d+)?\\s*,\\s*(\\d+\\.\\d+)?\\s*,\\s*(\\d+\\.\\d+)?"
           "\\s*,\\s*(\\d+\\.\\d+)?\\s*,\\s*(\\d+\\.\\d+)?\\s*");
    const QRegularExpressionMatch setup = setupRe.match(lines.at(39));
    if (!setup.hasMatch())
        notAMapFile(fileName);

    if (kind == 1) {
        const TTransverseMercatorToLL tm(datumName, toFloat(setup.captured(1)),
                                         toFloat(setup.captured(2)), toFloat(setup.captured(3)),
                                         toFloat(setup.captured(4)), toFloat(setup.captured(5)),
                                         false);
        for (const TGridPoint &grid : gridPoints) {
            const TGeoCoords deg = tm.Convert({grid.easting, grid.northing});
            map.ControlPoints[grid.index].GeoCoords.Latitude = deg.Latitude * 60;
            map.ControlPoints[grid.index].GeoCoords.Longitude = deg.Longitude * 60;
        }
    }

    // Optional sections: map features (3 lines each) and comments (2 lines each), then the
    // track file block, then the moving-map header and its first line.
    static const QRegularExpression featureRe = re("^(MF|MC)");
    static const QRegularExpression trackFileRe = re("^Track File");
    static const QRegularExpression trackLineRe = re("^TF");
    int pos = 41;
    for (;;) {
        const QRegularExpressionMatch m = featureRe.match(line(pos));
        if (!m.hasMatch())
            break;
        pos += m.captured(1).compare(QLatin1String("MF"), Qt::CaseInsensitive) == 0 ? 3 : 2;
    }
    if (trackFileRe.match(line(pos)).hasMatch()) {
        ++pos;
        while (trackLineRe.match(line(pos)).hasMatch())
            ++pos;
    }
    pos += 2;

    static const QRegularExpression numRe = re("MMPNUM,(\\d+)");
    const QRegularExpressionMatch numMatch = numRe.match(line(pos));
    const int n = numMatch.hasMatch() ? toInt(numMatch.captured(1)) : 0;
    ++pos;
    // Both corner lists must fit in the file before anything is allocated for them.
    if (n > (lines.size() - pos) / 2)
        notAMapFile(fileName);

    // Corner points: pixel positions first, then their longitudes and latitudes, each line
    // naming the corner it belongs to (1-based, at most n).
    TControlPoints corners(n);
    static const QRegularExpression xyRe = re("MMPXY,(\\d+),(\\d+),(\\d+)");
    static const QRegularExpression llRe =
        re("MMPLL,(\\d+),\\s*(\\d+\\.\\d+)\\s*,\\s*(\\d+\\.\\d+)\\s*");
    for (int i = 0; i < n; ++i) {
        const QRegularExpressionMatch m = xyRe.match(line(pos + i));
        if (!m.hasMatch())
            notAMapFile(fileName);
        const int index = toInt(m.captured(1));
        if (index < 1 || index > n)
            notAMapFile(fileName);
        corners[index - 1].MapCoords = QPoint(toInt(m.captured(2)), toInt(m.captured(3)));
    }
    pos += n;
    for (int i = 0; i < n; ++i) {
        const QRegularExpressionMatch m = llRe.match(line(pos + i));
        if (!m.hasMatch())
            notAMapFile(fileName);
        const int index = toInt(m.captured(1));
        if (index < 1 || index > n)
            notAMapFile(fileName);
        TGeoCoords geo;
        geo.Longitude = toFloat(m.captured(2)) * 60;
        geo.Latitude = toFloat(m.captured(3)) * 60;
        corners[index - 1].GeoCoords = geo;
        switch (index) {
        case 1:
            map.Boundaries.topleft = geo;
            break;
        case 2:
            map.Boundaries.topright = geo;
            break;
        case 3:
            map.Boundaries.bottomright = geo;
            break;
        case 4:
            map.Boundaries.bottomleft = geo;
            break;
        default:
            break;
        }
    }
    pos += n;

    static const QRegularExpression scaleRe = re("MM1B,\\s*(\\d+\\.\\d+)");
    const QRegularExpressionMatch scaleMatch = scaleRe.match(line(pos));
    if (!scaleMatch.hasMatch())
        notAMapFile(fileName);
    map.Scale = toFloat(scaleMatch.captured(1));
    ++pos;

    static const QRegularExpression sizeRe =
        re("IWH,Map Image Width/Height,\\s*(\\d+)\\s*,\\s*(\\d+)\\s*");
    for (; pos < lines.size(); ++pos) {
        const QRegularExpressionMatch m = sizeRe.match(lines.at(pos));
        if (m.hasMatch()) {
            map.Width = toInt(m.captured(1));
            map.Height = toInt(m.captured(2));
            break;
        }
    }

    map.ControlPoints += corners;
    return map;
}
