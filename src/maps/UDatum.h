#pragma once

#include <QString>

#include <array>

// Reference ellipsoids, in the order of their table.
enum TEllipsoidID {
    eAiry1830,
    eAiryMod,
    eAustralian,
    eBessel1841,
    eBesselNamibia,
    eBesselNorway,
    eClarke1858,
    eClarke1866,
    eClarke1880,
    eClarkeIGN,
    eClarkePalestine,
    eEverest1948,
    eEverestIndia,
    eEverestIndia56,
    eEverestMalasia,
    eEverestPakistan,
    eEverestSS,
    eEverestTimbalai,
    eFischer1960,
    eGRS80,
    eHayford,
    eHelmert,
    eHough,
    eIndonesian,
    eInternational,
    eKrasovsky1940,
    eSA1969,
    eWGS72,
    eWGS84,
};

constexpr int EllipsoidCount = eWGS84 + 1;

struct TEllipsoidParams {
    long double a; // semi-major axis, metres
    long double f; // flattening
};

// One entry per TEllipsoidID, in ordinal order.
const std::array<TEllipsoidParams, EllipsoidCount> &EllipsoidTable();

// An ellipsoid with its derived constants, computed once.
class TEllipsoid {
public:
    TEllipsoid(long double aa, long double af);
    explicit TEllipsoid(const TEllipsoidParams &params);
    explicit TEllipsoid(TEllipsoidID id);

    long double fa;   // a
    long double ff;   // f
    long double fe2;  // e^2 = 2f - f^2
    long double fe1;  // (1 - sqrt(1 - e^2)) / (1 + sqrt(1 - e^2))
    long double fee2; // e'^2 = e^2 / (1 - e^2)
};

// A datum as named in map calibration files. The shift parameters are carried along only:
// grid coordinates are turned into latitude and longitude on the datum's own ellipsoid and
// used as they are.
struct TDatumParams {
    QString OziID;
    TEllipsoidID Ellipsoid;
    long double fDX, fDY, fDZ; // metres
    long double fWX, fWY, fWZ; // rotations
    long double fMS;           // scale
};

constexpr int DatumCount = 120;

const std::array<TDatumParams, DatumCount> &DatumTable();

// The first datum whose name equals the given one exactly (case-sensitive); nullptr if none.
const TDatumParams *FindDatum(const QString &oziID);
