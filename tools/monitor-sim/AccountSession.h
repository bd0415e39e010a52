#pragma once

#include "link/Bytes.h"

#include <QString>

#include <deque>
#include <functional>
#include <map>

// Switches shared by every session of the server.
struct TSessionOptions {
    std::map<QString, QString> accounts; // login -> password
    double keepAliveSeconds = 60;        // 0: no keep-alives
    double reidAfterSeconds = -1;        // once, after authorisation; < 0: never
    double closeAfterSeconds = -1;       // drop the connection after authorisation; < 0: never
    int keyLength = 16;
    bool badProof = false;   // prove a wrong password to the client
    bool oversize = false;   // send a line longer than the client's buffer
    bool splitLines = false; // every line in two writes, a moment apart
    bool coalesce = false;   // the lines of one moment in a single write
    bool garbage = false;    // lines that cannot be decrypted, after authorisation and keep-alives
    // The objects' devices: offered every line that is none of the server's own; true when
    // taken. Their answers go back as data lines of the object.
    std::function<bool(const TBytes &, const std::function<void(int, const TBytes &)> &)> devices;
};

// One client connection of the monitoring server: the server side of the handshake, the
// encrypted line traffic, keep-alives, and the faults it was asked to show.
class TAccountSession {
public:
    using TLog = std::function<void(const QString &)>;
    using TCobjList = std::function<QString()>;

    TAccountSession(int id, int fd, const TSessionOptions &options, TLog log, TCobjList cobj);
    ~TAccountSession();

    int fd() const { return m_fd; }
    int id() const { return m_id; }
    bool online() const { return m_phase == Phase::Online; }
    bool closed() const { return m_phase == Phase::Closed; }
    QString login() const { return m_login; }
    bool wantsWrite(double now) const;

    void onReadable(double now);
    void onWritable(double now);
    // Timers; returns the next moment it needs to be woken.
    double onTick(double now);

    // Sends an encrypted line whose first byte the client ignores ("s|...").
    void sendServerLine(const QString &body, double now);
    void sendDataLine(int object, const TBytes &packet, double now);
    void close(const QString &why);

private:
    enum class Phase { Hello, Proof, KeyOk, Online, Closed };

    void handleLine(const TBytes &line, double now);
    void handleHello(const TBytes &line);
    void handleProof(const TBytes &line);
    void handleKeyOk(const TBytes &line, double now);
    void handleOnline(const TBytes &line, double now);
    void queueRaw(const TBytes &bytes, double now);
    void queueEncrypted(const TBytes &plain, double now);
    bool takeLine(TBytes &line);
    void sendKeepAlive(double now);
    void sendGarbage(double now);
    void log(const QString &text) const;

    int m_id;
    int m_fd;
    TSessionOptions m_opt;
    TLog m_log;
    TCobjList m_cobj;
    Phase m_phase = Phase::Hello;
    QString m_login;
    TBytes m_md5; // MD5 of the account's password
    TBytes m_f2;  // the challenge the client has to encrypt
    TBytes m_key; // session key
    TBytes m_in;
    struct Chunk {
        double due;
        TBytes bytes;
    };
    std::deque<Chunk> m_out;
    TBytes m_pendingBatch; // coalesced lines of this moment
    bool m_closeWhenFlushed = false;
    double m_authAt = 0;
    double m_nextKeepAlive = 0;
    bool m_reidSent = false;
};
