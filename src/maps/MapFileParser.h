#pragma once

#include "app/GeoTypes.h"

#include <QPoint>
#include <QString>
#include <QVector>

#include <stdexcept>

// Geographic coordinates of a map image's corners, minutes of arc.
struct TGeoRect {
    TGeoCoords topleft;
    TGeoCoords topright;
    TGeoCoords bottomleft;
    TGeoCoords bottomright;
};

// A calibration point: an image pixel (origin top-left) and its position in minutes of arc.
struct TControlPoint {
    QPoint MapCoords;
    TGeoCoords GeoCoords;
};

using TControlPoints = QVector<TControlPoint>;

// What a map description (.map) file says about its image.
struct TMapDescription {
    QString FileName;      // full path of the image
    QString Name;          // title
    long double Scale = 0; // metres per image pixel
    TGeoRect Boundaries;
    TControlPoints ControlPoints;
    int Width = 0; // image size from the IWH line, 0 without one
    int Height = 0;
};

// A map description file that is missing or not in the expected form.
class EConfigParserError : public std::runtime_error {
public:
    explicit EConfigParserError(const QString &message);
    QString message() const { return QString::fromUtf8(what()); }
};

// A field that is not a number, or a calibration line that is too short for its projection.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString &message);
    QString message() const { return QString::fromUtf8(what()); }
};

class TMapFileParser {
public:
    // Reads the file (Windows-1251, CR LF or LF). Throws EConfigParserError, EDatumError
    // (a Transverse Mercator map on an unknown datum) or EConvertError.
    static TMapDescription Parse(const QString &fileName);

    // Decimal numbers of the file always use "."; the locale plays no part.
    static long double toFloat(const QString &text);
    static int toInt(const QString &text);
};
