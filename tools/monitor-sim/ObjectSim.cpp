#include "ObjectSim.h"

#include "FleetWorld.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <queue>
#include <tuple>

using fleetworld::TLatLon;
using fleetworld::TWayKind;

namespace {
constexpr double MetresPerMinute = 1852.0;
constexpr double Pi = 3.14159265358979323846;
constexpr double Day = 86400;
constexpr int EpochDays = 28; // four weeks from a Monday
// A drained object stands this long before (the thieves come to a parked vehicle) and after
// (so that the drain's end can be seen before it leaves).
constexpr double HoldBeforeDrain = 3 * 60;
constexpr double HoldAfterDrain = 15 * 60;

double metresBetween(double lat1, double lon1, double lat2, double lon2) {
    const double k = std::cos((lat1 + lat2) / 2 / 60 * Pi / 180);
    const double dy = (lat2 - lat1) * MetresPerMinute;
    const double dx = (lon2 - lon1) * MetresPerMinute * k;
    return std::hypot(dx, dy);
}

// Deterministic randomness: every choice is a hash of the seed, the object, the day and what
// is chosen, so a day comes out the same however often and in whatever order it is asked for.
uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

uint64_t hash(uint64_t a, uint64_t b, uint64_t c = 0, uint64_t d = 0) {
    return mix(a ^ mix(b ^ mix(c ^ mix(d))));
}

double unit(uint64_t h) {
    return double(h >> 11) * (1.0 / 9007199254740992.0);
}

class TRng {
public:
    explicit TRng(uint64_t seed) : m_state(seed) {}
    double uniform() { return unit(mix(m_state += 0x632BE59BD9B4E019ULL)); }
    double range(double a, double b) { return a + (b - a) * uniform(); }
    bool chance(double p) { return uniform() < p; }
    int below(int n) { return std::min(n - 1, int(uniform() * n)); }

private:
    uint64_t m_state;
};

// The ways of one kind (roads or tracks) as a graph of their points.
class TGraph {
public:
    struct TEdge {
        int to;
        double metres;
        TWayKind kind;
    };

    explicit TGraph(bool rail) {
        for (const fleetworld::TWay &w : fleetworld::World().ways) {
            if (fleetworld::isRail(w.kind) != rail)
                continue;
            int prev = -1;
            for (const TLatLon &p : w.points) {
                const int n = node(p);
                if (prev >= 0 && prev != n) {
                    const double m = fleetworld::metres(m_nodes[prev], p);
                    m_adj[prev].push_back({n, m, w.kind});
                    m_adj[n].push_back({prev, m, w.kind});
                }
                prev = n;
            }
        }
    }

    const TLatLon &at(int n) const { return m_nodes[size_t(n)]; }
    const std::vector<TEdge> &edges(int n) const { return m_adj[size_t(n)]; }

    int nearest(const TLatLon &p) const {
        int best = 0;
        double bestM = std::numeric_limits<double>::infinity();
        for (size_t i = 0; i < m_nodes.size(); ++i) {
            const double m = fleetworld::metres(m_nodes[i], p);
            if (m < bestM) {
                bestM = m;
                best = int(i);
            }
        }
        return best;
    }

    // The quickest way from one point to another; speeds per kind of way.
    template <class Speed> std::vector<int> route(int from, int to, Speed speed) const {
        std::vector<double> cost(m_nodes.size(), std::numeric_limits<double>::infinity());
        std::vector<int> back(m_nodes.size(), -1);
        using Item = std::pair<double, int>;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
        cost[size_t(from)] = 0;
        open.push({0, from});
        while (!open.empty()) {
            const auto [c, n] = open.top();
            open.pop();
            if (c > cost[size_t(n)])
                continue;
            if (n == to)
                break;
            for (const TEdge &e : m_adj[size_t(n)]) {
                const double next = c + e.metres / speed(e.kind);
                if (next < cost[size_t(e.to)]) {
                    cost[size_t(e.to)] = next;
                    back[size_t(e.to)] = n;
                    open.push({next, e.to});
                }
            }
        }
        std::vector<int> path;
        for (int n = to; n >= 0; n = back[size_t(n)]) {
            path.push_back(n);
            if (n == from)
                break;
        }
        std::reverse(path.begin(), path.end());
        if (path.empty() || path.front() != from)
            return {from};
        return path;
    }

    TWayKind kindBetween(int a, int b) const {
        for (const TEdge &e : m_adj[size_t(a)])
            if (e.to == b)
                return e.kind;
        return TWayKind::Street;
    }

private:
    int node(const TLatLon &p) {
        for (size_t i = 0; i < m_nodes.size(); ++i)
            if (m_nodes[i] == p)
                return int(i);
        m_nodes.push_back(p);
        m_adj.emplace_back();
        return int(m_nodes.size()) - 1;
    }

