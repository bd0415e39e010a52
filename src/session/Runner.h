#pragma once

// The one runner of long work: an import, an archive download, a database update or a report
// query runs through it. It holds the busy state (one run at a time), resumes the run's task
// from the event loop in short slices, so the window stays responsive and "Отмена" reachable
// whatever else is open, and tells when the run has ended. An exit waits for it (the session
// asks active() and closes on finished).
//
// The runner lets events through only by returning to the event loop between slices; it never
// spins a loop of its own. A task that waits for another thread pauses with TRunPause::Wait and
// is resumed a few milliseconds later.

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

#include "app/RunTask.h"

class TErrorGuard;

// What runs, for the commands a run disables and the messages around it.
enum class TRunKind { None, Import, Download, DatabaseUpdate, Report };

class TRunner : public QObject {
    Q_OBJECT
public:
    // How long one slice may run before events are let through.
    static constexpr int SliceMs = 15;
    static constexpr int WaitMs = 5;

    explicit TRunner(TErrorGuard &guard, QObject *parent = nullptr);
    ~TRunner() override;

    // Starts task unless a run is active (then false and the task is dropped unstarted).
    // done, when set, runs after the task has ended (also after an error, which the guard has
    // already shown; ok tells which).
    bool start(TRunKind kind, TRunTask task, std::function<void(bool ok)> done = {});
    bool active() const { return m_kind != TRunKind::None; }
    TRunKind kind() const { return m_kind; }

    // Runs task to its end on the spot (the batch front end, which has no window to serve).
    // An error propagates to the caller.
    static void runHere(TRunTask task) { task.runToEnd(); }

signals:
    void activeChanged(bool active);
    void finished(TRunKind kind, bool ok);

private:
    void slice();

    TErrorGuard &m_guard;
    TRunKind m_kind = TRunKind::None;
    TRunTask m_task;
    std::function<void(bool)> m_done;
    QTimer m_timer;
};
Q_DECLARE_METATYPE(TRunKind)
