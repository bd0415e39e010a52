#include "reports/Drains.h"

#include "online/ControllableObject.h"
#include "tracks/CoordsUtils.h"

#include <algorithm>

namespace {

// Standing: slow, or the engine off where there is an engine signal.
constexpr double StandingKmh = 3;

double medianOf(std::vector<double> v) {
    const size_t n = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(n), v.end());
    if (v.size() % 2)
        return v[n];
    const double upper = v[n];
    return (*std::max_element(v.begin(), v.begin() + std::ptrdiff_t(n)) + upper) / 2;
}

// The best place to break the levels from `from` on into two straight stretches (least
// squares, the stretches sharing the break): where a steady level turns into a fall, or a fall
// into a steady level. Returns the break's index and the value of the stretch before it and of
// the stretch after it at the break. Of equally good breaks the latest wins: a fall that goes
// on to the last level ends there.
struct TBreak {
    size_t at = 0;
    double before = 0, after = 0;
    double slopeBefore = 0, slopeAfter = 0; // litres per second
};

template <class Levels> TBreak breakOf(const Levels &levels, size_t from) {
    const size_t n = levels.size();
    TBreak best{from, 0, 0, 0, 0};
    if (from >= n)
        return best;
    // Seconds and litres from the first level, so that the sums lose no precision.
    const double x0 = levels.front().at, y0 = levels.front().litres;
    std::vector<double> sx(n + 1), sy(n + 1), sxx(n + 1), sxy(n + 1), syy(n + 1);
    for (size_t i = 0; i < n; ++i) {
        const double x = (levels[i].at - x0) * 86400, y = levels[i].litres - y0;
        sx[i + 1] = sx[i] + x;
        sy[i + 1] = sy[i] + y;
        sxx[i + 1] = sxx[i] + x * x;
        sxy[i + 1] = sxy[i] + x * y;
        syy[i + 1] = syy[i] + y * y;
    }
    // The straight line through levels a..b (inclusive): its squared error and its value at x.
    struct TLine {
        double error, slope, mean, meanX;
        double at(double x) const { return mean + slope * (x - meanX); }
    };
    auto line = [&](size_t a, size_t b) {
        const double k = double(b - a + 1);
        const double mx = (sx[b + 1] - sx[a]) / k, my = (sy[b + 1] - sy[a]) / k;
        const double vxx = (sxx[b + 1] - sxx[a]) - k * mx * mx;
        const double vxy = (sxy[b + 1] - sxy[a]) - k * mx * my;
        const double vyy = (syy[b + 1] - syy[a]) - k * my * my;
        const double slope = vxx > 1e-9 ? vxy / vxx : 0;
        return TLine{std::max(0.0, vyy - slope * vxy), slope, my, mx};
    };
    double bestError = std::numeric_limits<double>::infinity();
    for (size_t j = from; j < n; ++j) {
        const TLine a = line(from, j), b = line(j, n - 1);
        const double e = a.error + b.error;
        if (e <= bestError + 1e-9) {
            bestError = std::min(bestError, e);
            const double x = (levels[j].at - x0) * 86400;
            best = {j, j > from ? y0 + a.at(x) : levels[j].litres,
                    j + 1 < n ? y0 + b.at(x) : levels[j].litres, a.slope, j + 1 < n ? b.slope : 0};
        }
    }
    return best;
}

} // namespace

TDrainDetector::TDrainDetector(const TDrainRule &rule, double stepLitres)
    : m_rule(rule), m_step(std::max(0.0, stepLitres)) {
    m_rule.median = std::max(1, m_rule.median);
}

void TDrainDetector::reset() {
    m_readings.clear();
    m_levels.clear();
}

