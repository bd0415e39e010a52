#pragma once

#include "AccountSession.h"
#include "ObjectSim.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <vector>

struct TServerOptions {
    int port = 7788; // 0: any free port
    TSessionOptions session;
    std::vector<TObjectConfig> objects;
    double packetSeconds = 10;    // one on-line packet per object this often
    int furtherPoints = -1;       // points after the position per packet; -1: one per 2 s
    bool packetLf = true;         // packets end with LF, as the devices send them
    bool localTime = false;       // packet times in local time instead of UTC
    double cnevSeconds = 0;       // an object drops off or comes back this often; 0: never
    int gpsLostEvery = 0;         // every Nth packet of an object has no position; 0: never
    uint64_t seed = 1;            // the fleet's story: the same seed, the same days
    double exitAfterSeconds = -1; // stop by itself
    bool exitOnStdinEof = false;
    bool watchParent = true; // stop when the process that started it is gone
    // The archive: an FTP service on 127.0.0.1:ftpPort (-1: none) serving the objects' day
    // files of the last archiveDays days and of today, kept in archiveDir (empty: temporary).
    int ftpPort = -1;
    int archiveDays = 2;
    QString archiveDir;

    // Parses the command line (without the program name); false with error text on misuse.
    bool parse(const QStringList &args, QString &error);
    static QString usage();
};

// The monitoring server: a listening socket on 127.0.0.1, one session per client, the
// simulated objects whose packets go to every authorised session. One thread, one poll loop.
class TMonitorServer {
public:
    explicit TMonitorServer(TServerOptions options);
    ~TMonitorServer();

    // Binds; false with error text. port() then holds the real port.
    bool listen(QString &error);
    int port() const { return m_port; }
    // Runs until stop() (or a signal), the exit time, stdin EOF or the parent's end.
    int run();
    static void requestStop() { s_stop = true; }

private:
    void log(const QString &text) const;
    double now() const;
    static double utcNow();
    void accept(double t);
    void sendPackets(double t);
    void toggleConnection(double t);
    QString cobjList() const;
    void broadcastLine(const QString &body, double t);

    TServerOptions m_opt;
    int m_listenFd = -1;
    int m_port = 0;
    int m_nextId = 1;
    std::vector<std::unique_ptr<TAccountSession>> m_sessions;
    std::vector<TObjectSim> m_objects;
    std::vector<bool> m_connected;
    double m_start = 0;
    double m_nextPacket = 0;
    double m_nextCnev = 0;
    size_t m_cnevIndex = 0;
    long m_packetRound = 0;
    static std::atomic<bool> s_stop;
};
