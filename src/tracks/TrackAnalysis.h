#pragma once

// Division of a track into movement and stop parts, folding of short stops and the per-part
// distance and speed. Free of any display: the parts table, the map and the reports all take
// what they need from here.

#include <QString>

#include <cstdint>
#include <vector>

#include "app/DateUtils.h"
#include "tracks/CoordsUtils.h"

class TFManager;
struct TOptions;

// One part of a track: points bind..eind (indexes into the track), moving or standing.
struct TTrackPart {
    bool moving = false;
    int32_t bind = 0;
    int32_t eind = -1;
    bool operator==(const TTrackPart &) const = default;
};
using ArrayTracks = std::vector<TTrackPart>;

// The settings the analysis reads.
struct TTrackSettings {
    int MinSpeed = 10;   // km/h: a pair above it is moving
    int MaxSpeed = 300;  // km/h: a pair at or above it is a jump and adds no distance
    int RestMinTime = 1; // minutes: shorter stops are folded into the movement
    static TTrackSettings fromOptions(const TOptions &o);
};

// Whole seconds between two times: the difference taken in whole milliseconds, then truncated
// (so that 60 s stored as 59.9999... s still counts as 60).
int64_t WholeSecondsBetween(TDateTime a, TDateTime b);
// The speed of a pair whose distance (metres) is known, as CoordSpeed computes it: whole
// seconds rounded half to even. Zero seconds give infinity, or NaN without a distance.
long double PairSpeed(long double metres, const TCoordData &A, const TCoordData &B);
// Whole seconds between the part's first and last point (0 for a part without points).
int64_t PartSeconds(const std::vector<TCoordData> &track, const TTrackPart &part);

// Division by speed: sample k (1..N-1) is the pair (k-1, k), moving when its speed is above
// MinSpeed (an infinite speed counts as moving, NaN as standing). Six consecutive samples of
// the other kind change the mode; a track whose mode never settles is one movement part.
ArrayTracks SeparateTrackC(const std::vector<TCoordData> &track, int MinSpeed);
// Division by the engine signal: sample k (0..N-1) is point k, moving when its g24 is 1.
ArrayTracks SeparateTrackE(const std::vector<TCoordData> &track);
// Folds the stops shorter than RestMinTime minutes into the surrounding parts.
void FoldShortStops(ArrayTracks &parts, const std::vector<TCoordData> &track, int RestMinTime);

// The analysis of one track with the pair distances computed once: the division measures every
// pair, and the distances and speeds of the parts reuse those measurements.
class TTrackAnalysis {
public:
    TTrackAnalysis(const std::vector<TCoordData> &track, const TTrackSettings &settings);

    const std::vector<TCoordData> &track() const { return m_track; }
    const TTrackSettings &settings() const { return m_settings; }

    ArrayTracks separateBySpeed();
    ArrayTracks separateByEngine() const { return SeparateTrackE(m_track); }
    // Division (by the engine signal when byEngine) and folding of short stops.
    ArrayTracks divide(bool byEngine);

    // Distance of a movement part in km: the pairs whose speed is below MaxSpeed; 0 for a stop
    // or a part with eind <= bind.
    long double run(const TTrackPart &part);
    // Average speed of a movement part in km/h over its whole seconds; 0 for a stop and where
    // the value is not finite (a part of zero seconds).
    long double avgSpeed(const TTrackPart &part);

    // The ground distance of the pair (j, j + 1), measured once.
    long double pairDistance(int j);

private:
    void measureAll();

    const std::vector<TCoordData> &m_track;
    TTrackSettings m_settings;
    std::vector<long double> m_distance; // pair j -> metres; NaN while not measured
    bool m_measured = false;
};

// Distance run in km over the movement parts of a track divided by speed and folded: the
// report computations' form of the analysis.
long double TrackRunKm(const std::vector<TCoordData> &track, const TTrackSettings &settings);

// The records of an object's day files ("yyyymmdd.dat" in folder, which ends with "/") for a
// period, as TFManager::form_track gathers them (the neighbouring days' files included).
std::vector<TCoordData> LoadTrackPeriod(TFManager &fmngr, const QString &folder, TDateTime start,
                                        TDateTime end);

// "%d:%0.2d:%0.2d" of hours, minutes and seconds: 90061 gives "25:01:01".
QString SecondsTo_hhh_mm_ss(int64_t sec);
// "D-H-M-S" to "HH:MM:SS" with hours = D * 24 + H. A malformed text raises std::runtime_error
// "Mistake of transformation of format DHMS in HMS (<the text not yet read>)".
QString DHMStoHMS(const QString &DHMS);