std::optional<TDrainEvent> TDrainDetector::end(bool steady) {
    if (!m_active)
        return std::nullopt;
    m_active = false;
    // The end: where the fall turned into a steady level (an idling engine may still burn a
    // little); the level after is that steady level there. A drain cut short by moving off (or
    // by the end of the data) that was still falling ends at its last level.
    if (m_fall.size() >= 2) {
        const TBreak b = breakOf(m_fall, 0);
        const bool stillFalling =
            b.at + 1 >= m_fall.size() || std::fabs(b.slopeAfter) > std::fabs(b.slopeBefore) / 4;
        if (steady || !stillFalling) {
            m_drain.end = m_fall[b.at].at;
            m_drain.levelAfter = b.after;
        } else {
            m_drain.end = m_fall.back().at;
            m_drain.levelAfter = m_fall.back().litres;
        }
    }
    m_fall.clear();
    m_levels.clear();
    return TDrainEvent{TDrainEventKind::Ended, m_drain};
}

std::optional<TDrainEvent> TDrainDetector::finish() {
    return end(false);
}

std::optional<TDrainEvent> TDrainDetector::feed(const TFuelReading &r) {
    if (m_last && r.time < *m_last)
        return std::nullopt;
    std::optional<TDrainEvent> ended;
    // Across a gap longer than the window nothing is known of how the level went.
    if (m_last && r.time - *m_last > window()) {
        ended = end(false);
        reset();
    }
    m_last = r.time;

    const bool engineOff = r.engine.has_value() && !*r.engine;
    if (!std::isnan(r.speedKmh) || engineOff)
        m_standing = engineOff || r.speedKmh < StandingKmh;
    // Without a speed or an engine signal the object does what it did before.
    if (!m_standing) {
        if (!ended)
            ended = end(false);
        reset();
        return ended;
    }
    if (std::isnan(r.litres))
        return ended;

    m_readings.push_back(r);
    if (int(m_readings.size()) > m_rule.median)
        m_readings.pop_front();
    if (int(m_readings.size()) < m_rule.median)
        return ended;
    std::vector<double> values;
    for (const TFuelReading &x : m_readings)
        values.push_back(x.litres);
    const size_t n = m_readings.size();
    const TLevel level{n % 2 ? m_readings[n / 2].time
                             : (m_readings[n / 2 - 1].time + m_readings[n / 2].time) / 2,
                       medianOf(values)};
    m_levels.push_back(level);
    while (level.at - m_levels.front().at > window() + 1e-9)
        m_levels.pop_front();

    if (m_active) {
        m_fall.push_back(level);
        // A fall by more than the noise goes on with the drain: the median of readings that
        // flicker by one unit moves by one unit either way, and an idling engine burns a few
        // litres in the window.
        const double further = std::max(1.5 * m_step, m_rule.litres / 4);
        if (level.litres < m_anchor - further) {
            m_anchor = level.litres;
            m_lastFall = level.at;
            m_drain.levelAfter = level.litres;
            m_drain.end = level.at;
            return TDrainEvent{TDrainEventKind::Grew, m_drain};
        }
        if (level.at - m_lastFall >= window() - 1e-9)
            return end(true);
        return ended;
    }

    double top = -std::numeric_limits<double>::infinity();
    for (const TLevel &l : m_levels)
        top = std::max(top, l.litres);
    if (top - level.litres < m_rule.litres - 1e-9)
        return ended;
    // The begin: where the steady level (or a slow one) of the window turned into the fall,
    // looked for from the first time the window stood at its top (a refuelling just before
    // is no steady level); the level before is that steady level there.
    size_t first = 0;
    while (m_levels[first].litres < top - 2 * m_step - 1e-9)
        ++first;
    const TBreak b = breakOf(m_levels, first);
    if (b.before - level.litres < m_rule.litres - 1e-9)
        return ended;

    m_active = true;
    m_drain = TDrain{m_levels[b.at].at, level.at, b.before, level.litres};
    m_anchor = level.litres;
    m_lastFall = level.at;
    m_fall.assign(m_levels.begin() + std::ptrdiff_t(b.at), m_levels.end());
    return TDrainEvent{TDrainEventKind::Raised, m_drain};
}

std::vector<TDrain> FindDrains(const std::vector<TFuelReading> &readings, const TDrainRule &rule,
                               double stepLitres) {
    std::vector<TDrain> out;
    TDrainDetector detector(rule, stepLitres);
    for (const TFuelReading &r : readings)
        if (auto e = detector.feed(r); e && e->kind == TDrainEventKind::Ended)
            out.push_back(e->drain);
    if (auto e = detector.finish())
        out.push_back(e->drain);
    return out;
}

