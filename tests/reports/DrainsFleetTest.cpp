// The drain rule against the simulator's fleet, read as the client reads it (a packet every
// 10 s, the speed from the last two positions 2 s apart, the engine signal, litres through the
// object's calibration table): its normal days - nights at home, drives, idling, refuellings,
// sloshing and flickering sensors, a GPS antenna that fails - raise no alert, nor does the
// demonstration object's recorded morning; the simulator's drain switch is found.

#include "monitor-sim/ObjectSim.h"
#include "online/ControllableObject.h"
#include "reports/Drains.h"
#include "tracks/CoordsUtils.h"
#include "tracks/DeviceData.h"

#include <QDateTime>
#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double kPacket = 10;      // seconds between packets
constexpr double kUnixDay0 = 25569; // 1970-01-01 as a TDateTime
const double NaN = std::numeric_limits<double>::quiet_NaN();

std::vector<TCalibrationPoint> pointsOf(const TObjectSim &sim) {
    std::vector<TCalibrationPoint> v;
    for (const auto &[reading, litres] : sim.calibration())
        v.push_back({reading, litres, 1});
    return v;
}

double utcMidnight(const QDate &d, int zoneHours) {
    return QDateTime(d, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch() / 1000.0 - zoneHours * 3600.0;
}

TFuelReading readingAt(const TObjectSim &sim, const std::vector<TCalibrationPoint> &table, double t,
                       bool withEngine, TObjectState *state = nullptr) {
    const TObjectState s = sim.stateAt(t), before = sim.stateAt(t - 2);
    TFuelReading r;
    r.time = kUnixDay0 + (t + sim.config().timeZoneHours * 3600.0) / 86400;
    r.litres = CalibratedLitres(table, s.fuelRaw);
    r.speedKmh = s.gpsLost || before.gpsLost
                     ? NaN
                     : double(GeoDistance({before.lat, before.lon}, {s.lat, s.lon})) / 2 * 3.6;
    if (withEngine)
        r.engine = s.v24Gen != 0;
    if (state)
        *state = s;
    return r;
}

} // namespace

TEST(DrainsFleet, NormalDaysOfTheSimulatorsFleetRaiseNothing) {
    const QDate first(2026, 11, 2);
    const int days = 35; // five weeks: the weeks' refuellings and the turn of a four-week plan
    int objectDays = 0, alerts = 0;
    long readings = 0;
    for (const TObjectConfig &c : TObjectSim::defaultObjects()) {
        const TObjectSim sim(c, 1);
        const auto table = pointsOf(sim);
        const double step = CalibrationStep(table);
        for (bool withEngine : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.number << (withEngine ? " engine" : " speed"));
            TDrainDetector detector({}, step);
            const double from = utcMidnight(first, c.timeZoneHours);
            for (double t = from; t < from + days * 86400.0; t += kPacket) {
                const auto e = detector.feed(readingAt(sim, table, t, withEngine));
                ++readings;
                if (e && e->kind == TDrainEventKind::Raised) {
                    ++alerts;
                    ADD_FAILURE() << "alert at "
                                  << dt::toQDateTime(e->drain.begin).toString().toStdString()
                                  << ": " << e->drain.litres() << " l";
                }
            }
            objectDays += withEngine ? days : 0;
        }
    }
    RecordProperty("object_days", objectDays);
    RecordProperty("readings", int(readings));
    RecordProperty("false_alerts", alerts);
    EXPECT_EQ(objectDays, 6 * 35);
    EXPECT_EQ(alerts, 0);
}

