#pragma once

// Fuel drains: fuel leaving the tank of a standing object. A drain is a fall of the fuel volume
// of at least `litres` within at most `windowMinutes` while the object stands (speed under
// 3 km/h, or the engine off where the object has an engine signal), measured on the median of
// the last `median` readings, so that sloshing and single spikes raise nothing. It begins at
// the last reading before the fall and ends when the level has not fallen further for
// `windowMinutes` or the object moves off; its volume is the level before less the level
// after. Consumption while driving and a refuelling (a rise) are never drains.
//
// The detector takes one reading at a time, so the live packets and a period's stored readings
// go through the same code and get the same answer.

#include "app/DateUtils.h"
#include "db/ObjectRegistry.h" // TCalibrationPoint

#include <cmath>
#include <deque>
#include <limits>
#include <optional>
#include <vector>

class TControllableObject;
struct TCoordData;

struct TDrainRule {
    double litres = 20;        // the least fall that is a drain
    double windowMinutes = 10; // the longest time the fall may take
    int median = 5;            // readings the level is the median of
    bool operator==(const TDrainRule &) const = default;
};

// An object's rule: its own values where it has them, the general ones otherwise.
TDrainRule EffectiveRule(const TObjectDrainRule &own, const TDrainRule &general);

// One fuel reading of an object, in the order they were taken.
struct TFuelReading {
    TDateTime time = 0;
    double litres = std::numeric_limits<double>::quiet_NaN();   // NaN: no sensor data
    double speedKmh = std::numeric_limits<double>::quiet_NaN(); // NaN: not known (no fix)
    std::optional<bool> engine; // the engine is running; empty where there is no such signal
};

struct TDrain {
    TDateTime begin = 0; // the last reading before the fall
    TDateTime end = 0;   // the reading the level stopped falling at (so far)
    double levelBefore = 0;
    double levelAfter = 0; // so far, while the drain goes on
    double litres() const { return levelBefore - levelAfter; }
};

enum class TDrainEventKind {
    Raised, // the fall reached the threshold: an alert, with the litres so far
    Grew,   // the level fell further
    Ended,  // no further fall for the window, or the object moved off; the drain is final
};

struct TDrainEvent {
    TDrainEventKind kind;
    TDrain drain;
};

class TDrainDetector {
public:
    // stepLitres: the litres of one sensor unit at the coarsest part of the object's
    // calibration table (CalibrationStep); a level that moves by less is noise, not a fall.
    explicit TDrainDetector(const TDrainRule &rule = {}, double stepLitres = 0);

    // Takes the next reading; a reading older than the one before is ignored.
    std::optional<TDrainEvent> feed(const TFuelReading &reading);
    // Ends a drain still open at the end of the readings.
    std::optional<TDrainEvent> finish();
    bool draining() const { return m_active; }

private:
    struct TLevel {
        TDateTime at; // the middle of the readings the median is taken of
        double litres;
    };
    // steady: the level has stood for the window since the last fall.
    std::optional<TDrainEvent> end(bool steady);
    void reset();
    double window() const { return m_rule.windowMinutes / 1440.0; }

    TDrainRule m_rule;
    double m_step;
    std::optional<TDateTime> m_last;
    bool m_standing = false;
    std::deque<TFuelReading> m_readings; // the standing readings the median is taken of
    std::deque<TLevel> m_levels;         // the medians of the last window
    // The open drain.
    bool m_active = false;
    TDrain m_drain;
    double m_anchor = 0;        // the level at the last real fall
    TDateTime m_lastFall = 0;   // when the level last fell by more than the noise
    std::vector<TLevel> m_fall; // the medians since the drain began
};

// The drains of a period's readings (a drain still open at the end counts, as it stands).
std::vector<TDrain> FindDrains(const std::vector<TFuelReading> &readings,
                               const TDrainRule &rule = {}, double stepLitres = 0);

// Litres for a raw reading by an object's calibration table, as the database converts them:
// linear between points, the first or last point's volume beyond them, 0 without a table.
double CalibratedLitres(const std::vector<TCalibrationPoint> &points, int reading);
// The most litres one sensor unit stands for anywhere in the table (0 without a table).
double CalibrationStep(const std::vector<TCalibrationPoint> &points);

// The reading of the packet just applied to an object, as the live client takes it: the
// object's time, the litres RecalcParams made of its sensor (none before the object has had a
// reading above 50, the least the packets carry over), its speed (none while not known), and
// its engine signal where the object uses one for its stops (UseEngineForPark).
TFuelReading LiveReading(const TControllableObject &o);

// A stored reading (INPUTSIGNALS): the packet time, the raw sensor value, the engine signal.
struct TStoredReading {
    TDateTime time = 0;
    int raw = 0;
    int engine = 0;
};

// A period's stored readings read as the live client reads them packet by packet, so that the
// rule gives the same answer: a raw value of 50 or less keeps the one before; litres through
// the calibration table, never above the tank volume (as RecalcParams); the speed from the
// last two track positions before the next reading (kept when they give none); the engine
// signal where the object uses one. rows and track in time order.
std::vector<TFuelReading> HistoryReadings(const std::vector<TStoredReading> &rows,
                                          const std::vector<TCoordData> &track,
                                          const std::vector<TCalibrationPoint> &points,
                                          double tankVolume, bool useEngine);