double CalibratedLitres(const std::vector<TCalibrationPoint> &points, int reading) {
    if (points.empty())
        return 0;
    std::vector<TCalibrationPoint> p = points;
    std::sort(p.begin(), p.end(), [](const TCalibrationPoint &a, const TCalibrationPoint &b) {
        return a.sensor < b.sensor;
    });
    if (reading <= p.front().sensor)
        return p.front().fuel;
    for (size_t i = 1; i < p.size(); ++i) {
        if (reading <= p[i].sensor) {
            if (p[i].sensor == p[i - 1].sensor)
                return p[i - 1].fuel;
            return p[i - 1].fuel + (p[i].fuel - p[i - 1].fuel) * (reading - p[i - 1].sensor) /
                                       double(p[i].sensor - p[i - 1].sensor);
        }
    }
    return p.back().fuel;
}

double CalibrationStep(const std::vector<TCalibrationPoint> &points) {
    std::vector<TCalibrationPoint> p = points;
    std::sort(p.begin(), p.end(), [](const TCalibrationPoint &a, const TCalibrationPoint &b) {
        return a.sensor < b.sensor;
    });
    double step = 0;
    for (size_t i = 1; i < p.size(); ++i)
        if (p[i].sensor > p[i - 1].sensor)
            step = std::max(step,
                            std::fabs(p[i].fuel - p[i - 1].fuel) / (p[i].sensor - p[i - 1].sensor));
    return step;
}

TDrainRule EffectiveRule(const TObjectDrainRule &own, const TDrainRule &general) {
    TDrainRule r = general;
    if (own.litres)
        r.litres = *own.litres;
    if (own.windowMinutes)
        r.windowMinutes = *own.windowMinutes;
    if (own.median)
        r.median = *own.median;
    return r;
}

namespace {
// The least raw value a packet carries over into the object (smaller ones are no reading).
constexpr int LeastReading = 50;
} // namespace

TFuelReading LiveReading(const TControllableObject &o) {
    TFuelReading r;
    r.time = o.TS;
    if (o.FuelLevel > LeastReading)
        r.litres = double(o.FuelLevelL);
    if (o.Speed >= 0)
        r.speedKmh = double(o.Speed);
    if (o.UseEngineForPark == 1)
        r.engine = o.V24Gen != 0;
    return r;
}

std::vector<TFuelReading> HistoryReadings(const std::vector<TStoredReading> &rows,
                                          const std::vector<TCoordData> &track,
                                          const std::vector<TCalibrationPoint> &points,
                                          double tankVolume, bool useEngine) {
    std::vector<TFuelReading> out;
    out.reserve(rows.size());
    std::optional<int> raw;
    double speed = std::numeric_limits<double>::quiet_NaN();
    size_t next = 0; // the first track position at or after the next reading
    for (size_t i = 0; i < rows.size(); ++i) {
        const TStoredReading &s = rows[i];
        if (s.raw > LeastReading)
            raw = s.raw;
        TFuelReading r;
        r.time = s.time;
        if (raw)
            r.litres = std::min(CalibratedLitres(points, *raw), tankVolume);
        // The packet's own positions come after its time: the speed is that of the last two
        // positions the track holds before the next packet.
        const bool last = i + 1 == rows.size();
        while (next < track.size() && (last || track[next].ts < rows[i + 1].time))
            ++next;
        if (next >= 2 && track[next - 1].ts > track[next - 2].ts) {
            const TCoordData &a = track[next - 2], &b = track[next - 1];
            const long double seconds = std::llround((b.ts - a.ts) * dt::MsPerDay) / 1000.0L;
            speed = double(GeoDistance(TGeoCoords{a.lat, a.lng}, TGeoCoords{b.lat, b.lng}) * 3.6L /
                           seconds);
        }
        r.speedKmh = speed;
        if (useEngine)
            r.engine = s.engine != 0;
        out.push_back(r);
    }
    return out;
}
