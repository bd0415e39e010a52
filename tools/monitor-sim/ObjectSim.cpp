#include "ObjectSim.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double MetresPerMinute = 1852.0;
constexpr double Pi = 3.14159265358979323846;

double metresBetween(double lat1, double lon1, double lat2, double lon2) {
    const double k = std::cos((lat1 + lat2) / 2 / 60 * Pi / 180);
    const double dy = (lat2 - lat1) * MetresPerMinute;
    const double dx = (lon2 - lon1) * MetresPerMinute * k;
    return std::hypot(dx, dy);
}
} // namespace

TObjectSim::TObjectSim(const TObjectConfig &config) : m_config(config) {
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

TObjectState TObjectSim::stateAt(double seconds) const {
    TObjectState s;
    const double speed = std::max(m_config.speedKmh, 1.0) / 3.6; // m/s
    const double driveSeconds = m_lapMetres / speed;
    const double cycle = driveSeconds + m_stopSeconds;
    // Each object starts at its own point of the cycle.
    double phase = std::fmod(seconds + (m_config.number % 7) * 37.0, cycle);
    if (phase < 0) // the first packet's further points reach back before the start
        phase += cycle;
    double along = 0;
    if (phase < driveSeconds) {
        s.moving = true;
        along = phase * speed;
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

    // Times before the start (the archive) follow the same cycles.
    const auto cycleOf = [seconds](double period) {
        const double r = std::fmod(seconds, period);
        return r < 0 ? r + period : r;
    };
    s.alertBtn = cycleOf(900.0) < 20 && m_config.number % 3 == 0 ? 1 : 0;
    s.exOut1 = s.moving ? 1 : 0;
    s.v24Gen = s.moving ? 1 : 0;
    s.tankCoverSensor = s.moving ? 1 : 0;
    s.kungTrailer = 0;
    s.exOut2 = 0;
    const bool longForm = m_config.form == QLatin1String("long");
    const int full = longForm ? 3600 : 900, empty = longForm ? 800 : 200;
    s.fuelRaw = full - static_cast<int>(cycleOf(30.0 * (full - empty)) / 30);
    // Versions 2 and 3 of the short form measure up to about 18 and 22 V: 12 V vehicles.
    const bool twelveVolt =
        m_config.form == QLatin1String("short2") || m_config.form == QLatin1String("short3");
    s.boardVoltageMv = twelveVolt ? (s.moving ? 13900 : 12500) : (s.moving ? 27800 : 25200);
    s.temperature = 20 + 5 * std::sin(seconds / 600);
    return s;
}

std::vector<TObjectConfig> TObjectSim::defaultObjects() {
    return {{1000, 55 * 60 + 45, 37 * 60 + 37, 40, QStringLiteral("short3")},
            {1001, 55 * 60 + 40, 37 * 60 + 30, 60, QStringLiteral("long")},
            {1002, 55 * 60 + 50, 37 * 60 + 45, 30, QStringLiteral("short1")}};
}
