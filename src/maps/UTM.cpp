#include "maps/UTM.h"

#include "maps/UTransverseMercator.h"

#include <cmath>

TGeoCoords UTMToLL(int Zone, long double Easting, long double Northing, QChar Letter) {
    constexpr long double a = 6378137.0L;
    constexpr long double e2 = 0.00669438L;
    constexpr long double oneMinusE2 = 0.99330562L;
    constexpr long double ee2 = 0.006739496752268450872L;
    constexpr long double aOneMinusE2 = 6335439.32722994L;
    constexpr long double meridianFactor = 6367449.1459450565794L;
    constexpr long double k0 = 0.9996L;

    const long double x = Easting - 500000.0L;
    long double y = Northing;
    if (Letter < QLatin1Char('N'))
        y -= 10000000.0L;

    const long double lambda0 = Zone * 6 - 183;
    const long double mu = y / k0 / meridianFactor;
    const long double e1 = (1 - std::sqrt(oneMinusE2)) / (1 + std::sqrt(oneMinusE2));
    const long double phi1 = mu + (3 * e1 / 2 - 27 * e1 * e1 * e1 / 32) * std::sin(2 * mu) +
                             (21 * e1 * e1 / 16 - 55 * e1 * e1 * e1 * e1 / 32) * std::sin(4 * mu) +
                             (151 * e1 * e1 * e1 / 96) * std::sin(6 * mu);

    const long double sinPhi1 = std::sin(phi1);
    const long double cosPhi1 = std::cos(phi1);
    const long double tanPhi1 = std::tan(phi1);
    const long double w = 1 - e2 * sinPhi1 * sinPhi1;
    const long double N1 = a / std::sqrt(w);
    const long double T1 = tanPhi1 * tanPhi1;
    const long double C1 = ee2 * cosPhi1 * cosPhi1;
    const long double R1 = aOneMinusE2 / std::pow(w, 1.5L);
    const long double D = x / (N1 * k0);
    const long double D2 = D * D;
    const long double D3 = D2 * D;
    const long double D4 = D2 * D2;
    const long double D5 = D4 * D;
    const long double D6 = D3 * D3;

    TGeoCoords result;
    result.Latitude =
        (phi1 -
         (N1 * tanPhi1 / R1) *
             (D2 / 2 - (5 + 3 * T1 + 10 * C1 - 4 * C1 * C1 - 9 * ee2) * D4 / 24 +
              (61 + 90 * T1 + 298 * C1 + 45 * T1 * T1 - 252 * ee2 - 3 * C1 * C1) * D6 / 720)) *
        GridRadToDeg;
    result.Longitude =
        lambda0 + (D - (1 + 2 * T1 + C1) * D3 / 6 +
                   (5 - 2 * C1 + 28 * T1 - 3 * C1 * C1 + 8 * ee2 + 24 * T1 * T1) * D5 / 120) /
                      cosPhi1 * GridRadToDeg;
    return result;
}
