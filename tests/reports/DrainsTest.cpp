// Fuel drains over fuel signals with a story: a 600 l tank read by a non-linear 12-bit sensor
// whose table has a point every 5 l, a reading every 10 seconds that flickers by one unit, a
// surface that sloshes by up to 20 l while driving. Live (one reading at a time) and over the
// stored readings the answer is the same.

#include "reports/Drains.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kTank = 600;
constexpr double kPacket = 10; // seconds between readings
const double NaN = std::numeric_limits<double>::quiet_NaN();

int sensorAt(double litres) {
    const double x = litres / kTank;
    return int(std::lround(200 + 3400 * (0.6 * x + 0.4 * x * x)));
}

const std::vector<TCalibrationPoint> &table() {
    static const std::vector<TCalibrationPoint> t = [] {
        std::vector<TCalibrationPoint> v;
        for (double l = 0; l <= kTank; l += 5)
            v.push_back({sensorAt(l), l, 1});
        return v;
    }();
    return t;
}

// The reading for a level, inverting the table's own interpolation.
double readingFor(double litres) {
    const auto &t = table();
    litres = std::clamp(litres, 0.0, kTank);
    for (size_t i = 1; i < t.size(); ++i)
        if (litres <= t[i].fuel)
            return t[i - 1].sensor + (litres - t[i - 1].fuel) / (t[i].fuel - t[i - 1].fuel) *
                                         (t[i].sensor - t[i - 1].sensor);
    return t.back().sensor;
}

// A stretch of the story: how long, how fast the object goes, how the level changes.
struct TPhase {
    double minutes;
    double kmh;
    double litresPerMinute;
    bool engine;
};

struct TSignal {
    std::vector<TFuelReading> readings;
    std::vector<double> truth; // the level in the tank at each reading
};

const TDateTime kStart = dt::encode(2026, 12, 10, 8, 0, 0);

TDateTime at(double minutes) {
    return kStart + minutes / 1440.0;
}

// spike: the index of one reading that reads `spikeLitres` off.
TSignal story(double level, const std::vector<TPhase> &phases, int spike = -1,
              double spikeLitres = 0) {
    TSignal s;
    uint32_t noise = 12345;
    auto next = [&] {
        noise = noise * 1664525u + 1013904223u;
        return (noise >> 8) / double(1 << 24);
    };
    double t = 0;
    for (const TPhase &p : phases) {
        for (double m = 0; m < p.minutes * 60 - 1e-9; m += kPacket, t += kPacket) {
            const double u = next();
            const int jitter = u < 0.2 ? -1 : u > 0.8 ? 1 : 0;
            const double slosh = p.kmh > 0 ? 20 * (2 * next() - 1) : 0;
            double offset = slosh;
            if (int(s.readings.size()) == spike)
                offset += spikeLitres;
            const int reading = int(std::lround(readingFor(level + offset))) + jitter;
            TFuelReading r;
            r.time = kStart + t / 86400;
            r.litres = CalibratedLitres(table(), reading);
            r.speedKmh = p.kmh > 0 ? p.kmh : 0.4; // a standing receiver wanders a little
            r.engine = p.engine;
            s.readings.push_back(r);
            s.truth.push_back(level);
            level += p.litresPerMinute * kPacket / 60;
        }
    }
    return s;
}

// The live answer: the events of one reading at a time, checked for their order. Returns the
// drains that ended and, per drain, the index of the reading that raised it.
std::vector<TDrain> live(const TSignal &s, double step, std::vector<size_t> *raisedAt = nullptr) {
    TDrainDetector d({}, step);
    std::vector<TDrain> out;
    bool open = false;
    double soFar = 0;
    auto take = [&](const std::optional<TDrainEvent> &e, size_t i) {
        if (!e)
            return;
        switch (e->kind) {
        case TDrainEventKind::Raised:
            EXPECT_FALSE(open) << i;
            EXPECT_GE(e->drain.litres(), 20 - 1e-9) << i;
            open = true;
            soFar = e->drain.litres();
            if (raisedAt)
                raisedAt->push_back(i);
            break;
        case TDrainEventKind::Grew:
            EXPECT_TRUE(open) << i;
            EXPECT_GT(e->drain.litres(), soFar) << i;
            soFar = e->drain.litres();
            break;
        case TDrainEventKind::Ended:
            EXPECT_TRUE(open) << i;
            open = false;
            out.push_back(e->drain);
            break;
        }
    };
    for (size_t i = 0; i < s.readings.size(); ++i)
        take(d.feed(s.readings[i]), i);
    take(d.finish(), s.readings.size());
    EXPECT_FALSE(open);
    return out;
}

} // namespace