    std::vector<TLatLon> m_nodes;
    std::vector<std::vector<TEdge>> m_adj;
};

const TGraph &roads() {
    static const TGraph g(false);
    return g;
}
const TGraph &rails() {
    static const TGraph g(true);
    return g;
}

const TLatLon &placeAt(const char *id) {
    return fleetworld::World().place(id).at;
}

bool isBusStop(const TLatLon &p) {
    for (const fleetworld::TPlace &pl : fleetworld::World().places)
        if (pl.kind == fleetworld::TPlaceKind::BusStop && pl.at == p)
            return true;
    return false;
}

double kindSpeed(TWayKind k) {
    switch (k) {
    case TWayKind::Highway:
        return 80;
    case TWayKind::Road:
        return 60;
    case TWayKind::Street:
        return 40;
    case TWayKind::Rail:
        return 60;
    case TWayKind::YardRail:
        return 12;
    }
    return 40;
}

// Litres per kilometre, per hour while driving and per hour with the engine idling.
struct TRates {
    double perKm = 0, drivePerHour = 0, idlePerHour = 0;
};

TRates ratesOf(TRole role) {
    switch (role) {
    case TRole::Shunter:
        return {0, 45, 14};
    case TRole::Mainline:
        return {0, 120, 18};
    case TRole::Bus:
        return {0.26, 0, 2.5};
    case TRole::Delivery:
        return {0.20, 0, 1.8};
    case TRole::Dumper:
        return {0.38, 0, 3.0};
    case TRole::Parked:
        return {0, 0, 4.0};
    case TRole::Loop:
        return {0.30, 0, 2.0};
    }
    return {};
}

// The fraction of a tank's volume below a level (fraction of its height).
double cylinderVolume(double h) {
    const double theta = 2 * std::acos(1 - 2 * std::clamp(h, 0.0, 1.0));
    return (theta - std::sin(theta)) / (2 * Pi);
}
double boxVolume(double h) {
    return 0.85 * h + 0.15 * h * h;
}

// A tank's table: the sensor reads the level linearly from r0 (empty) to r1 (full).
std::vector<std::pair<int, double>> tankTable(int tank, int r0, int r1, int points,
                                              double (*shape)(double)) {
    std::vector<std::pair<int, double>> t;
    for (int i = 0; i < points; ++i) {
        const double h = double(i) / (points - 1);
        t.emplace_back(int(std::lround(r0 + (r1 - r0) * h)), std::round(tank * shape(h) * 10) / 10);
    }
    return t;
}

} // namespace

// One planned day: what the object does from local midnight to the next.
struct TObjectSim::TDay {
    enum class TKind { Park, Idle, Drive, Refuel };
    struct TDrive {
        std::vector<TLatLon> points;
        std::vector<double> at;  // seconds from the drive's start at each point
        std::vector<double> kmh; // speed of the piece that ends at each point
    };
    struct TSeg {
        double t0 = 0, t1 = 0; // UTC seconds
        TKind kind = TKind::Park;
        TLatLon pos{};
        int drive = -1;
        double use = 0; // litres the segment burns
        double fuel0 = 0, fuel1 = 0;
    };
    double start = 0;
    std::vector<TSeg> segs;
    std::vector<TDrive> drives;
    double startLevel = 0, endLevel = 0;
    double gpsFrom = 0, gpsTo = 0; // the device has no fix
    double alertAt = -1;           // the alarm button is pressed for 20 s
};

namespace {

using TDay = TObjectSim::TDay;
using TKind = TDay::TKind;

// Builds one day step by step: stand, idle, drive somewhere, refuel.
class TPlanner {
public:
    TPlanner(TDay &day, TRole role, double topKmh, uint64_t seed)
        : m_day(day), m_rates(ratesOf(role)), m_top(topKmh), m_rng(seed),
          m_rail(role == TRole::Shunter || role == TRole::Mainline), m_bus(role == TRole::Bus) {
        t = day.start;
    }

    double t = 0;
    TLatLon pos{};

    TRng &rng() { return m_rng; }
    double at(double hours) const { return m_day.start + hours * 3600; }
    double used() const { return m_used; }

    void park(double until) { stand(until, TKind::Park); }
    void parkFor(double seconds) { stand(t + seconds, TKind::Park); }
    void idle(double until) { stand(until, TKind::Idle); }
    void idleFor(double seconds) { stand(t + seconds, TKind::Idle); }
    int refuel(double seconds) {
        stand(t + seconds, TKind::Refuel);
        return int(m_day.segs.size()) - 1;
    }

