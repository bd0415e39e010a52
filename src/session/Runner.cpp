#include "session/Runner.h"

#include "app/ErrorGuard.h"

#include <QElapsedTimer>

TRunner::TRunner(TErrorGuard &guard, QObject *parent) : QObject(parent), m_guard(guard) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TRunner::slice);
}

TRunner::~TRunner() {
    m_timer.stop();
}

bool TRunner::start(TRunKind kind, TRunTask task, std::function<void(bool)> done) {
    if (active() || kind == TRunKind::None)
        return false;
    m_kind = kind;
    m_task = std::move(task);
    m_done = std::move(done);
    emit activeChanged(true);
    m_timer.start(0);
    return true;
}

void TRunner::slice() {
    bool more = false;
    const bool ok = m_guard.run([&] {
        QElapsedTimer clock;
        clock.start();
        do {
            more = m_task.resume();
        } while (more && m_task.pause() == TRunPause::Busy && clock.elapsed() < SliceMs);
    });
    if (ok && more) {
        m_timer.start(m_task.pause() == TRunPause::Wait ? WaitMs : 0);
        return;
    }
    // Ended, or failed (the guard has shown the error).
    const TRunKind kind = m_kind;
    std::function<void(bool)> done = std::move(m_done);
    m_task = TRunTask();
    m_kind = TRunKind::None;
    if (done)
        m_guard.run([&] { done(ok); });
    emit activeChanged(false);
    emit finished(kind, ok);
}
