#include "maps/CoordsConverter.h"

#include <libalglib/linalg.h>

#include <array>
#include <cmath>

EMapBindingError::EMapBindingError()
    : std::runtime_error(QStringLiteral("Ошибка привязки карты.").toStdString()) {}

namespace {

// t = c0*u + c1*v + c2 through three points.
bool solveThree(const long double u[3], const long double v[3], const long double t[3],
                long double c[3]) {
    const long double d = (v[2] - v[0]) * (u[1] - u[0]) - (v[1] - v[0]) * (u[2] - u[0]);
    if (d == 0)
        return false;
    c[1] = ((t[2] - t[0]) * (u[1] - u[0]) - (t[1] - t[0]) * (u[2] - u[0])) / d;
    if (u[1] != u[0])
        c[0] = ((t[1] - t[0]) - (v[1] - v[0]) * c[1]) / (u[1] - u[0]);
    else if (u[2] != u[0])
        c[0] = ((t[2] - t[0]) - (v[2] - v[0]) * c[1]) / (u[2] - u[0]);
    else
        return false;
    c[2] = t[0] - c[0] * u[0] - c[1] * v[0];
    return true;
}

// Sums the three-point solutions over the accepted triangles and averages them.
struct TAffineSum {
    long double sum[3] = {0, 0, 0};
    int count = 0;
    void add(const long double u[3], const long double v[3], const long double t[3]) {
        long double c[3];
        if (!solveThree(u, v, t, c))
            return;
        for (int i = 0; i < 3; ++i)
            sum[i] += c[i];
        ++count;
    }
    QVector<long double> average() const {
        return {sum[0] / count, sum[1] / count, sum[2] / count};
    }
};

constexpr double InverseBound = 10000000.0;

// Inverts the 6x6 matrix of the rows [1, u, v, u^2, v*u, v^2] (LU with partial pivoting);
// false when it is singular or its inverse has an entry not below the bound.
bool invertWindow(const std::array<std::array<double, 6>, 6> &rows, alglib::real_2d_array &inv) {
    inv.setlength(6, 6);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            inv[r][c] = rows[r][c];
    alglib::integer_1d_array pivots;
    alglib::ae_int_t info = 0;
    alglib::matinvreport report;
    try {
        alglib::rmatrixlu(inv, 6, 6, pivots);
        alglib::rmatrixluinverse(inv, pivots, 6, info, report);
    } catch (const alglib::ap_error &) {
        return false;
    }
    if (info != 1)
        return false;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            if (!(std::fabs(inv[r][c]) < InverseBound))
                return false;
    return true;
}

std::array<double, 6> quadraticRow(long double u, long double v) {
    // Products in floating point: pixel coordinates of large images would overflow 32 bits.
    return {1.0, double(u), double(v), double(u * u), double(v * u), double(v * v)};
}

struct TQuadraticSum {
    long double sum[6] = {0, 0, 0, 0, 0, 0};
    void add(const alglib::real_2d_array &inv, const long double t[6]) {
        for (int r = 0; r < 6; ++r) {
            long double c = 0;
            for (int k = 0; k < 6; ++k)
                c += (long double)inv[r][k] * t[k];
            sum[r] += c;
        }
    }
    QVector<long double> average(int count) const {
        QVector<long double> result(6);
        for (int r = 0; r < 6; ++r)
            result[r] = sum[r] / count;
        return result;
    }
};

long double affineValue(const QVector<long double> &c, long double u, long double v) {
    return c[0] * u + c[1] * v + c[2];
}

long double quadraticValue(const QVector<long double> &c, long double u, long double v) {
    return c[0] + c[1] * u + c[2] * v + c[3] * u * u + c[4] * v * u + c[5] * v * v;
}

} // namespace

TCoordsConverter::TCoordsConverter(const TControlPoints &AControlPoints) {
    SetControlPoints(AControlPoints);
}

void TCoordsConverter::clear() {
    xcoeff.clear();
    ycoeff.clear();
    latcoeff.clear();
    loncoeff.clear();
}

bool TCoordsConverter::isAcceptableTriangle(const TGeoCoords &a, const TGeoCoords &b,
                                            const TGeoCoords &c) {
    auto cosineAt = [](const TGeoCoords &p, const TGeoCoords &q, const TGeoCoords &r,
                       long double &cosine) {
        const long double ux = q.Latitude - p.Latitude, uy = q.Longitude - p.Longitude;
        const long double vx = r.Latitude - p.Latitude, vy = r.Longitude - p.Longitude;
        const long double lu = std::sqrt(ux * ux + uy * uy);
        const long double lv = std::sqrt(vx * vx + vy * vy);
        if (lu == 0 || lv == 0)
            return false;
        cosine = std::fabs(ux * vx + uy * vy) / (lu * lv);
        return true;
    };
    long double ca, cb, cc;
    if (!cosineAt(a, b, c, ca) || !cosineAt(b, c, a, cb) || !cosineAt(c, a, b, cc))
        return false;
    return ca < 0.9L && cb < 0.9L && cc < 0.9L;
}

