#pragma once

// The landscape the try-out's fleet lives in: a town with its streets, a railway with a
// station, a yard and a locomotive depot, a river, villages, forests and the places the
// vehicles go to. The sample maps draw it and the simulator drives on it, so every track
// follows a drawn road or railway. Degrees (WGS 84), north and east. Header only: the map
// generator uses it without the simulator's libraries.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace fleetworld {

struct TLatLon {
    double lat, lon; // degrees
};

inline bool operator==(const TLatLon &a, const TLatLon &b) {
    return a.lat == b.lat && a.lon == b.lon;
}

constexpr double MetresPerDegreeLat = 111200.0;
// Metres per degree of longitude at the middle of the area (55°45').
constexpr double MetresPerDegreeLon = 62650.0;

inline double metres(const TLatLon &a, const TLatLon &b) {
    return std::hypot((b.lat - a.lat) * MetresPerDegreeLat, (b.lon - a.lon) * MetresPerDegreeLon);
}

enum class TWayKind { Highway, Road, Street, Rail, YardRail };

inline bool isRail(TWayKind k) {
    return k == TWayKind::Rail || k == TWayKind::YardRail;
}

// A road or a track. Ways meet where they share a point exactly.
struct TWay {
    TWayKind kind;
    const char *name; // a road's number, or empty
    std::vector<TLatLon> points;
};

enum class TAreaKind { Town, Village, Forest, Industrial, Quarry };

struct TArea {
    TAreaKind kind;
    const char *name; // shown on the map when not empty
    std::vector<TLatLon> outline;
};

enum class TPlaceKind { Garage, LocoDepot, FuelStation, FuelPoint, Station, BusStop, Site, Stop };

// A point of a way where the fleet parks, loads, refuels or waits.
struct TPlace {
    const char *id;
    TPlaceKind kind;
    const char *label; // shown on the map when not empty
    TLatLon at;
};

struct TWorld {
    std::vector<TWay> ways;
    std::vector<TArea> areas;
    std::vector<TLatLon> river; // centre line, drawn smoothed
    const char *riverName = "";
    double riverMetres = 70;
    std::vector<TPlace> places;
    // The town's street grid: the streets run along these latitudes and longitudes inside
    // the town, but not through the railway yard.
    std::vector<double> gridLats, gridLons;
    std::vector<TLatLon> town, yard;

    const TPlace &place(const char *id) const {
        for (const TPlace &p : places)
            if (std::strcmp(p.id, id) == 0)
                return p;
        return places.front();
    }
};

// Whether a point lies inside a polygon (even-odd rule).
inline bool inside(const std::vector<TLatLon> &poly, const TLatLon &p) {
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const TLatLon &a = poly[i], &b = poly[j];
        if ((a.lat > p.lat) != (b.lat > p.lat) &&
            p.lon < (b.lon - a.lon) * (p.lat - a.lat) / (b.lat - a.lat) + a.lon)
            in = !in;
    }
    return in;
}

namespace detail {

// The stretches of a line of latitude (or longitude) inside a polygon: pairs of longitudes
// (or latitudes), in order.
inline std::vector<std::pair<double, double>> insideStretches(const std::vector<TLatLon> &poly,
                                                              double at, bool alongLatitude) {
    std::vector<double> cuts;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const double a0 = alongLatitude ? poly[i].lat : poly[i].lon,
                     b0 = alongLatitude ? poly[j].lat : poly[j].lon;
        const double a1 = alongLatitude ? poly[i].lon : poly[i].lat,
                     b1 = alongLatitude ? poly[j].lon : poly[j].lat;
        if ((a0 > at) != (b0 > at))
            cuts.push_back(a1 + (b1 - a1) * (at - a0) / (b0 - a0));
    }
    std::sort(cuts.begin(), cuts.end());
    std::vector<std::pair<double, double>> out;
    for (size_t i = 0; i + 1 < cuts.size(); i += 2)
        out.emplace_back(cuts[i], cuts[i + 1]);
    return out;
}