// The fault switch of the simulator: 40 l over 5 minutes from each object, at night in its
// depot and in the middle of its working day (where it is made to stand).
TEST(DrainsFleet, TheSimulatorsDrainSwitchIsFoundWithinPackets) {
    const QDate day(2026, 12, 9); // a Wednesday: everybody works
    int worstDelay = 0;
    for (double hour : {3.0, 11.25}) {
        for (TObjectConfig c : TObjectSim::defaultObjects()) {
            SCOPED_TRACE(testing::Message() << c.number << " at " << hour);
            const double midnight = utcMidnight(day, c.timeZoneHours);
            const double at = midnight + hour * 3600;
            c.drains = {{at, 40, 5}};
            const TObjectSim sim(c, 1);
            const auto table = pointsOf(sim);
            const double step = CalibrationStep(table);
            TDrainDetector detector({}, step);
            std::vector<TDrain> drains;
            int crossed = -1, raised = -1, i = 0;
            const double before = sim.stateAt(at).litres;
            for (double t = midnight; t < midnight + 86400; t += kPacket, ++i) {
                TObjectState s;
                const auto e = detector.feed(readingAt(sim, table, t, true, &s));
                if (crossed < 0 && t >= at && s.litres <= before - 20)
                    crossed = i;
                if (e && e->kind == TDrainEventKind::Raised && raised < 0)
                    raised = i;
                if (e && e->kind == TDrainEventKind::Ended)
                    drains.push_back(e->drain);
            }
            ASSERT_EQ(drains.size(), 1u);
            const TDrain &d = drains[0];
            // Within a packet, and the time the drain takes to move the sensor by one unit.
            const double slack = (kPacket + step / (40.0 / 300)) / 86400;
            const TDateTime start = kUnixDay0 + (at + c.timeZoneHours * 3600.0) / 86400;
            EXPECT_NEAR(d.begin, start, slack) << (d.begin - start) * 86400 << " s";
            EXPECT_NEAR(d.end, start + 5 / 1440.0, slack)
                << (d.end - start - 5 / 1440.0) * 86400 << " s";
            EXPECT_NEAR(d.litres(), 40, std::max(1.0, 2 * step)) << "step " << step;
            // The median lags by two packets; a coarse sensor shows the fall up to half a unit
            // late.
            ASSERT_GE(crossed, 0);
            ASSERT_GE(raised, crossed);
            const int delay = raised - crossed;
            const double perPacket = 40.0 / 300 * kPacket;
            EXPECT_LE(delay, 3 + int(std::ceil(step / 2 / perPacket)));
            RecordProperty("delay_packets_" + std::to_string(c.number) + "_at_" +
                               std::to_string(int(hour)),
                           delay);
            worstDelay = std::max(worstDelay, delay);
        }
    }
    RecordProperty("worst_delay_packets", worstDelay);
}

// The demonstration object's data file: a van's working morning, a record every 10 s. The
// object has no calibration table; read one sensor unit as one litre, the finest any table
// of a tank that size could make it.
TEST(DrainsFleet, TheDemonstrationMorningRaisesNothing) {
    QFile f(QStringLiteral(ZARNEX_BIN_DIR "/data/1000/demo.dat"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "the demonstration data file is missing";
    TDeviceDataReader reader(f);
    TDeviceRecord r, previous;
    bool havePrevious = false;
    std::vector<TFuelReading> engine, speedOnly;
    while (reader.next(r) == TDeviceRead::Complete) {
        TControllableObject o;
        o.DecodeSostString(r.state);
        TFuelReading x;
        x.time = r.time;
        x.litres = o.FuelLevel > 0 ? o.FuelLevel : NaN;
        const double seconds = havePrevious ? (r.time - previous.time) * 86400 : 0;
        x.speedKmh =
            seconds > 0 ? double(GeoDistance(previous.position, r.position)) / seconds * 3.6 : NaN;
        speedOnly.push_back(x);
        x.engine = o.V24Gen != 0;
        engine.push_back(x);
        previous = r;
        havePrevious = true;
    }
    ASSERT_GT(engine.size(), 400u);
    RecordProperty("demo_readings", int(engine.size()));
    EXPECT_TRUE(FindDrains(engine, {}, 1).empty());
    EXPECT_TRUE(FindDrains(speedOnly, {}, 1).empty());
    EXPECT_TRUE(FindDrains(engine, {}, 0).empty());
}
