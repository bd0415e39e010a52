#include "maps/UTransverseMercator.h"

#include <cmath>

EDatumError::EDatumError(const QString &datumID)
    : std::runtime_error(
          (QStringLiteral("Ошибка привявзки карты. Неподдерживаемый датум: ") + datumID)
              .toStdString()) {}

long double MeridianDistance(const TEllipsoid &el, long double latitudeDeg) {
    const long double e2 = el.fe2;
    const long double e4 = e2 * e2;
    const long double e6 = e4 * e2;
    const long double phi = latitudeDeg * GridPi / 180.0L;
    return el.fa * ((1 - e2 / 4 - 3 * e4 / 64 - 5 * e6 / 256) * phi -
                    (3 * e2 / 8 + 3 * e4 / 32 + 45 * e6 / 1024) * std::sin(2 * phi) +
                    (15 * e4 / 256 + 45 * e6 / 1024) * std::sin(4 * phi) -
                    (35 * e6 / 3072) * std::sin(6 * phi));
}

TTransverseMercatorToLL::TTransverseMercatorToLL(const QString &DatumID, long double LatitudeOrigin,
                                                 long double LongitudeOrigin,
                                                 long double ScaleFactor, long double FalseEastings,
                                                 long double FalseNorthings, bool SouthOriented) {
    const TDatumParams *datum = FindDatum(DatumID);
    if (!datum)
        throw EDatumError(DatumID);
    Datum = *datum;
    Ellipsoid = std::make_unique<TEllipsoid>(Datum.Ellipsoid);
    k0 = ScaleFactor;
    FE = FalseEastings;
    FN = FalseNorthings;
    x0 = LongitudeOrigin;
    M0 = MeridianDistance(*Ellipsoid, LatitudeOrigin);
    FSouthOriented = SouthOriented;
}

TGeoCoords TTransverseMercatorToLL::Convert(const TTransverseMercatorCoords &TMCoords) const {
    const long double a = Ellipsoid->fa;
    const long double e2 = Ellipsoid->fe2;
    const long double e4 = e2 * e2;
    const long double e6 = e4 * e2;
    const long double e1 = Ellipsoid->fe1;
    const long double ee2 = Ellipsoid->fee2;

    long double x = TMCoords.Easting - FE;
    long double y = TMCoords.Northing - FN;
    if (FSouthOriented) {
        x = -x;
        y = -y;
    }

    const long double M = M0 + y / k0;
    const long double mu = M / (a * (1 - e2 / 4 - 3 * e4 / 64 - 5 * e6 / 256));

    const long double s2 = std::sin(2 * mu);
    const long double c2 = std::cos(2 * mu);
    const long double s4 = 2 * s2 * c2;
    const long double s6 = s2 * (3 - 4 * s2 * s2);
    const long double s8 = 4 * s2 * c2 * (1 - 2 * s2 * s2);
    const long double phi1 = mu + (3 * e1 / 2 - 27 * e1 * e1 * e1 / 32) * s2 +
                             (21 * e1 * e1 / 16 - 55 * e1 * e1 * e1 * e1 / 32) * s4 +
                             (151 * e1 * e1 * e1 / 96) * s6 + (1097 * e1 * e1 * e1 * e1 / 512) * s8;

    const long double sinPhi1 = std::sin(phi1);
    const long double cosPhi1 = std::cos(phi1);
    const long double tanPhi1 = std::tan(phi1);
    const long double w = 1 - e2 * sinPhi1 * sinPhi1;
    const long double N1 = a / std::sqrt(w);
    const long double T1 = tanPhi1 * tanPhi1;
    const long double C1 = ee2 * cosPhi1 * cosPhi1;
    const long double D = x / (N1 * k0);
    const long double D2 = D * D;
    const long double D3 = D2 * D;
    const long double D4 = D2 * D2;
    const long double D5 = D4 * D;
    const long double D6 = D3 * D3;
    const long double NoverR = w / (1 - e2);

    TGeoCoords result;
    result.Latitude =
        (phi1 -
         tanPhi1 * NoverR *
             (D2 / 2 - (5 + 3 * T1 + 10 * C1 - 4 * C1 * C1 - 9 * ee2) * D4 / 24 +
              (61 + 90 * T1 + 298 * C1 + 45 * T1 * T1 - 252 * ee2 - 3 * C1 * C1) * D6 / 720)) *
        GridRadToDeg;
    result.Longitude = (D - (1 + 2 * T1 + C1) * D3 / 6 +
                        (5 - 2 * C1 + 28 * T1 - 3 * C1 * C1 + 8 * ee2 + 24 * T1 * T1) * D5 / 120) /
                           cosPhi1 * GridRadToDeg +
                       x0;
    return result;
}