// Streets along the grid lines, inside the town and outside the yard. Every crossing of two
// grid lines is a point of both streets, so that they meet.
inline void addTownGrid(TWorld &w, const std::vector<double> &mainLats,
                        const std::vector<double> &mainLons) {
    for (bool alongLatitude : {true, false}) {
        const std::vector<double> &lines = alongLatitude ? w.gridLats : w.gridLons;
        const std::vector<double> &cross = alongLatitude ? w.gridLons : w.gridLats;
        const std::vector<double> &main = alongLatitude ? mainLats : mainLons;
        for (double at : lines) {
            std::vector<std::pair<double, double>> keep;
            for (auto [a, b] : insideStretches(w.town, at, alongLatitude)) {
                // Cut out the yard.
                auto yard = insideStretches(w.yard, at, alongLatitude);
                for (auto [c, d] : yard) {
                    if (d <= a || c >= b)
                        continue;
                    if (c > a)
                        keep.emplace_back(a, c);
                    a = std::max(a, d);
                }
                if (b > a)
                    keep.emplace_back(a, b);
            }
            const bool isMain = std::find(main.begin(), main.end(), at) != main.end();
            for (auto [a, b] : keep) {
                const double span =
                    (b - a) * (alongLatitude ? MetresPerDegreeLon : MetresPerDegreeLat);
                if (span < 150)
                    continue;
                std::vector<TLatLon> pts;
                auto put = [&](double v) {
                    pts.push_back(alongLatitude ? TLatLon{at, v} : TLatLon{v, at});
                };
                // The ends stop short of the town's edge and the yard's fence.
                const double margin =
                    25 / (alongLatitude ? MetresPerDegreeLon : MetresPerDegreeLat);
                bool first = true;
                for (double v : cross) {
                    if (v <= a || v >= b)
                        continue;
                    if (first && v - a > 2 * margin)
                        put(a + margin);
                    first = false;
                    put(v);
                }
                if (pts.empty())
                    continue;
                const double last = alongLatitude ? pts.back().lon : pts.back().lat;
                if (b - last > 2 * margin)
                    put(b - margin);
                if (pts.size() >= 2)
                    w.ways.push_back({isMain ? TWayKind::Road : TWayKind::Street, "", pts});
            }
        }
    }
}

// A point moved along the yard's axis and across it (to the south-east), in metres.
inline TLatLon yardOffset(const TLatLon &p, double along, double across) {
    // The yard runs from its western to its eastern throat: 1557 m north, 1378 m east.
    const double n = 0.749, e = 0.663; // unit vector along the yard
    return {p.lat + (along * n - across * e) / MetresPerDegreeLat,
            p.lon + (along * e + across * n) / MetresPerDegreeLon};
}

// An irregular, roughly round outline of a settlement or a wood.
inline std::vector<TLatLon> blob(const TLatLon &c, double radiusMetres, int seed) {
    std::vector<TLatLon> out;
    for (int i = 0; i < 11; ++i) {
        const double a = i * 2 * M_PI / 11;
        const double r = radiusMetres * (0.78 + 0.22 * std::sin(seed * 1.7 + i * 2.3) +
                                         0.12 * std::cos(seed * 0.9 + i * 4.1));
        out.push_back({c.lat + r * std::sin(a) / MetresPerDegreeLat,
                       c.lon + r * std::cos(a) / MetresPerDegreeLon});
    }
    return out;
}

