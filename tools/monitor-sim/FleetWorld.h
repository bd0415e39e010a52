#pragma once

// The landscape the try-out's fleet lives in: a town with its streets, a railway with a
// station, a yard and a locomotive depot, a river, villages, forests and the places the
// vehicles go to. The sample maps draw it and the simulator drives on it, so every track
// follows a drawn road or railway. Degrees (WGS 84), north and east. Header only: the map
// generator uses it without the simulator's libraries.

#include <cmath>
#include <cstring>
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

    const TPlace &place(const char *id) const {
        for (const TPlace &p : places)
            if (std::strcmp(p.id, id) == 0)
                return p;
        return places.front();
    }
};

namespace detail {

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
    const TLatLon avW600{55.762, 37.600}, av616{55.762, 37.616}, av640{55.762, 37.640},
        av650{55.762, 37.650}, avEast{55.762, 37.672};
    const TLatLon s600{55.752, 37.600}, s616{55.752, 37.616}, s640{55.752, 37.640},
        s650{55.752, 37.650};
    const TLatLon n600{55.772, 37.600}, garage{55.772, 37.575}, south640{55.742, 37.640},
        site{55.782, 37.640}, square{55.740, 37.648}, sq616{55.745, 37.616};
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
        {K::Street, "", {hwAvenue, avW600, av616, av640, av650, avEast}},
        {K::Road, "", {avEast, {55.764, 37.700}, fuel2, olkhovka, quarry}},
        {K::Street, "", {{55.752, 37.578}, s600, s616, s640, s650}},
        {K::Street, "", {s600, avW600, n600}},
        {K::Street, "", {sq616, s616, av616, {55.776, 37.616}}},
        {K::Road, "", {zarechye, {55.716, 37.640}, south640}},
        {K::Street, "", {south640, s640, av640, site}},
        {K::Street, "", {square, s650, av650}},
        {K::Street, "", {sq616, {55.745, 37.630}, square}},
        {K::Street, "", {hwGarage, garage, n600}},
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

    using A = TAreaKind;
    w.areas = {
        {A::Forest, "", blob({55.955, 37.470}, 3600, 1)},
        {A::Forest, "", blob({55.545, 37.640}, 3000, 2)},
        {A::Forest, "", blob({55.850, 37.820}, 2600, 3)},
        {A::Forest, "", blob({55.640, 37.440}, 2800, 4)},
        {A::Forest, "", blob({55.965, 37.700}, 2400, 5)},
        {A::Forest, "", blob({55.700, 37.800}, 2200, 6)},
        {A::Forest, "", blob({55.815, 37.620}, 1300, 7)},
        {A::Town,
         "Новоград",
         {{55.778, 37.585},
          {55.781, 37.612},
          {55.787, 37.640},
          {55.781, 37.668},
          {55.769, 37.692},
          {55.751, 37.694},
          {55.741, 37.676},
          {55.736, 37.655},
          {55.735, 37.630},
          {55.738, 37.608},
          {55.745, 37.588},
          {55.758, 37.575},
          {55.770, 37.572}}},
        {A::Village, "Заречье", blob({55.699, 37.635}, 900, 11)},
        {A::Village, "Ольховка", blob({55.779, 37.786}, 700, 12)},
        {A::Village, "Берёзовка", blob({55.860, 37.733}, 850, 13)},
        {A::Village, "Сосновка", blob({55.903, 37.428}, 700, 14)},
        {A::Village, "Горки", blob({55.936, 37.616}, 650, 15)},
        {A::Village, "Луговое", blob({55.587, 37.508}, 750, 16)},
        {A::Village, "Красный Бор", blob({55.559, 37.596}, 650, 17)},
        {A::Industrial,
         "",
         {yardOffset(throatW, -60, -30), yardOffset(throatW, yardLength + 60, -30),
          yardOffset(throatW, yardLength + 60, 260), yardOffset(throatW, -60, 260)}},
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
