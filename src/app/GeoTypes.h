#pragma once

// Positions in minutes of arc (degrees * 60 + minutes), north and east positive, and image
// pixel coordinates; both in extended precision as in the map and track files.
struct TGeoCoords {
    long double Latitude = 0;
    long double Longitude = 0;
};

struct TMapCoords {
    long double X = 0;
    long double Y = 0;
};
