#pragma once

#include "app/GeoTypes.h"

#include <QChar>

// Inverse UTM on fixed WGS 84 constants: zone, easting and northing (metres) and the
// hemisphere letter ("N" and above north, below "N" south) to latitude and longitude in degrees.
TGeoCoords UTMToLL(int Zone, long double Easting, long double Northing, QChar Letter);