    // Drives to a point of the graph along the quickest way, and on to a parking spot beside
    // it when one is given.
    void driveTo(const TLatLon &dest, const TLatLon *spot = nullptr) {
        const TGraph &g = m_rail ? rails() : roads();
        const int from = g.nearest(pos), to = g.nearest(dest);
        auto speed = [this](TWayKind k) { return pieceTop(k); };
        const std::vector<int> path = g.route(from, to, speed);
        std::vector<TLatLon> pts{pos};
        std::vector<double> kmh{0};
        auto add = [&](const TLatLon &p, double v) {
            if (fleetworld::metres(pts.back(), p) < 0.5)
                return;
            pts.push_back(p);
            kmh.push_back(v * m_rng.range(0.82, 1.0));
        };
        if (!(g.at(from) == pos))
            add(g.at(from), 10);
        for (size_t i = 1; i < path.size(); ++i) {
            const TWayKind k = g.kindBetween(path[i - 1], path[i]);
            add(g.at(path[i]), pieceTop(k));
            if (i + 1 == path.size())
                break;
            // Stops on the way: a bus at its stops, road vehicles at the town's crossings.
            double wait = 0;
            if (m_bus && isBusStop(g.at(path[i])))
                wait = m_rng.range(25, 45);
            else if (!m_rail && k == TWayKind::Street && g.edges(path[i]).size() >= 3 &&
                     m_rng.chance(0.3))
                wait = m_rng.range(12, 40);
            if (wait > 0) {
                emitDrive(pts, kmh);
                idleFor(wait);
                pts = {pos};
                kmh = {0};
            }
        }
        if (spot)
            add(*spot, 8);
        emitDrive(pts, kmh);
    }

private:
    double pieceTop(TWayKind k) const {
        double v = std::min(kindSpeed(k), m_top);
        if (m_rail && k == TWayKind::YardRail)
            v = std::min(v, 12.0);
        return v;
    }

    void stand(double until, TKind kind) {
        if (until <= t)
            return;
        TDay::TSeg s;
        s.t0 = t;
        s.t1 = until;
        s.kind = kind;
        s.pos = pos;
        if (kind == TKind::Idle)
            s.use = (until - t) / 3600 * m_rates.idlePerHour;
        add(s);
    }

    void emitDrive(const std::vector<TLatLon> &pts, const std::vector<double> &kmh) {
        if (pts.size() < 2)
            return;
        TDay::TDrive d;
        d.points = pts;
        d.kmh = kmh;
        d.at.push_back(0);
        double metres = 0;
        for (size_t i = 1; i < pts.size(); ++i) {
            const double m = fleetworld::metres(pts[i - 1], pts[i]);
            metres += m;
            d.at.push_back(d.at.back() + m / (std::max(kmh[i], 3.0) / 3.6));
        }
        TDay::TSeg s;
        s.t0 = t;
        s.t1 = t + d.at.back();
        s.kind = TKind::Drive;
        s.pos = pts.back();
        s.drive = int(m_day.drives.size());
        s.use = metres / 1000 * m_rates.perKm + d.at.back() / 3600 * m_rates.drivePerHour;
        m_day.drives.push_back(std::move(d));
        add(s);
        pos = pts.back();
    }

    void add(const TDay::TSeg &s) {
        m_day.segs.push_back(s);
        m_used += s.use;
        t = s.t1;
    }

    TDay &m_day;
    TRates m_rates;
    double m_top;
    TRng m_rng;
    bool m_rail, m_bus;
    double m_used = 0;
};

// A parking spot a few metres from a place, along its first way, so that vehicles at home
// stand side by side on the map and still on the road (or track).
TLatLon spotNear(const char *placeId, bool rail, int slot) {
    const TGraph &g = rail ? rails() : roads();
    const int n = g.nearest(placeAt(placeId));
    const TLatLon a = g.at(n);
    if (slot == 0 || g.edges(n).empty())
        return a;
    const TLatLon b = g.at(g.edges(n).front().to);
    const double m = fleetworld::metres(a, b);
    const double f = m > 0 ? std::min(0.4, 18.0 * slot / m) : 0;
    return {a.lat + (b.lat - a.lat) * f, a.lon + (b.lon - a.lon) * f};
}

} // namespace

