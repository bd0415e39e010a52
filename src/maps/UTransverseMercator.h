#pragma once

#include "app/GeoTypes.h"
#include "maps/UDatum.h"

#include <QString>

#include <memory>
#include <stdexcept>

// Plane grid coordinates of a Transverse Mercator projection, metres.
struct TTransverseMercatorCoords {
    long double Easting = 0;
    long double Northing = 0;
};

// Raised for a datum name the datum table does not know; the map being read is not loaded.
class EDatumError : public std::runtime_error {
public:
    explicit EDatumError(const QString &datumID);
    QString message() const { return QString::fromUtf8(what()); }
};

// Degree/radian factors of the grid formulas, kept as they are so that results stay
// bit-for-bit stable across platforms.
constexpr long double GridPi = 3.14159265358979L;
constexpr long double GridRadToDeg = 57.29577951308237994L;

// Inverse Transverse Mercator (sixth-order series) on the ellipsoid of a datum.
class TTransverseMercatorToLL {
public:
    // Origin in degrees, false easting and northing in metres. Throws EDatumError.
    TTransverseMercatorToLL(const QString &DatumID, long double LatitudeOrigin,
                            long double LongitudeOrigin, long double ScaleFactor,
                            long double FalseEastings, long double FalseNorthings,
                            bool SouthOriented);

    // Grid to latitude and longitude in degrees.
    TGeoCoords Convert(const TTransverseMercatorCoords &TMCoords) const;

    TDatumParams Datum;
    std::unique_ptr<TEllipsoid> Ellipsoid;
    long double k0;
    long double FE;
    long double FN;
    long double x0;
    long double M0;
    bool FSouthOriented;
};

// Meridian distance of a latitude (degrees) on the ellipsoid, metres.
long double MeridianDistance(const TEllipsoid &ellipsoid, long double latitudeDeg);