bool TCoordsConverter::isAcceptableWindow(const TGeoCoords *six) {
    auto area2 = [](const TGeoCoords &p, const TGeoCoords &q, const TGeoCoords &r) {
        return std::fabs((r.Latitude - p.Latitude) * (q.Longitude - p.Longitude) -
                         (q.Latitude - p.Latitude) * (r.Longitude - p.Longitude));
    };
    for (int p = 0; p < 6; ++p)
        for (int q = 0; q < 6; ++q) {
            if (q == p)
                continue;
            for (int r = 0; r < 6; ++r) {
                if (r == p || r == q)
                    continue;
                if (!(area2(six[p], six[q], six[r]) < 30))
                    continue;
                for (int s = 0; s < 6; ++s) {
                    if (s == p || s == q || s == r)
                        continue;
                    if (area2(six[q], six[r], six[s]) < 30)
                        return false;
                }
            }
        }
    return true;
}

std::vector<std::array<int, 3>> TCoordsConverter::affineTriangles(int n) {
    std::vector<std::array<int, 3>> triangles;
    if (n < 3)
        return triangles;
    if (n <= AllTrianglesUpTo) {
        // Every triangle once: the solution does not depend on the order of its corners, so the
        // average over every ordered triple is this average.
        for (int i = 0; i < n; ++i)
            for (int j = i + 1; j < n; ++j)
                for (int k = j + 1; k < n; ++k)
                    triangles.push_back({i, j, k});
        return triangles;
    }
    // Many points (a corner list thousands of lines long): a fixed number of triangles, each
    // point the first corner of its share of them and the other two drawn from all points by a
    // fixed sequence, so the same file always binds the same way. At least one per point.
    const int count = std::max(SampledTriangles, n);
    triangles.reserve(size_t(count));
    quint64 state = 0x9E3779B97F4A7C15ULL;
    auto next = [&state](int bound) {
        // splitmix64
        quint64 z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        z ^= z >> 31;
        return int(z % quint64(bound));
    };
    for (int t = 0; t < count; ++t) {
        const int i = t % n;
        int j = next(n - 1);
        if (j >= i)
            ++j;
        int k = next(n - 2);
        const int lo = std::min(i, j), hi = std::max(i, j);
        if (k >= lo)
            ++k;
        if (k >= hi)
            ++k;
        triangles.push_back({i, j, k});
    }
    return triangles;
}

bool TCoordsConverter::buildAffine() {
    clear();
    const TControlPoints &pts = FControlPoints;
    std::vector<std::array<int, 3>> triangles = affineTriangles(int(pts.size()));
    // Both passes select their triangles by the test on the geographic positions.
    std::erase_if(triangles, [&](const std::array<int, 3> &t) {
        return !isAcceptableTriangle(pts[t[0]].GeoCoords, pts[t[1]].GeoCoords, pts[t[2]].GeoCoords);
    });
    TAffineSum x, y, lat, lon;
    for (const auto &t : triangles) {
        const TControlPoint &a = pts[t[0]], &b = pts[t[1]], &c = pts[t[2]];
        const long double u[3] = {a.GeoCoords.Longitude, b.GeoCoords.Longitude,
                                  c.GeoCoords.Longitude};
        const long double v[3] = {a.GeoCoords.Latitude, b.GeoCoords.Latitude, c.GeoCoords.Latitude};
        const long double tx[3] = {(long double)a.MapCoords.x(), (long double)b.MapCoords.x(),
                                   (long double)c.MapCoords.x()};
        const long double ty[3] = {(long double)a.MapCoords.y(), (long double)b.MapCoords.y(),
                                   (long double)c.MapCoords.y()};
        x.add(u, v, tx);
        y.add(u, v, ty);
    }
    if (x.count == 0 || y.count == 0)
        return false;

    for (const auto &t : triangles) {
        const TControlPoint &a = pts[t[0]], &b = pts[t[1]], &c = pts[t[2]];
        const long double u[3] = {(long double)a.MapCoords.x(), (long double)b.MapCoords.x(),
                                  (long double)c.MapCoords.x()};
        const long double v[3] = {(long double)a.MapCoords.y(), (long double)b.MapCoords.y(),
                                  (long double)c.MapCoords.y()};
        const long double tlat[3] = {a.GeoCoords.Latitude, b.GeoCoords.Latitude,
                                     c.GeoCoords.Latitude};
        const long double tlon[3] = {a.GeoCoords.Longitude, b.GeoCoords.Longitude,
                                     c.GeoCoords.Longitude};
        lat.add(u, v, tlat);
        lon.add(u, v, tlon);
    }
    // A map whose pixel positions admit no solution cannot be read back: no binding at all.
    if (lat.count == 0 || lon.count == 0)
        return false;

    xcoeff = x.average();
    ycoeff = y.average();
    latcoeff = lat.average();
    loncoeff = lon.average();
    return true;
}