TObjectSim::TObjectSim(const TObjectConfig &config, uint64_t seed)
    : m_config(config), m_seed(seed) {
    m_calibration = config.calibration;
    if (m_calibration.size() < 2)
        m_calibration = {{0, 0.0}, {sensorMax(), double(config.tankLitres)}};
    std::sort(m_config.drains.begin(), m_config.drains.end(),
              [](const TDrainFault &a, const TDrainFault &b) { return a.atUtc < b.atUtc; });

    // A loop of about 3 x 2 km with one bend, kept inside the map area with a margin.
    const double k = std::cos(config.lat / 60 * Pi / 180);
    const double offsets[][2] = {{0, 0}, {0, 3000}, {1200, 3600}, {2000, 2500}, {2000, 0}};
    // Objects with odd numbers go the other way round, so not everything moves alike.
    const double sign = (config.number % 2) ? -1.0 : 1.0;
    for (const auto &o : offsets) {
        double lat = config.lat + sign * o[0] / MetresPerMinute;
        double lon = config.lon + sign * o[1] / (MetresPerMinute * k);
        lat = std::clamp(lat, MinLat + 0.5, MaxLat - 0.5);
        lon = std::clamp(lon, MinLon + 0.5, MaxLon - 0.5);
        m_route.push_back({lat, lon});
    }
    m_route.push_back(m_route.front());
    m_cumulative.push_back(0);
    for (size_t i = 1; i < m_route.size(); ++i)
        m_cumulative.push_back(m_cumulative.back() + metresBetween(m_route[i - 1].lat,
                                                                   m_route[i - 1].lon,
                                                                   m_route[i].lat, m_route[i].lon));
    m_lapMetres = m_cumulative.back();
}

TObjectSim::TObjectSim(const TObjectSim &other) : TObjectSim(other.m_config, other.m_seed) {}

TObjectSim::~TObjectSim() = default;

int TObjectSim::sensorMax() const {
    return m_config.form == QLatin1String("long") ? 4095 : 1023;
}

double TObjectSim::litresFor(int reading) const {
    const auto &c = m_calibration;
    if (reading <= c.front().first)
        return c.front().second;
    for (size_t i = 1; i < c.size(); ++i)
        if (reading <= c[i].first)
            return c[i - 1].second + (c[i].second - c[i - 1].second) * (reading - c[i - 1].first) /
                                         double(c[i].first - c[i - 1].first);
    return c.back().second;
}

double TObjectSim::readingFor(double litres) const {
    const auto &c = m_calibration;
    if (litres <= c.front().second)
        return c.front().first;
    for (size_t i = 1; i < c.size(); ++i)
        if (litres <= c[i].second && c[i].second > c[i - 1].second)
            return c[i - 1].first + (c[i].first - c[i - 1].first) * (litres - c[i - 1].second) /
                                        (c[i].second - c[i - 1].second);
    return c.back().first;
}

