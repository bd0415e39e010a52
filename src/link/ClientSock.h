#pragma once

#include "link/Bytes.h"

class TDialogs;

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

enum TErrors { eENone, eESocket, eEAutorization, eEUnknown };

using TOnState = std::function<void()>;
using TOnData = std::function<void()>;
// The lines of one read, in order, handed over together (see setOnLines).
using TOnLines = std::function<void(const std::vector<TBytes> &)>;

// The single connection to the monitoring server.
//
// The owner (the main window) creates it once in the main thread:
//
//     FClientThread = std::make_unique<TClientThread>([this] { ClientDataIn(); },
//                                                     [this] { ClientStateChanged(); });
//
// and keeps it for the whole run; only the socket comes and goes. The worker thread starts at
// once and idles until ConnectTo. Both callbacks take no arguments and always run in the
// thread that constructed the object (which must run a Qt event loop):
// - AOnState after every change of getState(); the worker waits until it returns. A change
//   made by the main thread itself (ConnectTo, Disconnect, a failed war) calls it directly,
//   so it may nest inside another call.
// - AOnData for every received line other than keep-alives and "reid"; getData() holds the
//   plaintext and stays stable while the callback runs, the worker waiting for it. Without
//   AOnData received lines are discarded unhandled (keep-alives included).
// A line that cannot be decrypted or handled is reported with "Error in data" through
// the dialogs in the main thread; the worker does not wait for the box. One box per connection
// at most, and one report at most waits for the main thread: the other lines go to the
// operations log (LoggedBadLines of them per connection, then a count every thousand).
//
// The receive time-out (120 s) is fixed, not the ServerTimeOut setting; a server that sends
// nothing for that long is taken as lost. Disconnect ends the connection quietly: the receive
// it breaks is not reported as an error. ConnectTo on a live connection replaces it.
// war() and the getters may be called from any thread.
//
// Terminate() asks the worker to stop (no callback runs after it); the destructor terminates
// and joins, which never blocks on the main thread: a pending hand-over is cancelled.
class TClientThread {
public:
    static constexpr int DefaultReceiveTimeoutMs = 120000;
    static constexpr int LoggedBadLines = 100;
    static constexpr int ReportedBytes = 1024; // of a bad line, in its box or log line

    TClientThread(TOnData AOnData, TOnState AOnState, TDialogs &dialogs,
                  int receiveTimeoutMs = DefaultReceiveTimeoutMs);
    ~TClientThread();
    TClientThread(const TClientThread &) = delete;
    TClientThread &operator=(const TClientThread &) = delete;

    // Opens the TCP connection (blocking). False on failure: state 255 with eESocket, or no
    // state change at all for a port that is not a number.
    bool ConnectTo(const QString &host, const QString &port, const QString &login,
                   const QString &password);
    // State 0. The socket is shut down here; the worker closes it.
    void Disconnect();
    // Sends one line, encrypted with the session key when e is true. A failed send puts the
    // link into state 255 without changing the error code and returns false.
    bool war(const TBytes &arr, bool e);

    uint8_t getState() const;
    TErrors getError() const;
    QString getLogin() const;
    TBytes getData() const;

    // With a lines handler, the lines cut from one read (keep-alives and "reid" answered by
    // the worker) are handed to the main thread in one call, oldest first, instead of one
    // AOnData call each; the worker waits until the call returns, so a busy main thread gets
    // bigger batches. Set it before the first ConnectTo.
    void setOnLines(TOnLines handler) {
        std::lock_guard l(m_mx);
        fOnLines = std::move(handler);
    }

    // Applies to the next ConnectTo.
    void setReceiveTimeout(int ms) { m_receiveTimeoutMs = ms; }
    int receiveTimeout() const { return m_receiveTimeoutMs; }

    // Where the 32-byte challenge of a handshake comes from; by default random text.
    void setChallengeSource(std::function<TBytes()> source);

    void Terminate();
    bool Terminated() const { return m_terminated; }
    bool Finished() const { return m_finished; }

    // Whether a challenge's proof (its ciphertext under key, escaped as the server sends it)
    // can cross the line intact: at most one "|" (only the first is escaped and the reply is
    // split at the next one) and no CR LF (the reply would be cut there).
    static bool ProofTravels(const TBytes &challenge, const TBytes &key);

private:
    void Execute();
    bool Handshake(int fd, TBytes &sessionKey);
    void ReceiveLoop(int fd, quint64 gen);
    void HandleLine(int fd, quint64 gen, const TBytes &line, int &badLines);
    // Decrypts a line and answers it when it is the worker's; true (with the plaintext) when it
    // goes to the main thread.
    bool TakeLine(int fd, quint64 gen, const TBytes &line, int &badLines, TBytes &plain);
    void ReportBadLine(quint64 gen, const TBytes &line, int count);
    bool ReadHandshakeLine(int fd, TBytes &line);
    // Handshake sends fail the handshake instead of reporting state 255 on their own.
    bool SendOn(int fd, const TBytes &arr, bool e, const TBytes &key, bool reportFailure = true);
    void FailSession(quint64 gen);
    bool IsCurrent(quint64 gen) const;
    void RetireLocked();
    void CloseRetired();

    void SetState(uint8_t state);
    bool RunInMainThread(const std::function<void()> &f);
    bool InMainThread() const;
    void PostMessage(const QString &text);
    void ShowMessage(const QString &text);

    TOnData fOnData;
    TOnState fOnState;
    TOnLines fOnLines; // under m_mx
    TDialogs &m_dialogs;
    std::atomic<int> m_receiveTimeoutMs;

    mutable std::mutex m_mx; // the fields below
    int ssock = -1;
    QString shost;
    QString sport;
    uint8_t _estate = 0;
    TErrors _eerr = eENone;
    TBytes _data;
    TBytes grb_send;
    QString slog;
    QString spwd;
    bool auth = false;
    TBytes a_key;
    bool sockConnected = false;
    quint64 m_gen = 0;          // one per ConnectTo: a session the worker serves
    std::vector<int> m_retired; // shut down, waiting for the worker to close them
    std::function<TBytes()> m_challengeSource;

    std::mutex m_sendMx; // one line at a time on the wire; held while a descriptor is closed
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_finished{false};
    bool m_boxOpen = false;                  // main thread only
    std::atomic<bool> m_reportQueued{false}; // a report waits for the main thread
    std::atomic<quint64> m_boxGen{0};        // the connection whose line was shown
    QObject m_context; // lives in the main thread; hand-overs are posted to it
    std::thread m_thread;
};
