#include "reports/QueryWorker.h"

#include <firebird/Interface.h>

#include <thread>

#include "tracks/FileManager.h"

void TWorkerState::cancel() {
    m_cancel = true;
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_database || !m_database->attachment())
        return;
    // The server stops the statement it is running; the worker's query then fails and the
    // worker sees the stop request.
    Firebird::IMaster *master = Firebird::fb_get_master_interface();
    Firebird::IStatus *status = master->getStatus();
    Firebird::CheckStatusWrapper wrapper(status);
    m_database->attachment()->cancelOperation(&wrapper, fb_cancel_raise);
    status->dispose();
}

class TQueryWorker {
public:
    TQueryWorker(TWorkerInput input, TReportJob job, std::shared_ptr<TWorkerState> state)
        : m_input(std::move(input)), m_job(std::move(job)), m_state(std::move(state)) {
        m_thread = std::thread([this] { run(); });
    }
    ~TQueryWorker() {
        if (m_thread.joinable()) {
            if (!m_state->finished())
                m_state->cancel();
            m_thread.join();
        }
    }
    void join() {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void run() {
        if (m_state->cancelled()) {
            // Cancelled before it began: nothing is asked of the server.
            m_state->m_error = std::make_exception_ptr(EQueryCancelled());
            m_state->m_finished = true;
            return;
        }
        try {
            db::TDatabase database;
            database.open(m_input.connection);
            {
                std::lock_guard<std::mutex> lock(m_state->m_lock);
                m_state->m_database = &database;
            }
            try {
                TFManager fmngr;
                TFuelComputations fuel(database, m_input.options, m_input.norms, fmngr);
                fuel.setSideConnection(m_input.connection);
                TQueryControl control;
                control.cancelled = [s = m_state.get()] { return s->cancelled(); };
                control.progress = [s = m_state.get()](int done, int total) {
                    s->m_done = done;
                    s->m_total = total;
                };
                m_job(fuel, control);
            } catch (...) {
                m_state->m_error = m_state->cancelled() ? std::make_exception_ptr(EQueryCancelled())
                                                        : std::current_exception();
            }
            {
                std::lock_guard<std::mutex> lock(m_state->m_lock);
                m_state->m_database = nullptr;
            }
            database.forceClose();
        } catch (...) {
            m_state->m_error = std::current_exception();
        }
        m_state->m_finished = true;
    }

    TWorkerInput m_input;
    TReportJob m_job;
    std::shared_ptr<TWorkerState> m_state;
    std::thread m_thread;
};

TRunTask RunReportJob(TWorkerInput input, TReportJob job, std::shared_ptr<TWorkerState> state,
                      std::function<void(int, int)> progress) {
    TQueryWorker worker(std::move(input), std::move(job), state);
    int done = -1, total = -1;
    while (!state->finished()) {
        if (progress && (state->done() != done || state->total() != total)) {
            done = state->done();
            total = state->total();
            progress(done, total);
        }
        co_yield TRunPause::Wait;
    }
    worker.join();
    if (state->error())
        std::rethrow_exception(state->error());
}