const TObjectSim::TDay &TObjectSim::day(int64_t localDay) const {
    // Epochs begin on Mondays (1970-01-01 was a Thursday).
    const int64_t epoch = localDay - (((localDay + 3) % EpochDays) + EpochDays) % EpochDays;
    auto &days = m_epochs[epoch];
    const uint64_t who = uint64_t(m_config.number);
    const double tank = m_config.tankLitres;
    const TRole role = m_config.role;
    // The level an epoch starts with; a parked crane keeps its own.
    auto epochLevel = [&](int64_t e) {
        if (role == TRole::Parked)
            return tank * (0.55 + 0.1 * unit(hash(m_seed, who, 77)));
        return tank * (0.94 + 0.03 * unit(hash(m_seed, who, uint64_t(e), 78)));
    };
    while (int64_t(days.size()) <= localDay - epoch) {
        const int64_t d = epoch + int64_t(days.size());
        auto plan = std::make_unique<TDay>();
        TDay &p = *plan;
        p.start = double(d) * Day - m_config.timeZoneHours * 3600.0;
        p.startLevel = days.empty() ? epochLevel(epoch) : days.back()->endLevel;
        const int weekday = int(((d + 3) % 7 + 7) % 7); // Monday 0
        const bool closing = d == epoch + EpochDays - 1;
        const double closingLevel = epochLevel(epoch + EpochDays);
        TPlanner pl(p, role, m_config.speedKmh, hash(m_seed, who, uint64_t(d), 1));
        TRng &rng = pl.rng();

        const char *home = "garage";
        int slot = 0;
        const char *fuel = "fuel_highway";
        double threshold = 0.72;
        switch (role) {
        case TRole::Shunter:
        case TRole::Mainline:
            home = "loco_depot";
            slot = role == TRole::Shunter ? 0 : 1;
            fuel = "fuel_point";
            threshold = 0.85;
            break;
        case TRole::Bus:
            slot = 0;
            break;
        case TRole::Delivery:
            slot = 1;
            break;
        case TRole::Dumper:
            slot = 2;
            break;
        case TRole::Parked:
            home = "site";
            slot = 1;
            break;
        case TRole::Loop:
            break;
        }
        const bool onRails = role == TRole::Shunter || role == TRole::Mainline;
        const TLatLon homeSpot = spotNear(home, onRails, slot);
        pl.pos = homeSpot;

        // Days off: the van's Sundays, the dump truck's weekends, a locomotive without trains
        // and a dump truck under repair now and then.
        bool works = role != TRole::Parked && role != TRole::Loop;
        if (role == TRole::Delivery && (weekday == 6 || rng.chance(0.08)))
            works = false;
        if (role == TRole::Dumper && (weekday >= 5 || rng.chance(0.1)))
            works = false;
        if (role == TRole::Mainline && rng.chance(0.15))
            works = false;

        // The tank is brought to `level` by a refuelling; the closing one of an epoch meets the
        // level the next epoch starts with.
        int refuelSeg = -1;
        double wanted = 0;
        if (!works) {
            if (role == TRole::Parked) {
                // The crane's engine is started now and then, standing where it is.
                if (rng.chance(0.35)) {
                    pl.park(pl.at(rng.range(8.5, 11)));
                    pl.idleFor(rng.range(600, 1500));
                }
                if (rng.chance(0.1)) {
                    pl.park(pl.at(rng.range(14, 16)));
                    pl.idleFor(rng.range(300, 900));
                }
            }
            if (closing && pl.t < pl.at(10)) {
                // The tanker comes to wherever it stands.
                pl.park(pl.at(10 + rng.range(0, 1)));
                refuelSeg = pl.refuel(rng.range(600, 900));
                wanted = closingLevel;
            }
        } else if (role == TRole::Shunter) {
            pl.park(pl.at(6.5 + rng.range(0, 0.4)));
            pl.idleFor(rng.range(900, 1500));
            const char *spots[] = {"yard1",    "yard2",    "yard3",       "yard4",     "yard5",
                                   "throat_w", "throat_e", "st_novograd", "fuel_point"};
            const double end = pl.at(18.5 + rng.range(0, 0.7));
            bool lunch = false;
            int last = -1;
            while (pl.t < end) {
                if (!lunch && pl.t > pl.at(12)) {
                    pl.driveTo(placeAt(home), &homeSpot);
                    pl.parkFor(rng.range(2700, 3600));
                    lunch = true;
                    continue;
                }
                int next = rng.below(9);
                if (next == last)
                    next = (next + 1) % 9;
                last = next;
                pl.driveTo(placeAt(spots[next]));
                if (rng.chance(0.2))
                    pl.parkFor(rng.range(600, 1800));
                else
                    pl.idleFor(rng.range(180, 1200));
            }
        } else if (role == TRole::Mainline) {
            pl.park(pl.at(7 + rng.range(0, 0.6)));
            pl.idleFor(rng.range(900, 1500));
            // Trains leave the town's station on a timetable; between them the locomotive
            // waits in the yard or, at noon, in the depot.
            const double departures[] = {8.3, 13.2, 17.0};
            const int trips = rng.chance(0.3) ? 3 : 2;
            for (int i = 0; i < trips; ++i) {
                pl.driveTo(placeAt("st_novograd"));
                const double leave = pl.at(departures[i] + rng.range(0, 0.5));
                if (pl.t < leave - 1200) {
                    pl.idleFor(rng.range(300, 600));
                    pl.park(leave - 300);
                }
                pl.idle(leave);
                pl.driveTo(placeAt(rng.chance(0.5) ? "st_berezovka" : "st_lugovaya"));
                pl.idleFor(rng.range(1200, 2400));
                if (rng.chance(0.4))
                    pl.parkFor(rng.range(600, 1800));
                pl.driveTo(placeAt("st_novograd"));
                pl.idleFor(rng.range(300, 600));
                pl.driveTo(placeAt(rng.chance(0.5) ? "yard2" : "yard4"));
                pl.idleFor(rng.range(600, 1500));
                if (i == 0) {
                    pl.driveTo(placeAt(home), &homeSpot);
                    pl.parkFor(rng.range(2400, 3600));
                    pl.idleFor(rng.range(300, 600));
                }
            }
        } else if (role == TRole::Bus) {
            pl.park(pl.at(5.8 + rng.range(0, 0.3)));
            pl.idleFor(rng.range(400, 700));
            pl.driveTo(placeAt("bus_station"));
            pl.idleFor(rng.range(200, 400));
            const char *ends[] = {"zarechye", "olkhovka", "berezovka"};
            bool lunch = false;
            for (int i = 0; pl.t < pl.at(18); ++i) {
                pl.driveTo(placeAt(ends[i % 3]));
                pl.idleFor(rng.range(60, 180));
                pl.parkFor(rng.range(600, 1100));
                pl.idleFor(rng.range(60, 120));
                pl.driveTo(placeAt("bus_station"));
                if (!lunch && pl.t > pl.at(12.3)) {
                    pl.parkFor(rng.range(2400, 3000));
                    lunch = true;
                } else {
                    pl.parkFor(rng.range(700, 1300));
                }
                pl.idleFor(rng.range(60, 150));
            }
            if (rng.chance(0.12))
                p.alertAt = pl.at(rng.range(9, 17));
        } else if (role == TRole::Delivery) {
            pl.park(pl.at(7.5 + rng.range(0, 0.75)));
            pl.idleFor(rng.range(300, 600));
            const char *customers[] = {"sosnovka", "gorki",   "berezovka",  "olkhovka",
                                       "zarechye", "lugovoe", "krasny_bor", "market",
                                       "site",     "quarry"};
            const int visits = 6 + rng.below(4);
            int last = -1;
            bool lunch = false;
            for (int i = 0; i < visits && pl.t < pl.at(17); ++i) {
                int c = rng.below(10);
                if (c == last)
                    c = (c + 1) % 10;
                last = c;
                pl.driveTo(placeAt(customers[c]));
                if (rng.chance(0.5))
                    pl.idleFor(rng.range(60, 180));
                pl.parkFor(rng.range(1200, 3600));
                if (!lunch && pl.t > pl.at(12.5)) {
                    pl.parkFor(rng.range(1800, 2700));
                    lunch = true;
                }
                pl.idleFor(rng.range(30, 120));
            }
            // The GPS antenna's cable: the fix is lost for a while every working day.
            p.gpsFrom = pl.at(rng.range(10.5, 14.5));
            p.gpsTo = p.gpsFrom + rng.range(900, 2400);
        } else if (role == TRole::Dumper) {
            pl.park(pl.at(7 + rng.range(0, 0.5)));
            pl.idleFor(rng.range(400, 800));
            const int cycles = 7 + rng.below(3);
            bool lunch = false;
            for (int i = 0; i < cycles && pl.t < pl.at(17.3); ++i) {
                pl.driveTo(placeAt("quarry"));
                pl.idleFor(rng.range(600, 1200)); // loading
                pl.driveTo(placeAt("site"));
                pl.idleFor(rng.range(240, 480)); // tipping
                if (!lunch && pl.t > pl.at(12)) {
                    pl.parkFor(rng.range(2400, 3300));
                    lunch = true;
                }
            }
        }

        if (works) {
            // Home, refuelling on the way when the tank is low (or the epoch ends).
            const double level = p.startLevel - pl.used();
            if (closing || level < threshold * tank) {
                pl.driveTo(placeAt(fuel));
                pl.idleFor(rng.range(30, 90));
                refuelSeg = pl.refuel(
                    rng.range(role == TRole::Shunter || role == TRole::Mainline ? 1200 : 360,
                              role == TRole::Shunter || role == TRole::Mainline ? 1800 : 660));
                wanted = closing ? closingLevel : tank * rng.range(0.86, 0.93);
                pl.idleFor(rng.range(30, 90));
            }
            pl.driveTo(placeAt(home), &homeSpot);
            pl.idleFor(rng.range(60, 300));
        } else if (closing && refuelSeg < 0 && role != TRole::Loop) {
            pl.park(pl.at(std::max(10.0, (pl.t - p.start) / 3600)));
            refuelSeg = pl.refuel(600);
            wanted = closingLevel;
        }
        pl.park(p.start + Day);
        if (!p.segs.empty())
            p.segs.back().t1 = p.start + Day;

        // The levels: what each segment burns, and a refuelling that leaves the tank at the
        // wanted level by the end of the day.
        double after = 0;
        for (size_t i = refuelSeg >= 0 ? size_t(refuelSeg) + 1 : p.segs.size(); i < p.segs.size();
             ++i)
            after += p.segs[i].use;
        double level = p.startLevel;
        for (size_t i = 0; i < p.segs.size(); ++i) {
            TDay::TSeg &s = p.segs[i];
            s.fuel0 = level;
            if (int(i) == refuelSeg)
                level = std::max(level, std::min(tank, wanted + after));
            else
                level = std::max(0.0, level - s.use);
            s.fuel1 = level;
        }
        p.endLevel = level;
        days.push_back(std::move(plan));
    }
    return *days[size_t(localDay - epoch)];
}

