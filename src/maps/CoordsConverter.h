#pragma once

#include "app/GeoTypes.h"
#include "maps/MapFileParser.h"

#include <QString>
#include <QVector>

#include <array>
#include <stdexcept>
#include <vector>

// No binding could be built from a map's calibration points.
class EMapBindingError : public std::runtime_error {
public:
    EMapBindingError();
    QString message() const { return QString::fromUtf8(what()); }
};

// Binds a raster map to the earth through its calibration points: geographic (minutes of arc,
// taken as plane coordinates) to pixel and back. Fewer than six points, or six and more that
// give no usable second-degree solution, bind affinely; each model is solved exactly on
// small subsets of the points (triangles, windows of six) and the solutions are averaged.
class TCoordsConverter {
public:
    TCoordsConverter() = default;
    explicit TCoordsConverter(const TControlPoints &AControlPoints);

    // Throws EMapBindingError when no model could be built; the conversions then give (0, 0).
    void SetControlPoints(const TControlPoints &AControlPoints);

    TMapCoords GeoToMap(const TGeoCoords &coords) const;
    TGeoCoords MapToGeo(const TMapCoords &coords) const;

    const TControlPoints &controlPoints() const { return FControlPoints; }
    // Pixel x and y as functions of (longitude, latitude); latitude and longitude as
    // functions of (pixel x, pixel y). 3 coefficients (affine), 6 (second degree) or none.
    const QVector<long double> &xCoeff() const { return xcoeff; }
    const QVector<long double> &yCoeff() const { return ycoeff; }
    const QVector<long double> &latCoeff() const { return latcoeff; }
    const QVector<long double> &lonCoeff() const { return loncoeff; }

    // The triangle test of the affine model: every vertex's |cosine| below 0.9.
    static bool isAcceptableTriangle(const TGeoCoords &a, const TGeoCoords &b, const TGeoCoords &c);
    // The window test of the second-degree model: false when four of the six positions make
    // two adjoining, nearly degenerate triangles.
    static bool isAcceptableWindow(const TGeoCoords *six);

    // The affine model's triangles (indices into the points, before the triangle test): every
    // triangle once for up to AllTrianglesUpTo points, otherwise max(SampledTriangles, n)
    // triangles spread over all points, so the work stays bounded whatever a file lists.
    static constexpr int AllTrianglesUpTo = 40; // 9880 triangles
    static constexpr int SampledTriangles = 10000;
    static std::vector<std::array<int, 3>> affineTriangles(int n);

private:
    void clear();
    bool buildAffine();
    bool buildSecondDegree();

    TControlPoints FControlPoints;
    QVector<long double> xcoeff;
    QVector<long double> ycoeff;
    QVector<long double> latcoeff;
    QVector<long double> loncoeff;
};
