#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

// The monitoring-server simulator as a child process on 127.0.0.1 with a free port.
class TSimProcess {
public:
    explicit TSimProcess(QStringList args) {
        args << "--port"
             << "0"
             << "--exit-after"
             << "60";
        m_proc.setProgram(QStringLiteral(ZARNEX_TOOLS_DIR "/zarnex-monitor-sim"));
        m_proc.setArguments(args);
        m_proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_proc.start();
        if (!m_proc.waitForStarted(5000))
            return;
        QElapsedTimer t;
        t.start();
        while (!m_proc.canReadLine() && t.elapsed() < 5000)
            m_proc.waitForReadyRead(100);
        m_port = QString::fromLatin1(m_proc.readLine()).trimmed().toInt();
    }
    ~TSimProcess() {
        // What the server saw explains most failures.
        if (::testing::Test::HasFailure())
            for (const QString &l : log())
                std::fprintf(stderr, "sim: %s\n", l.toUtf8().constData());
        m_proc.terminate();
        if (!m_proc.waitForFinished(3000))
            m_proc.kill();
        m_proc.waitForFinished(1000);
    }

    QString port() const { return QString::number(m_port); }
    bool ok() const { return m_port > 0; }

    // Reads what the simulator has logged so far.
    const QStringList &log() {
        while (m_proc.canReadLine())
            m_log << QString::fromUtf8(m_proc.readLine()).trimmed();
        return m_log;
    }
    int count(const QString &needle) {
        int n = 0;
        for (const QString &l : log())
            n += l.contains(needle) ? 1 : 0;
        return n;
    }
    QString find(const QString &needle) {
        for (const QString &l : log())
            if (l.contains(needle))
                return l;
        return {};
    }
    QProcess &process() { return m_proc; }

private:
    QProcess m_proc;
    int m_port = 0;
    QStringList m_log;
};

// Runs the main thread's events until pred holds or the time is up.
inline bool waitUntil(const std::function<bool()> &pred, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// Keeps the main thread's events running for a while.
inline void spin(int ms) {
    waitUntil([] { return false; }, ms);
}