TObjectState TObjectSim::loopState(double seconds) const {
    TObjectState s;
    const double speed = std::max(m_config.speedKmh, 1.0) / 3.6; // m/s
    const double driveSeconds = m_lapMetres / speed;
    const double cycle = driveSeconds + m_stopSeconds;
    // Each object starts at its own point of the cycle.
    double phase = std::fmod(seconds + (m_config.number % 7) * 37.0, cycle);
    if (phase < 0)
        phase += cycle;
    double along = 0;
    if (phase < driveSeconds) {
        s.moving = true;
        along = phase * speed;
        s.speedKmh = m_config.speedKmh;
    }
    size_t i = 1;
    while (i + 1 < m_cumulative.size() && m_cumulative[i] < along)
        ++i;
    const double segLen = m_cumulative[i] - m_cumulative[i - 1];
    const double f = segLen > 0 ? (along - m_cumulative[i - 1]) / segLen : 0;
    s.lat = m_route[i - 1].lat + (m_route[i].lat - m_route[i - 1].lat) * f;
    s.lon = m_route[i - 1].lon + (m_route[i].lon - m_route[i - 1].lon) * f;
    if (!s.moving) {
        s.lat = m_route.front().lat;
        s.lon = m_route.front().lon;
    }
    s.engine = s.moving;
    const double r = std::fmod(seconds, 900.0);
    s.alertBtn = (r < 0 ? r + 900 : r) < 20 && m_config.number % 3 == 0 ? 1 : 0;
    // Half the tank burnt over six hours, then filled up again.
    const double period = 6 * 3600.0;
    double q = std::fmod(seconds, period) / period;
    if (q < 0)
        q += 1;
    s.litres = m_config.tankLitres * (0.9 - 0.5 * q);
    return s;
}