inline TWorld makeWorld() {
    TWorld w;
    using K = TWayKind;

    // Junctions, shared by the ways that meet there.
    const TLatLon hwLugovoe{55.585, 37.5342}, hwZarechye{55.700, 37.5515}, hwAvenue{55.762, 37.561},
        hwGarage{55.772, 37.5615}, hwFuel{55.790, 37.5636}, hwSosnovka{55.880, 37.580},
        hwGorki{55.930, 37.590};
    // Points of the town's street grid (below).
    const TLatLon av616{55.762, 37.616}, av640{55.762, 37.640}, avEast{55.762, 37.672};
    const TLatLon s616{55.752, 37.616}, s640{55.752, 37.640};
    const TLatLon garage{55.772, 37.575}, south640{55.742, 37.640}, site{55.782, 37.640},
        square{55.740, 37.648};
    const TLatLon zarechye{55.700, 37.640}, olkhovka{55.778, 37.790}, quarry{55.798, 37.832},
        fuel2{55.770, 37.740}, berezovka{55.860, 37.738}, sosnovka{55.902, 37.432},
        gorki{55.934, 37.612}, lugovoe{55.586, 37.505}, krasnyBor{55.560, 37.600};

    w.ways = {
        {K::Highway,
         "Р-132",
         {{55.499, 37.515},
          {55.560, 37.530},
          hwLugovoe,
          {55.620, 37.540},
          {55.680, 37.548},
          hwZarechye,
          {55.720, 37.555},
          hwAvenue,
          hwGarage,
          hwFuel,
          {55.830, 37.570},
          hwSosnovka,
          hwGorki,
          {56.001, 37.600}}},
        {K::Road, "", {hwAvenue, {55.762, 37.580}}},
        {K::Road, "", {avEast, {55.764, 37.700}, fuel2, olkhovka, quarry}},
        {K::Road, "", {zarechye, {55.716, 37.640}, south640}},
        {K::Street, "", {square, {55.742, 37.650}}},
        {K::Street, "", {hwGarage, garage, {55.772, 37.580}}},
        {K::Road, "", {site, {55.805, 37.672}, {55.835, 37.712}, berezovka}},
        {K::Road, "", {berezovka, {55.900, 37.690}, gorki}},
        {K::Road, "", {hwSosnovka, {55.885, 37.540}, {55.895, 37.480}, sosnovka}},
        {K::Road, "", {hwGorki, gorki}},
        {K::Road, "", {hwLugovoe, lugovoe}},
        {K::Road, "", {zarechye, {55.660, 37.630}, {55.610, 37.615}, krasnyBor}},
        {K::Road, "", {zarechye, {55.702, 37.600}, hwZarechye}},
    };

    // The main line, its station in the town and the yard between two throats.
    const TLatLon stLugovaya{55.585, 37.500}, stNovograd{55.738, 37.650}, throatW{55.742, 37.656},
        throatE{55.756, 37.678}, stBerezovka{55.862, 37.748};
    w.ways.push_back(
        {K::Rail, "", {{55.497, 37.430}, {55.540, 37.465}, stLugovaya,       {55.625, 37.540},
                       {55.660, 37.575}, {55.690, 37.605}, {55.712, 37.628}, {55.724, 37.636},
                       stNovograd,       throatW,          {55.749, 37.667}, throatE,
                       {55.766, 37.692}, {55.790, 37.712}, {55.820, 37.730}, stBerezovka,
                       {55.900, 37.775}, {55.940, 37.800}, {55.975, 37.825}, {56.003, 37.845}}});
    constexpr double yardLength = 2080; // metres between the throats
    std::vector<TLatLon> yardMiddles;
    TLatLon track5East{};
    for (int k = 1; k <= 5; ++k) {
        const double in = 150 + 40 * k, across = 40 * k;
        const TLatLon a = yardOffset(throatW, in, across);
        const TLatLon m = yardOffset(throatW, yardLength / 2, across);
        const TLatLon b = yardOffset(throatW, yardLength - in, across);
        w.ways.push_back({K::YardRail, "", {throatW, a, m, b, throatE}});
        yardMiddles.push_back(m);
        track5East = b;
    }
    const TLatLon fuelPoint = yardOffset(track5East, -40, 90);
    const TLatLon locoDepot = yardOffset(track5East, -110, 170);
    w.ways.push_back({K::YardRail, "", {track5East, fuelPoint, locoDepot}});

    w.river = {{55.995, 37.372}, {55.960, 37.400}, {55.925, 37.418}, {55.890, 37.445},
               {55.858, 37.470}, {55.828, 37.488}, {55.800, 37.512}, {55.776, 37.540},
               {55.752, 37.566}, {55.738, 37.590}, {55.732, 37.615}, {55.733, 37.640},
               {55.726, 37.662}, {55.710, 37.683}, {55.690, 37.700}, {55.665, 37.722},
               {55.640, 37.748}, {55.610, 37.770}, {55.580, 37.790}, {55.550, 37.815},
               {55.520, 37.842}, {55.497, 37.870}};
    w.riverName = "р. Вела";

    w.town = {{55.778, 37.585}, {55.781, 37.612}, {55.787, 37.640}, {55.781, 37.668},
              {55.769, 37.692}, {55.751, 37.694}, {55.741, 37.676}, {55.736, 37.655},
              {55.735, 37.630}, {55.738, 37.608}, {55.745, 37.588}, {55.758, 37.575},
              {55.770, 37.572}};
    w.yard = {yardOffset(throatW, -120, -80), yardOffset(throatW, yardLength + 120, -80),
              yardOffset(throatW, yardLength + 120, 470), yardOffset(throatW, -120, 470)};
    w.gridLats = {55.742,  55.745, 55.7485, 55.752,  55.7555, 55.759, 55.762,
                  55.7655, 55.769, 55.772,  55.7755, 55.779,  55.782};
    w.gridLons = {37.580, 37.587, 37.594, 37.600, 37.608, 37.616, 37.624,
                  37.632, 37.640, 37.650, 37.658, 37.666, 37.672, 37.680};
    // The avenue and the two streets that lead out of town are wider.
    addTownGrid(w, {55.762}, {37.616, 37.640});

    using A = TAreaKind;
    w.areas = {
        {A::Forest, "", blob({55.955, 37.470}, 3600, 1)},
        {A::Forest, "", blob({55.545, 37.640}, 3000, 2)},
        {A::Forest, "", blob({55.850, 37.820}, 2600, 3)},
        {A::Forest, "", blob({55.640, 37.440}, 2800, 4)},
        {A::Forest, "", blob({55.965, 37.700}, 2400, 5)},
        {A::Forest, "", blob({55.700, 37.800}, 2200, 6)},
        {A::Forest, "", blob({55.815, 37.620}, 1300, 7)},
        {A::Forest, "", blob({55.880, 37.650}, 1700, 8)},
        {A::Forest, "", blob({55.610, 37.700}, 1900, 9)},
        {A::Forest, "", blob({55.760, 37.460}, 2100, 10)},
        {A::Forest, "", blob({55.930, 37.840}, 1500, 23)},
        {A::Forest, "", blob({55.520, 37.480}, 1600, 24)},
        {A::Town, "Новоград", w.town},
        {A::Village, "Заречье", blob({55.699, 37.635}, 1200, 11)},
        {A::Village, "Ольховка", blob({55.779, 37.786}, 1000, 12)},
        {A::Village, "Берёзовка", blob({55.860, 37.733}, 1100, 13)},
        {A::Village, "Сосновка", blob({55.903, 37.428}, 950, 14)},
        {A::Village, "Горки", blob({55.936, 37.616}, 900, 15)},
        {A::Village, "Луговое", blob({55.587, 37.508}, 1000, 16)},
        {A::Village, "Красный Бор", blob({55.559, 37.596}, 900, 17)},
        {A::Industrial,
         "",
         {yardOffset(throatW, -60, -30), yardOffset(throatW, yardLength + 60, -30),
          yardOffset(throatW, yardLength + 60, 420), yardOffset(throatW, -60, 420)}},
        {A::Quarry, "Карьер", blob({55.801, 37.838}, 420, 21)},
        {A::Industrial, "Стройплощадка", blob({55.7835, 37.6435}, 160, 22)},
    };

    using P = TPlaceKind;
    w.places = {
        {"garage", P::Garage, "Автобаза", garage},
        {"loco_depot", P::LocoDepot, "Депо", locoDepot},
        {"fuel_point", P::FuelPoint, "", fuelPoint},
        {"fuel_highway", P::FuelStation, "АЗС", hwFuel},
        {"fuel_east", P::FuelStation, "АЗС", fuel2},
        {"st_novograd", P::Station, "ст. Новоград", stNovograd},
        {"st_berezovka", P::Station, "ст. Берёзовка", stBerezovka},
        {"st_lugovaya", P::Station, "ст. Луговая", stLugovaya},
        {"throat_w", P::Stop, "", throatW},
        {"throat_e", P::Stop, "", throatE},
        {"yard1", P::Stop, "", yardMiddles[0]},
        {"yard2", P::Stop, "", yardMiddles[1]},
        {"yard3", P::Stop, "", yardMiddles[2]},
        {"yard4", P::Stop, "", yardMiddles[3]},
        {"yard5", P::Stop, "", yardMiddles[4]},
        {"bus_station", P::BusStop, "Автостанция", av616},
        {"zarechye", P::BusStop, "", zarechye},
        {"olkhovka", P::BusStop, "", olkhovka},
        {"berezovka", P::BusStop, "", berezovka},
        {"sosnovka", P::Stop, "", sosnovka},
        {"gorki", P::BusStop, "", gorki},
        {"lugovoe", P::Stop, "", lugovoe},
        {"krasny_bor", P::Stop, "", krasnyBor},
        {"quarry", P::Site, "", quarry},
        {"site", P::Site, "", site},
        {"market", P::Stop, "", s616},
        {"stop_av640", P::BusStop, "", av640},
        {"stop_s640", P::BusStop, "", s640},
        {"stop_south", P::BusStop, "", {55.716, 37.640}},
        {"stop_east", P::BusStop, "", {55.764, 37.700}},
        {"stop_b1", P::BusStop, "", {55.805, 37.672}},
        {"stop_b2", P::BusStop, "", {55.835, 37.712}},
        {"stop_square", P::BusStop, "", square},
    };
    return w;
}

} // namespace detail

inline const TWorld &World() {
    static const TWorld w = detail::makeWorld();
    return w;
}

} // namespace fleetworld
