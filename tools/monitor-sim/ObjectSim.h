#pragma once

#include <QString>

#include <vector>

// What an object's device is told to look like.
struct TObjectConfig {
    int number = 0;
    double lat = 0; // start position, minutes of arc
    double lon = 0;
    double speedKmh = 40; // cruising speed
    // State string form: "short1", "short2", "short3" (version 1..3) or "long".
    QString form = QStringLiteral("short3");
};

// The signals of one moment, in the units of the device's state string.
struct TObjectState {
    double lat = 0, lon = 0; // minutes of arc
    bool moving = false;
    int alertBtn = 0;
    int kungTrailer = 0, exOut2 = 0, v24Gen = 0, exOut1 = 0, tankCoverSensor = 0;
    int fuelRaw = 0; // converter units, 10 bits (short form) or 12 bits (long form)
    int boardVoltageMv = 0;
    double temperature = 0; // °C
};

// One simulated object: it drives a closed loop around its start position at its speed, stops
// for a while after every lap and reports signals that follow its motion. Everything is a
// pure function of the time, so a packet's further points can be sampled afterwards.
class TObjectSim {
public:
    explicit TObjectSim(const TObjectConfig &config);

    const TObjectConfig &config() const { return m_config; }
    int number() const { return m_config.number; }
    TObjectState stateAt(double seconds) const;

    // The area the default objects stay in, minutes of arc.
    static constexpr double MinLat = 55 * 60 + 30, MaxLat = 56 * 60;
    static constexpr double MinLon = 37 * 60 + 20, MaxLon = 37 * 60 + 55;
    static std::vector<TObjectConfig> defaultObjects();

private:
    struct Point {
        double lat, lon;
    };
    TObjectConfig m_config;
    std::vector<Point> m_route;       // closed: the last point returns to the first
    std::vector<double> m_cumulative; // metres from the start to each route point
    double m_lapMetres = 0;
    double m_stopSeconds = 60;
};
