// Writes the demonstration object's device data file: a delivery van's morning in the area of
// the sample maps (55°30'-56°00' N, 37°22'-37°52' E), one record every 10 seconds. The engine
// starts at the depot, the van drives to a customer, stands there with the engine off, drives
// on to a filling station and refuels, then drives to its last stop and parks.
//
//   make-demo-track OUTPUT_FILE

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstdio>
#include <vector>

#include "tracks/CoordsUtils.h"
#include "tracks/DeviceData.h"

namespace {

constexpr double Step = 10.0; // seconds between records

struct TPoint {
    double lat, lng; // degrees
};

// The device's short state string of version 3: engine and diesel inputs, fuel reading,
// supply voltage and temperature.
QByteArray stateString(bool engine, int fuelRaw, double volts, double celsius) {
    QByteArray s(11, '\0');
    s[1] = char(0x08 | 0x20); // version bits: 1 + 2
    s[4] = char((engine ? 0x08 : 0) | (engine ? 0x10 : 0));
    s[5] = char((fuelRaw >> 8) & 3);
    s[6] = char(fuelRaw & 0xFF);
    const int vRaw = int(std::lround((volts - 1.2575) / 0.02036));
    s[7] = char((vRaw >> 8) & 3);
    s[8] = char(vRaw & 0xFF);
    const int tRaw = int(std::lround((celsius + 46.44) / 0.2988));
    s[9] = char((tRaw >> 8) & 3);
    s[10] = char(tRaw & 0xFF);
    return s;
}

class TRouteWriter {
public:
    TRouteWriter(TDateTime start, TPoint at) : m_time(start), m_at(at) {}

    // Standing for the given seconds; a parked receiver wanders by a metre or two.
    void stand(double seconds, bool engine) {
        for (double t = 0; t < seconds; t += Step) {
            const double wobble = 0.000012 * std::sin(m_n * 0.7);
            put({m_at.lat + wobble, m_at.lng - wobble}, engine);
        }
    }
    // Drives along the legs at kmh, the speed varying a little with traffic.
    void drive(const std::vector<TPoint> &legs, double kmh) {
        for (const TPoint &to : legs) {
            const TPoint from = m_at;
            const double metres = double(GeoDistance(minutes(from), minutes(to)));
            double done = 0;
            while (done < metres) {
                const double v = kmh * (0.8 + 0.35 * std::sin(m_n * 0.21)) / 3.6;
                done = std::min(metres, done + v * Step);
                const double f = done / metres;
                m_at = {from.lat + (to.lat - from.lat) * f, from.lng + (to.lng - from.lng) * f};
                m_fuel -= 0.35; // the level sinks while driving
                put(m_at, true);
            }
        }
    }
    void refuel(double seconds, double toRaw) {
        const double steps = seconds / Step;
        const double per = (toRaw - m_fuel) / steps;
        for (double t = 0; t < seconds; t += Step) {
            m_fuel += per;
            put(m_at, false);
        }
    }
    const QByteArray &bytes() const { return m_bytes; }

private:
    static TGeoCoords minutes(const TPoint &p) { return {p.lat * 60, p.lng * 60}; }
    void put(const TPoint &p, bool engine) {
        TDeviceRecord r;
        r.time = m_time;
        r.position = minutes(p);
        const double volts = engine ? 13.9 : 12.4;
        r.state = stateString(engine, int(std::lround(m_fuel)), volts, 18.0 + 0.002 * m_n);
        m_bytes += r.toBytes();
        m_time += Step / 86400.0;
        ++m_n;
    }

    TDateTime m_time;
    TPoint m_at;
    double m_fuel = 620;
    int m_n = 0;
    QByteArray m_bytes;
};

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: make-demo-track OUTPUT_FILE\n", stderr);
        return 2;
    }
    // 14 May 2024, 08:00 local time.
    const TDateTime start = 45426.0 + 8.0 / 24;
    TRouteWriter w(start, {55.6990, 37.4530});
    w.stand(120, false); // parked at the depot
    w.stand(180, true);  // warming up
    w.drive({{55.7080, 37.4790},
             {55.7220, 37.5080},
             {55.7350, 37.5310},
             {55.7440, 37.5620},
             {55.7520, 37.5980}},
            38);                       // into town
    w.stand(40, true);                 // traffic lights
    w.drive({{55.7555, 37.6120}}, 25); // to the customer
    w.stand(900, false);               // unloading, engine off
    w.stand(60, true);
    w.drive({{55.7640, 37.6350}, {55.7760, 37.6560}, {55.7900, 37.6760}, {55.8000, 37.6880}},
            45);        // to the filling station
    w.refuel(600, 960); // refuelling, engine off
    w.stand(40, true);
    w.drive({{55.8150, 37.6700},
             {55.8300, 37.6420},
             {55.8450, 37.6100},
             {55.8600, 37.5800},
             {55.8720, 37.5450},
             {55.8800, 37.5200}},
            55);         // out of town
    w.stand(300, true);  // idling at the gate
    w.stand(600, false); // parked

    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(QFileInfo(out).path());
    QFile f(out + QStringLiteral(".tmp"));
    if (!f.open(QIODevice::WriteOnly) || f.write(w.bytes()) != w.bytes().size()) {
        std::fprintf(stderr, "make-demo-track: cannot write %s\n", argv[1]);
        return 1;
    }
    f.close();
    QFile::remove(out);
    if (!f.rename(out)) {
        std::fprintf(stderr, "make-demo-track: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
