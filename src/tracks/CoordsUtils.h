#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

#include "app/DateUtils.h"
#include "app/GeoTypes.h"

// The x87 80-bit extended format as stored in the track and device data files: bytes 0..7 the
// significand with its explicit integer bit, bytes 8..9 the sign (bit 15) and the exponent
// biased by 16383. Encoded field by field so the files do not depend on the compiler's
// long double layout.
namespace ext80 {

constexpr int Size = 10;

void encode(long double value, unsigned char out[Size]);
long double decode(const unsigned char in[Size]);

} // namespace ext80

// Round to the nearest integer, a half going to the even neighbour (banker's rounding).
long double roundHalfEven(long double v);

// One decoded position with its time: the form in which a packet's positions arrive.
struct TCoordStamp {
    TGeoCoords Coords;
    TDateTime ts = 0;
};

// The track record: 48 bytes on disk (see toBytes for the layout).
struct TCoordData {
    long double lat = 0; // minutes of arc
    long double lng = 0; // minutes of arc
    TDateTime ts = 0;
    int32_t g24 = 0; // the object's V24Gen signal when the record was written

    static constexpr int RecordSize = 48;

    // lat at 0 and lng at 16 (80-bit, six zero bytes after each), ts at 32 (double), g24 at 40,
    // four zero bytes at 44; little-endian.
    void toBytes(unsigned char out[RecordSize]) const;
    static TCoordData fromBytes(const unsigned char in[RecordSize]);

    TGeoCoords coords() const { return {lat, lng}; }
    // A packet position as a track record, with the object's V24Gen signal.
    static TCoordData from(const TCoordStamp &s, int32_t g24) {
        return {s.Coords.Latitude, s.Coords.Longitude, s.ts, g24};
    }
};

// Ground distance in metres between two positions in minutes of arc: the chord between the two
// points on the WGS 84 ellipsoid, turned into an arc on a sphere of the first point's radius of
// curvature in the prime vertical.
long double GeoDistance(const TGeoCoords &A, const TGeoCoords &B);
long double CoordDistance(const TCoordData &A, const TCoordData &B);
// Average speed in km/h over whole seconds (rounded half to even); the time difference is taken
// in whole milliseconds. Two records less than half a second apart give an IEEE infinity (or
// NaN when they do not move either): the callers decide what such pairs mean.
long double CoordSpeed(const TCoordData &A, const TCoordData &B);

struct TDMSParts {
    unsigned degrees = 0;
    unsigned minutes = 0;
    unsigned seconds = 0;
    unsigned hundredths = 0;
};

// Whole degrees, minutes, seconds and hundredths of a second of |x| (minutes of arc). A
// hundredth count that rounds up to 100 is carried into the seconds (and on upward), so the
// parts are always in range.
TDMSParts SplitMinutes(long double x);
// "55°45'7\"40 " for 3345.1234; a negative value gets a leading "-".
QString FormatDMS(long double x);
// Both members to decimal degrees, quantised to a hundredth of an arc second.
TGeoCoords MinutesToDegrees(const TGeoCoords &c);
long double PlaneDistance(long double x1, long double y1, long double x2, long double y2);
