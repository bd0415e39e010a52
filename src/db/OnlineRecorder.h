#pragma once

#include <memory>

#include "db/Database.h"

class TControllableObject;

// Writes what an on-line packet changed in the object's row: the fuel volume of the reading
// (the calibration look-up) and the whole OBJECTS row, in one write transaction ("concurrency",
// "nowait") on the main connection, so that the row is never half-updated. The statements are
// prepared once and run with bound values.
//
// A batch keeps one transaction open over several packets: each packet runs under a savepoint,
// so a packet that fails loses only its own writes, and the batch is committed once.
class TOnlineRecorder {
public:
    explicit TOnlineRecorder(db::TDatabase &database);
    ~TOnlineRecorder();
    TOnlineRecorder(const TOnlineRecorder &) = delete;
    TOnlineRecorder &operator=(const TOnlineRecorder &) = delete;

    // One packet in a transaction of its own: look-up, row, commit; rolled back when anything
    // raises (the error is raised again). Sets the object's FuelLevelL.
    void recordOne(TControllableObject &o);

    // Starts the transaction of a batch (nothing when it is already open).
    void beginBatch();
    bool inBatch() const { return m_batch; }
    // One packet of the batch under its own savepoint; a failure rolls back to the savepoint
    // and is raised again, the rest of the batch stays.
    void recordInBatch(TControllableObject &o);
    // Commits the batch; on failure it is rolled back and the error raised.
    void commitBatch();
    // Gives the batch up (rolls back); never throws.
    void abandonBatch() noexcept;

    // The full-row statement with "?" markers (the benchmark's floor runs the same one).
    static const char *rowSql();
    // Binds the object's values to a statement prepared from rowSql().
    static void bindRow(db::TQuery &q, const TControllableObject &o);

private:
    void prepareStatements();
    void run(TControllableObject &o);
    void dropStatements() noexcept;

    db::TDatabase &m_db;
    db::TTransaction m_tr;
    std::unique_ptr<db::TQuery> m_fuel, m_row, m_savepoint, m_rollbackTo;
    const void *m_preparedOn = nullptr; // the attachment the statements belong to
    bool m_batch = false;
    bool m_stale = false; // a statement failed in the batch: prepare them anew after it
};
