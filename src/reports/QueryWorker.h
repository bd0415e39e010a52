#pragma once

// A report query in a worker thread with a connection of its own, as a task of the runner:
// the task pauses (TRunPause::Wait) until the worker is done, reporting the worker's progress,
// and rethrows the worker's error. Cancelling asks the worker to stop at its next step and
// cancels the statement the server is running; a task destroyed mid-run cancels and joins.
//
// The worker never touches the main thread's objects: it gets copies of the settings and of
// the objects' norms, and a track-file registry of its own.

#include <QString>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "app/Options.h"
#include "app/RunTask.h"
#include "db/Database.h"
#include "reports/FuelComputations.h"
#include "reports/ReportGrid.h"

// What the main thread and the worker share.
class TWorkerState {
public:
    // Asks the worker to stop and cancels the running statement.
    void cancel();
    bool cancelled() const { return m_cancel.load(); }
    bool finished() const { return m_finished.load(); }
    int done() const { return m_done.load(); }
    int total() const { return m_total.load(); }
    // The worker's failure once it has finished (EQueryCancelled after a cancel).
    std::exception_ptr error() const { return m_error; }

private:
    friend class TQueryWorker;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_done{0};
    std::atomic<int> m_total{0};
    std::mutex m_lock; // guards m_database while the worker opens and closes it
    db::TDatabase *m_database = nullptr;
    std::exception_ptr m_error;
};

// The job: runs in the worker with its connection and computations.
using TReportJob = std::function<void(TFuelComputations &fuel, const TQueryControl &control)>;

struct TWorkerInput {
    db::TConnectionSettings connection;
    TOptions options;
    TObjectNorms norms;
};

// The task; progress(done, total) runs on the resuming thread whenever the figures change.
TRunTask RunReportJob(TWorkerInput input, TReportJob job, std::shared_ptr<TWorkerState> state,
                      std::function<void(int, int)> progress = {});
