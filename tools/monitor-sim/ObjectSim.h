#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

// What an object does with its day.
enum class TRole {
    Loop,     // drives a loop around its start position, stopping after every lap
    Shunter,  // a shunting locomotive: moves between the yard's tracks, idles, lunch in depot
    Mainline, // a locomotive running trains from the yard to the stations along the line
    Bus,      // a route bus between the bus station and the villages, with its stops
    Delivery, // a delivery van: a round of customers, Sundays off, a GPS antenna that fails
    Dumper,   // a dump truck between the quarry and the building site on weekdays
    Parked,   // a crane standing on the building site, its engine started now and then
};

// A fault: fuel leaves the tank of the object standing where it is. The object stays put
// (engine off) from the start until a while after the end, then goes on with its day.
struct TDrainFault {
    double atUtc = 0; // seconds since 1970-01-01 UTC
    double litres = 0;
    double minutes = 0;
};

// What an object's device is told to look like.
struct TObjectConfig {
    int number = 0;
    double lat = 0; // start position of a loop, minutes of arc
    double lon = 0;
    double speedKmh = 40; // cruising speed of a loop, top speed otherwise
    // State string form: "short1", "short2", "short3" (version 1..3) or "long".
    QString form = QStringLiteral("short3");
    TRole role = TRole::Loop;
    int tankLitres = 500;
    int timeZoneHours = 3; // the local day its story follows (the registry's time zone)
    // The fuel sensor's calibration: reading -> litres, readings ascending. Empty: a straight
    // line over the sensor's range.
    std::vector<std::pair<int, double>> calibration;
    std::vector<TDrainFault> drains;
};

// The signals of one moment, in the units of the device's state string.
struct TObjectState {
    double lat = 0, lon = 0; // minutes of arc
    bool moving = false;
    double speedKmh = 0;
    bool engine = false;
    bool gpsLost = false; // the device has no fix: it sends no position
    int alertBtn = 0;
    int kungTrailer = 0, exOut2 = 0, v24Gen = 0, exOut1 = 0, tankCoverSensor = 0;
    double litres = 0; // fuel in the tank, what the sensor should read
    int fuelRaw = 0;   // converter units, 10 bits (short form) or 12 bits (long form)
    int boardVoltageMv = 0;
    double temperature = 0; // °C
};

// One simulated object. Its day is a pure function of the seed, its number and the date: a
// night at its home, drives along the roads (or tracks) of the sample map with stops, the
// engine started and stopped, fuel that follows the run and a refuelling when the tank runs
// low. So yesterday's archive and today's packets tell one story, whenever the simulator was
// started. Times are seconds since 1970-01-01 UTC.
class TObjectSim {
public:
    explicit TObjectSim(const TObjectConfig &config, uint64_t seed = 1);
    ~TObjectSim();
    TObjectSim(const TObjectSim &other);
    TObjectSim &operator=(const TObjectSim &) = delete;

    const TObjectConfig &config() const { return m_config; }
    int number() const { return m_config.number; }
    TObjectState stateAt(double utcSeconds) const;

    // The sensor's range and the calibration both ways (litres between points linear, as the
    // database's conversion does).
    int sensorMax() const;
    double litresFor(int reading) const;
    double readingFor(double litres) const;
    const std::vector<std::pair<int, double>> &calibration() const { return m_calibration; }

    // The area every object stays in, minutes of arc.
    static constexpr double MinLat = 55 * 60 + 30, MaxLat = 56 * 60;
    static constexpr double MinLon = 37 * 60 + 20, MaxLon = 37 * 60 + 55;
    // The try-out's fleet: 2001..2006 (1000 is the client's demonstration object).
    static std::vector<TObjectConfig> defaultObjects();

    struct TDay;

private:
    const TDay &day(int64_t localDay) const;
    TObjectState loopState(double t) const;

    TObjectConfig m_config;
    uint64_t m_seed;
    std::vector<std::pair<int, double>> m_calibration;
    // Loop: the closed route around the start position.
    struct Point {
        double lat, lon;
    };
    std::vector<Point> m_route;
    std::vector<double> m_cumulative;
    double m_lapMetres = 0;
    double m_stopSeconds = 60;
    // Days are planned per four weeks: the first starts with a known tank, each next day with
    // the level the one before ended with.
    mutable std::map<int64_t, std::vector<std::unique_ptr<TDay>>> m_epochs;
};