bool TCoordsConverter::buildSecondDegree() {
    clear();
    const TControlPoints &pts = FControlPoints;
    const int windows = pts.size() - 5;
    alglib::real_2d_array inv;

    // One direction of the model, fitted over every acceptable window of six points: the rows
    // come from one side of each point (geographic or pixel), the two targets from the other.
    auto fit = [&](bool fromGeo, TQuadraticSum &first, TQuadraticSum &second) {
        int solved = 0;
        for (int w = 0; w < windows; ++w) {
            TGeoCoords geo[6];
            for (int r = 0; r < 6; ++r)
                geo[r] = pts[w + r].GeoCoords;
            if (!isAcceptableWindow(geo))
                continue;
            std::array<std::array<double, 6>, 6> rows;
            long double t1[6], t2[6];
            for (int r = 0; r < 6; ++r) {
                const auto &p = pts[w + r];
                if (fromGeo) {
                    rows[r] = quadraticRow(geo[r].Longitude, geo[r].Latitude);
                    t1[r] = p.MapCoords.x();
                    t2[r] = p.MapCoords.y();
                } else {
                    rows[r] = quadraticRow(p.MapCoords.x(), p.MapCoords.y());
                    t1[r] = geo[r].Latitude;
                    t2[r] = geo[r].Longitude;
                }
            }
            if (!invertWindow(rows, inv))
                continue;
            first.add(inv, t1);
            second.add(inv, t2);
            ++solved;
        }
        return solved;
    };

    TQuadraticSum x, y;
    const int forward = fit(true, x, y);
    if (forward == 0)
        return false;
    TQuadraticSum lat, lon;
    const int inverse = fit(false, lat, lon);
    // Without a pixel-to-geographic solution the model is of no use; the affine one is tried.
    if (inverse == 0)
        return false;

    xcoeff = x.average(forward);
    ycoeff = y.average(forward);
    latcoeff = lat.average(inverse);
    loncoeff = lon.average(inverse);
    return true;
}

void TCoordsConverter::SetControlPoints(const TControlPoints &AControlPoints) {
    FControlPoints = AControlPoints;
    bool built = false;
    if (FControlPoints.size() >= 6)
        built = buildSecondDegree();
    if (!built)
        built = buildAffine();
    auto shaped = [](const QVector<long double> &c) { return c.size() == 3 || c.size() == 6; };
    if (!built || !shaped(xcoeff) || !shaped(ycoeff) || !shaped(latcoeff) || !shaped(loncoeff)) {
        clear();
        throw EMapBindingError();
    }
}

TMapCoords TCoordsConverter::GeoToMap(const TGeoCoords &coords) const {
    TMapCoords result;
    const long double u = coords.Longitude, v = coords.Latitude;
    if (xcoeff.size() == 3 && ycoeff.size() == 3) {
        result.X = affineValue(xcoeff, u, v);
        result.Y = affineValue(ycoeff, u, v);
    } else if (xcoeff.size() == 6 && ycoeff.size() == 6) {
        result.X = quadraticValue(xcoeff, u, v);
        result.Y = quadraticValue(ycoeff, u, v);
    }
    return result;
}

TGeoCoords TCoordsConverter::MapToGeo(const TMapCoords &coords) const {
    TGeoCoords result;
    const long double u = coords.X, v = coords.Y;
    if (latcoeff.size() == 3 && loncoeff.size() == 3) {
        result.Latitude = affineValue(latcoeff, u, v);
        result.Longitude = affineValue(loncoeff, u, v);
    } else if (latcoeff.size() == 6 && loncoeff.size() == 6) {
        result.Latitude = quadraticValue(latcoeff, u, v);
        result.Longitude = quadraticValue(loncoeff, u, v);
    }
    return result;
}
