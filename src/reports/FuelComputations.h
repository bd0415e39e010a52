#pragma once

// The fuel and run figures of the reports for one object and one interval: the tank level at
// both ends, the fuel filled by the sensor and by the operator's records, the fuel used by the
// sensor, the norm for the distance run, the distance and the engine time. Each call runs its
// own short transactions on the given connection and keeps nothing between calls; the traced
// ones write their steps into a list of lines the caller shows.

#include <QString>
#include <QStringList>

#include <future>
#include <map>
#include <memory>
#include <optional>

#include "app/DateUtils.h"

struct TOptions;
class TFManager;
class TManager;
namespace db {
class TDatabase;
class TQuery;
struct TConnectionSettings;
} // namespace db

// One stretch between refuellings: the level at its start and at its end.
struct TTimeRange {
    TDateTime tbgn = 0; // start
    int ibgn = 0;       // raw reading at the start
    double fbgn = 0;    // litres at the start
    TDateTime tend = 0;
    int iend = 0;
    double fend = 0;
};

// The reading in force at a moment.
struct TReadingAt {
    TDateTime time = 0;
    double litres = 0;
    int reading = 0;
};

// What the computations need of a registered object: its summer and winter norms (litres per
// 100 km). A copy taken on the main thread lets a worker thread compute without the registry.
struct TObjectNorm {
    int FuelConsS = 0;
    int FuelConsW = 0;
};
using TObjectNorms = std::map<int, TObjectNorm>;
TObjectNorms NormsOf(const TManager *registry);

class TFuelComputations {
public:
    // registry: whose norms and track files are meant (null: no object is known).
    TFuelComputations(db::TDatabase &database, const TOptions &options, const TManager *registry,
                      TFManager &fmngr);
    // The same with the known objects given as a copy.
    TFuelComputations(db::TDatabase &database, const TOptions &options, TObjectNorms norms,
                      TFManager &fmngr);

    db::TDatabase &database() const { return m_db; }

    // A run of many calls (the days of a report, the objects of a set) on one read-committed
    // transaction with its statements prepared once and the litres of each reading looked up
    // once. While a run is open every call but DetectCharges (which commits its own writes)
    // reads through it; a run opened inside another one does nothing.
    class TRun {
    public:
        explicit TRun(TFuelComputations &fuel);
        ~TRun();
        TRun(const TRun &) = delete;
        TRun &operator=(const TRun &) = delete;

    private:
        TFuelComputations &m_fuel;
        bool m_owner = false;
    };

    // Litres for a raw reading by the object's calibration table; 0 when the query fails.
    double GetFuelLitres(int object, int reading);
    // The reading in force at the moment; false when there is none (or the query fails).
    bool GetReadingAt(int object, TDateTime moment, TReadingAt &out);
    // Litres filled in [start, end] by the sensor: the refuellings that open in the interval,
    // closing litres less opening litres each; a negative total counts 0.
    double GetChargedBySensor(int object, TDateTime start, TDateTime end, QStringList &log);
    // Litres the operator recorded for the refuellings that close in [start, end).
    double GetChargedManual(int object, TDateTime start, TDateTime end);
    // Litres used in the interval by the sensor: the falls of the level between refuellings,
    // with the boundary readings averaged over the averagingMinutes before them (0: none).
    // With detect, the refuellings of the interval are detected first (threshold in sensor
    // units as the refuelling window passes it).
    double GetFuelConsumption(int object, int averagingMinutes, bool detect, QStringList &log,
                              int threshold, TDateTime start, TDateTime end);
    // The refuellings of [start, end] found from the readings and stored (PROC_CHARGEFILL2).
    void DetectCharges(int object, int threshold, TDateTime start, TDateTime end);
    // A second connection to the same database, for work that can go on beside the caller's
    // own query; none until set.
    void setSideConnection(const db::TConnectionSettings &settings);
    // DetectCharges on the side connection while the caller goes on; get() waits for it and
    // raises its error (one detection at a time uses the connection). Without a side
    // connection it detects before returning.
    std::future<void> DetectChargesBeside(int object, int threshold, TDateTime start,
                                          TDateTime end);
    // Norm litres for a distance: the summer or the winter rate of the object (litres per
    // 100 km) by the month of the day; 0 for an unknown object.
    double GetNormConsumption(int object, double kilometres, TDateTime day) const;
    // Kilometres run by the object's track files in [start, end], divided into moving and
    // standing parts as the track analysis does; 0 for an unknown object.
    double GetTrackLength(int object, TDateTime start, TDateTime end) const;
    // Engine time of the interval as "H:MM:SS"; maxLost is the greatest gap between packets
    // (a fraction of a day). "0" when there are no rows or the query fails.
    QString GetEngineTime(int object, TDateTime maxLost, TDateTime start, TDateTime end);

    // The rate of a month: summer when summerStart <= month <= summerEnd (no wrap over the
    // new year).
    static double NormConsumption(int summerRate, int winterRate, int summerStart, int summerEnd,
                                  double kilometres, TDateTime day);

private:
    struct TRunState;
    // The run's statement for a text, prepared at its first use.
    db::TQuery &statement(const QString &sql);
    // Litres for a reading (NULL gives 0); database errors reach the caller.
    double litresOf(int object, std::optional<int> reading);
    // The boundary reading of the consumption at a moment (steps 2 and 3).
    TTimeRange boundary(int object, TDateTime moment, int averagingMinutes);

    db::TDatabase &m_db;
    const TOptions &m_options;
    TObjectNorms m_norms;
    TFManager &m_fmngr;
    std::shared_ptr<TRunState> m_run; // the open run, if any
    struct TSide;
    std::shared_ptr<TSide> m_side; // the second connection, opened at its first use
};