TObjectState TObjectSim::stateAt(double utc) const {
    TObjectState s;
    const double tz = m_config.timeZoneHours * 3600.0;
    const double tank = m_config.tankLitres;
    // Drains: the object stands from a while before one until a while after its end, and the
    // rest of that day is put off by as long; the litres drained stay drained.
    double tau = utc, drained = 0, holdStart = 0;
    bool held = false;
    for (const TDrainFault &d : m_config.drains) {
        const double length = std::max(d.minutes * 60, 1.0);
        if (utc >= d.atUtc)
            drained += d.litres * std::min(1.0, (utc - d.atUtc) / length);
        const double from = d.atUtc - HoldBeforeDrain, to = d.atUtc + length + HoldAfterDrain;
        if (utc >= from && utc < to) {
            held = true;
            holdStart = tau = from;
        } else if (!held && utc >= to &&
                   std::floor((utc + tz) / Day) == std::floor((from + tz) / Day)) {
            tau -= to - from;
        }
    }

    const TDay::TSeg *seg = nullptr, *prev = nullptr;
    const TDay *plan = nullptr;
    if (m_config.role == TRole::Loop) {
        s = loopState(tau);
    } else {
        plan = &day(int64_t(std::floor((tau + tz) / Day)));
        auto it = std::upper_bound(plan->segs.begin(), plan->segs.end(), tau,
                                   [](double t, const TDay::TSeg &x) { return t < x.t0; });
        if (it != plan->segs.begin())
            --it;
        seg = &*it;
        if (it != plan->segs.begin())
            prev = &*(it - 1);
        const double f =
            seg->t1 > seg->t0 ? std::clamp((tau - seg->t0) / (seg->t1 - seg->t0), 0.0, 1.0) : 1.0;
        TLatLon at = seg->pos;
        switch (seg->kind) {
        case TKind::Park:
            break;
        case TKind::Refuel:
            break;
        case TKind::Idle:
            s.engine = true;
            break;
        case TKind::Drive: {
            const TDay::TDrive &d = plan->drives[size_t(seg->drive)];
            const double x = tau - seg->t0;
            size_t i = size_t(std::upper_bound(d.at.begin(), d.at.end(), x) - d.at.begin());
            i = std::clamp<size_t>(i, 1, d.points.size() - 1);
            const double span = d.at[i] - d.at[i - 1];
            const double g = span > 0 ? std::clamp((x - d.at[i - 1]) / span, 0.0, 1.0) : 1.0;
            at = {d.points[i - 1].lat + (d.points[i].lat - d.points[i - 1].lat) * g,
                  d.points[i - 1].lon + (d.points[i].lon - d.points[i - 1].lon) * g};
            s.moving = true;
            s.engine = true;
            s.speedKmh = d.kmh[i];
            break;
        }
        }
        s.lat = at.lat * 60;
        s.lon = at.lon * 60;
        s.litres = seg->fuel0 + (seg->fuel1 - seg->fuel0) * f;
        s.gpsLost = plan->gpsTo > plan->gpsFrom && tau >= plan->gpsFrom && tau < plan->gpsTo;
        s.alertBtn = plan->alertAt >= 0 && tau >= plan->alertAt && tau < plan->alertAt + 20 ? 1 : 0;
    }
    if (held) {
        s.moving = false;
        s.engine = false;
        s.speedKmh = 0;
    }
    s.litres = std::max(0.0, s.litres - drained);

    // The sensor: the surface sloshes while driving and settles within seconds of a stop; a
    // standing tank's reading flickers by one unit.
    const uint64_t who = uint64_t(m_config.number);
    const bool rail = m_config.role == TRole::Shunter || m_config.role == TRole::Mainline;
    const double amplitude = tank * (rail ? 0.008 : 0.025);
    auto slosh = [&](double t, double kmh) {
        const double p1 = unit(hash(m_seed, who, 5)) * 2 * Pi,
                     p2 = unit(hash(m_seed, who, 6)) * 2 * Pi;
        const double wave =
            0.55 * std::sin(2 * Pi * t / 6.7 + p1) + 0.35 * std::sin(2 * Pi * t / 2.9 + p2) +
            0.4 * (unit(hash(m_seed, who, uint64_t(int64_t(std::floor(t))), 7)) - 0.5);
        return amplitude * wave * std::min(1.0, kmh / 25);
    };
    double wave = 0;
    if (s.moving) {
        wave = slosh(utc, s.speedKmh);
    } else if (held && seg && seg->kind == TKind::Drive && utc - holdStart < 20) {
        // Stopped where it drove.
        const TDay::TDrive &d = plan->drives[size_t(seg->drive)];
        wave = slosh(utc, d.kmh.back()) * std::exp(-(utc - holdStart) / 3);
    } else if (!held && seg && prev && prev->kind == TKind::Drive && tau - seg->t0 < 20) {
        const TDay::TDrive &d = plan->drives[size_t(prev->drive)];
        wave = slosh(utc, d.kmh.back()) * std::exp(-(tau - seg->t0) / 3);
    }
    const uint64_t h = hash(m_seed, who, uint64_t(int64_t(std::floor(utc))), 9);
    const double u = unit(h);
    const int jitter = u < 0.2 ? -1 : u > 0.8 ? 1 : 0;
    const double reading = readingFor(std::clamp(s.litres + wave, 0.0, tank));
    s.fuelRaw = std::clamp(int(std::lround(reading)) + jitter, 0, sensorMax());

    // Engine and supply: the 12 V devices (short forms 2 and 3) and the 24 V ones.
    const bool twelveVolt =
        m_config.form == QLatin1String("short2") || m_config.form == QLatin1String("short3");
    const double volts = (twelveVolt ? 1.0 : 2.0) * (s.engine ? 13.9 : 12.5);
    s.boardVoltageMv = int(std::lround(volts * 1000 + 60 * (unit(hash(h, 10)) - 0.5)));
    s.v24Gen = s.engine ? 1 : 0;
    s.exOut1 = s.engine ? 1 : 0;
    s.tankCoverSensor = rail && s.moving ? 1 : 0;
    if (m_config.role == TRole::Loop)
        s.tankCoverSensor = s.moving ? 1 : 0;
    s.kungTrailer = 0;
    s.exOut2 = 0;

    // The air: the season and the time of day.
    const double local = utc + tz;
    const double dayOfYear = std::fmod(std::floor(local / Day) + 0.5, 365.2425) - 1;
    const double hour = std::fmod(local, Day) / 3600;
    s.temperature = 5.5 - 13.5 * std::cos(2 * Pi * (dayOfYear - 15) / 365.2425) +
                    4 * std::sin(2 * Pi * (hour - 9) / 24);
    return s;
}

