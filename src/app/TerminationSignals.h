#pragma once

// SIGTERM, SIGINT and SIGHUP (a logout, a shutdown, a service manager's stop, Ctrl+C) reach the
// event loop as a Qt signal: the handler only writes the signal's number into a socket pair,
// and a notifier on the other end emits received() where anything may be done.

#include <QObject>

class QSocketNotifier;

class TTerminationSignals : public QObject {
    Q_OBJECT
public:
    // One per program: the handlers write to this object's socket pair.
    explicit TTerminationSignals(QObject *parent = nullptr);
    ~TTerminationSignals() override;
    TTerminationSignals(const TTerminationSignals &) = delete;
    TTerminationSignals &operator=(const TTerminationSignals &) = delete;

    // Sets the handlers. Called again after a library set its own: the database client does
    // so when it attaches, and its handler closes the connection under the program's feet.
    void install();
    bool ok() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier *m_notifier = nullptr;
};