TEST(Drains, StoriesOfOneTank) {
    const double step = CalibrationStep(table());
    ASSERT_GT(step, 0.1);
    ASSERT_LT(step, 0.3);
    const double none = NaN;
    const struct {
        const char *name;
        std::vector<TPhase> phases;
        int spike;
        double spikeLitres;
        size_t drains;
        double volume, begin, end; // litres, minutes from the start
    } cases[] = {
        {"noise only", {{180, 0, 0, false}}, -1, 0, 0, none, none, none},
        {"a refuelling",
         {{20, 0, 0, false}, {8, 0, 150 / 8.0, false}, {30, 0, 0, false}},
         -1,
         0,
         0,
         none,
         none,
         none},
        {"steady consumption while driving",
         {{10, 0, -0.2, true},
          {50, 45, -0.6, true},
          {1, 0, -0.05, true},
          {40, 60, -0.7, true},
          {10, 0, 0, false}},
         -1,
         0,
         0,
         none,
         none,
         none},
        {"40 l in 5 minutes, parked",
         {{15, 0, 0, false}, {5, 0, -8, false}, {25, 0, 0, false}},
         -1,
         0,
         1,
         40,
         15,
         20},
        {"40 l in 5 minutes beside an idling engine",
         {{15, 0, -0.2, true}, {5, 0, -8.2, true}, {25, 0, -0.2, true}},
         -1,
         0,
         1,
         41,
         15,
         20},
        {"a slow 25 l over 9 minutes",
         {{15, 0, 0, false}, {9, 0, -25 / 9.0, false}, {25, 0, 0, false}},
         -1,
         0,
         1,
         25,
         15,
         24},
        {"25 l over 15 minutes is too slow",
         {{15, 0, 0, false}, {15, 0, -25 / 15.0, false}, {25, 0, 0, false}},
         -1,
         0,
         0,
         none,
         none,
         none},
        {"interrupted by moving off",
         {{15, 0, 0, false}, {3.5, 0, -8, false}, {20, 40, -0.6, true}},
         -1,
         0,
         1,
         28,
         15,
         18.5},
        {"moving off before the threshold",
         {{15, 0, 0, false}, {2, 0, -8, false}, {20, 40, -0.6, true}},
         -1,
         0,
         0,
         none,
         none,
         none},
        {"a spike of one reading down", {{60, 0, 0, false}}, 200, -60, 0, none, none, none},
        {"a spike of one reading up", {{60, 0, 0, false}}, 200, 60, 0, none, none, none},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TSignal s = story(400, c.phases, c.spike, c.spikeLitres);
        const std::vector<TDrain> found = FindDrains(s.readings, {}, step);
        ASSERT_EQ(found.size(), c.drains);
        // Live and over the period alike, drain for drain.
        const std::vector<TDrain> seen = live(s, step);
        ASSERT_EQ(seen.size(), found.size());
        for (size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(seen[i].begin, found[i].begin);
            EXPECT_EQ(seen[i].end, found[i].end);
            EXPECT_EQ(seen[i].levelBefore, found[i].levelBefore);
            EXPECT_EQ(seen[i].levelAfter, found[i].levelAfter);
        }
        if (c.drains != 1)
            continue;
        const TDrain &d = found[0];
        const double packet = kPacket / 86400;
        EXPECT_NEAR(d.begin, at(c.begin), packet * 1.01) << (d.begin - at(c.begin)) * 86400;
        if (std::string(c.name).find("moving off") == std::string::npos) {
            EXPECT_NEAR(d.litres(), c.volume, step) << d.litres();
            EXPECT_NEAR(d.end, at(c.end), packet * 1.01) << (d.end - at(c.end)) * 86400;
        } else {
            // What the median had seen of the fall when the object drove away.
            EXPECT_LE(d.end, at(c.end));
            EXPECT_GT(d.litres(), 20);
            EXPECT_LE(d.litres(), c.volume + step);
        }
    }
}