std::vector<TObjectConfig> TObjectSim::defaultObjects() {
    auto home = [](const char *id) {
        const TLatLon p = placeAt(id);
        return std::pair<double, double>{p.lat * 60, p.lon * 60};
    };
    auto make = [&](int number, const char *place, double kmh, const char *form, TRole role,
                    int tank, std::vector<std::pair<int, double>> table) {
        TObjectConfig c;
        c.number = number;
        std::tie(c.lat, c.lon) = home(place);
        c.speedKmh = kmh;
        c.form = QString::fromLatin1(form);
        c.role = role;
        c.tankLitres = tank;
        c.calibration = std::move(table);
        return c;
    };
    return {
        make(2001, "loco_depot", 25, "long", TRole::Shunter, 6000,
             tankTable(6000, 180, 3900, 21, cylinderVolume)),
        make(2002, "loco_depot", 55, "short3", TRole::Mainline, 5400,
             tankTable(5400, 40, 990, 21, cylinderVolume)),
        make(2003, "garage", 60, "short1", TRole::Bus, 105,
             tankTable(105, 30, 1000, 11, boxVolume)),
        make(2004, "garage", 75, "short3", TRole::Delivery, 130,
             tankTable(130, 25, 1010, 11, boxVolume)),
        make(2005, "site", 40, "short2", TRole::Parked, 250,
             tankTable(250, 35, 995, 11, boxVolume)),
        make(2006, "garage", 60, "short1", TRole::Dumper, 350,
             tankTable(350, 30, 1000, 11, boxVolume)),
    };
}