TEST(Drains, TwoDrainsAndAGapInTheData) {
    const double step = CalibrationStep(table());
    // Two drains of one night, then the data stops for an hour and resumes 30 l lower: nobody
    // saw that fall happen within ten minutes, so it is no drain.
    TSignal s = story(400, {{15, 0, 0, false},
                            {4, 0, -10, false},
                            {30, 0, 0, false},
                            {6, 0, -5, false},
                            {30, 0, 0, false}});
    const TSignal later = story(400 - 70 - 30, {{30, 0, 0, false}});
    for (TFuelReading r : later.readings) {
        r.time += (2 * 60 + 5) / 1440.0;
        s.readings.push_back(r);
    }
    const std::vector<TDrain> found = FindDrains(s.readings, {}, step);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NEAR(found[0].litres(), 40, step);
    EXPECT_NEAR(found[1].litres(), 30, step);
    EXPECT_NEAR(found[1].begin, at(15 + 4 + 30), kPacket / 86400 * 1.01);
    EXPECT_EQ(live(s, step).size(), 2u);

    // Readings without a fix keep the object standing or driving as it was; without sensor
    // data they are passed over.
    TSignal g = story(400, {{15, 0, 0, false}, {5, 0, -8, false}, {25, 0, 0, false}});
    for (size_t i = 60; i < 150; ++i) {
        g.readings[i].speedKmh = NaN;
        g.readings[i].engine.reset();
    }
    g.readings[95].litres = NaN;
    const std::vector<TDrain> lost = FindDrains(g.readings, {}, step);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_NEAR(lost[0].litres(), 40, step);
}

// How many packets after the level itself has fallen by the threshold the alert comes: the
// median of five readings lags by two.
TEST(Drains, AlertDelayInPackets) {
    const double step = CalibrationStep(table());
    for (double rate : {8.0, 25 / 9.0, 20.0}) {
        SCOPED_TRACE(rate);
        const TSignal s =
            story(400, {{15, 0, 0, false}, {40 / rate, 0, -rate, false}, {25, 0, 0, false}});
        std::vector<size_t> raised;
        const std::vector<TDrain> seen = live(s, step, &raised);
        ASSERT_EQ(raised.size(), 1u);
        size_t crossed = 0;
        while (s.truth[crossed] > s.truth.front() - 20)
            ++crossed;
        const int delay = int(raised[0]) - int(crossed);
        RecordProperty("delay_packets_at_" + std::to_string(int(rate * 10)) + "_dl_per_min", delay);
        EXPECT_GE(delay, 0);
        EXPECT_LE(delay, TDrainRule{}.median / 2 + 1);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_NEAR(seen[0].litres(), s.truth.front() - s.truth.back(), step);
    }
}

TEST(Drains, CalibrationAsTheDatabaseConverts) {
    const std::vector<TCalibrationPoint> t{{100, 10, 1}, {300, 50, 1}, {200, 20, 1}};
    EXPECT_DOUBLE_EQ(CalibratedLitres(t, 50), 10);
    EXPECT_DOUBLE_EQ(CalibratedLitres(t, 150), 15);
    EXPECT_DOUBLE_EQ(CalibratedLitres(t, 200), 20);
    EXPECT_DOUBLE_EQ(CalibratedLitres(t, 250), 35);
    EXPECT_DOUBLE_EQ(CalibratedLitres(t, 900), 50);
    EXPECT_DOUBLE_EQ(CalibratedLitres({}, 900), 0);
    EXPECT_DOUBLE_EQ(CalibrationStep(t), 0.3);
}
