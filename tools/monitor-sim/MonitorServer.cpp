#include "MonitorServer.h"

#include "PacketEncoder.h"

#include <QDateTime>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

std::atomic<bool> TMonitorServer::s_stop{false};

namespace {
bool toDouble(const QString &s, double &v) {
    bool ok = false;
    v = s.toDouble(&ok);
    return ok && std::isfinite(v);
}

bool parseObject(const QString &arg, TObjectConfig &o, QString &error) {
    // NUMBER[,LAT,LON[,SPEED[,FORM]]], degrees with a decimal point
    const QStringList f = arg.split(QLatin1Char(','));
    bool ok = false;
    const int number = f[0].toInt(&ok);
    if (!ok || number <= 0) {
        error = QStringLiteral("bad object number: ") + arg;
        return false;
    }
    // A default object keeps its own settings; another number borrows one of theirs.
    const auto defaults = TObjectSim::defaultObjects();
    o = defaults[static_cast<size_t>(number) % defaults.size()];
    for (const TObjectConfig &x : defaults)
        if (x.number == number)
            o = x;
    o.number = number;
    if (f.size() == 2 || f.size() > 5) {
        error = QStringLiteral("bad object: ") + arg;
        return false;
    }
    if (f.size() >= 3) {
        double lat, lon;
        if (!toDouble(f[1], lat) || !toDouble(f[2], lon) || lat < 0 || lat > 90 || lon < 0 ||
            lon > 180) {
            error = QStringLiteral("bad object position: ") + arg;
            return false;
        }
        // An object placed by hand drives its own loop there.
        o.lat = lat * 60;
        o.lon = lon * 60;
        o.role = TRole::Loop;
        o.tankLitres = 500;
        o.calibration.clear();
    }
    if (f.size() >= 4 && (!toDouble(f[3], o.speedKmh) || o.speedKmh < 0 || o.speedKmh > 250)) {
        error = QStringLiteral("bad object speed: ") + arg;
        return false;
    }
    if (f.size() == 5) {
        o.form = f[4];
        if (!QStringList{"short1", "short2", "short3", "long"}.contains(o.form)) {
            error = QStringLiteral("bad state form: ") + arg;
            return false;
        }
        if (o.role != TRole::Loop) // a table for the other sensor range would not fit
            o.calibration.clear();
    }
    return true;
}

// N,AT,LITRES,MINUTES with AT "+SECONDS" after the start or "HH:MM[:SS]" of today in the
// object's time zone.
struct TDrainArg {
    int number = 0;
    TDrainFault fault;
};

bool parseDrain(const QString &arg, double startUtc, std::vector<TDrainArg> &out, QString &error) {
    const QStringList f = arg.split(QLatin1Char(','));
    error = QStringLiteral("bad drain (N,+SECONDS|HH:MM,LITRES,MINUTES): ") + arg;
    if (f.size() != 4)
        return false;
    TDrainArg d;
    bool ok = false;
    d.number = f[0].toInt(&ok);
    if (!ok || d.number <= 0)
        return false;
    if (!toDouble(f[2], d.fault.litres) || d.fault.litres <= 0 ||
        !toDouble(f[3], d.fault.minutes) || d.fault.minutes <= 0 || d.fault.minutes > 600)
        return false;
    const QString at = f[1].trimmed();
    if (at.startsWith(QLatin1Char('+'))) {
        double s = 0;
        if (!toDouble(at.mid(1), s) || s < 0)
            return false;
        d.fault.atUtc = startUtc + s;
    } else {
        QTime t = QTime::fromString(at, QStringLiteral("H:mm:ss"));
        if (!t.isValid())
            t = QTime::fromString(at, QStringLiteral("H:mm"));
        if (!t.isValid())
            return false;
        // Resolved against the object's zone once the objects are known.
        d.fault.atUtc = -1 - t.msecsSinceStartOfDay() / 1000.0;
    }
    out.push_back(d);
    error.clear();
    return true;
}

bool addAccount(const QString &arg, TSessionOptions &s, QChar sep) {
    const qsizetype i = arg.indexOf(sep);
    if (i <= 0)
        return false;
    s.accounts[arg.left(i)] = arg.mid(i + 1);
    return true;
}
} // namespace

QString TServerOptions::usage() {
    return QStringLiteral(
        "usage: zarnex-monitor-sim [options]\n"
        "  --port N                 listen on 127.0.0.1:N (default 7788; 0 = a free port)\n"
        "  --account LOGIN:PASSWORD an account (repeatable; default demo:demo)\n"
        "  --accounts FILE          accounts, one LOGIN=PASSWORD per line (# comments)\n"
        "  --keepalive SECONDS      keep-alive interval (default 60; 0 = none)\n"
        "  --object N[,LAT,LON[,KMH[,FORM]]]  a simulated object (repeatable); degrees,\n"
        "                           FORM short1|short2|short3|long (default: 2001..2006)\n"
        "  --packet-interval SECONDS  one packet per object this often (default 10)\n"
        "  --points N               further track points per packet (default: 1 per 2 s)\n"
        "  --no-lf                  packets without the trailing LF\n"
        "  --local-time             packet times in local time (default UTC)\n"
        "  --cnev-interval SECONDS  an object disconnects or reconnects this often (0 = never)\n"
        "  --gps-lost-every N       every Nth packet of an object has no position (0 = never)\n"
        "  --reid-after SECONDS     ask the client to identify again, once, after login\n"
        "  --key-length N           session key length in bytes (default 16)\n"
        "  --seed N                 the fleet's story (default 1): same seed, same days\n"
        "faults:\n"
        "  --fault-bad-proof        prove a wrong password to the client\n"
        "  --fault-oversize         send a line longer than the client's buffer after login\n"
        "  --fault-split            send every line in two parts, 0.3 s apart\n"
        "  --fault-coalesce         send the lines of one moment in a single write\n"
        "  --fault-garbage          send undecryptable lines after login and keep-alives\n"
        "  --close-after SECONDS    drop the connection this long after login\n"
        "  --fault-drain N,AT,LITRES,MINUTES  drain LITRES from object N, standing, over\n"
        "                           MINUTES from AT (+SECONDS after the start, or HH:MM today\n"
        "                           in the object's zone); repeatable\n"
        "archive:\n"
        "  --ftp-port N             serve the objects' day files over FTP on 127.0.0.1:N\n"
        "                           (the archive service; 0 = a free port)\n"
        "  --archive-days N         days before today in the archive (default 2)\n"
        "  --archive-dir DIR        where the day files are written (default: temporary)\n"
        "stopping:\n"
        "  --exit-after SECONDS     stop by itself\n"
        "  --stdin-eof              stop at the end of standard input\n"
        "  --keep-running           do not stop when the parent process ends\n"
        "The chosen port is printed alone on the first line of standard output.\n");
}

bool TServerOptions::parse(const QStringList &args, QString &error) {
    const double startUtc = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    std::vector<TDrainArg> drains;
    auto needValue = [&](int &i, QString &v) {
        if (i + 1 >= args.size()) {
            error = QStringLiteral("missing value for ") + args[i];
            return false;
        }
        v = args[++i];
        return true;
    };
    auto needNumber = [&](int &i, double &d, double min) {
        QString v;
        if (!needValue(i, v))
            return false;
        if (!toDouble(v, d) || d < min) {
            error = QStringLiteral("bad value for ") + args[i - 1] + QStringLiteral(": ") + v;
            return false;
        }
        return true;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        QString v;
        double d = 0;
        if (a == QLatin1String("--port")) {
            if (!needNumber(i, d, 0) || d > 65535 || d != std::floor(d))
                return error.isEmpty() ? (error = QStringLiteral("bad port"), false) : false;
            port = static_cast<int>(d);
        } else if (a == QLatin1String("--account")) {
            if (!needValue(i, v))
                return false;
            if (!addAccount(v, session, QLatin1Char(':'))) {
                error = QStringLiteral("bad account (LOGIN:PASSWORD): ") + v;
                return false;
            }
        } else if (a == QLatin1String("--accounts")) {
            if (!needValue(i, v))
                return false;
            QFile f(v);
            if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
                error = QStringLiteral("cannot read ") + v;
                return false;
            }
            QTextStream in(&f);
            while (!in.atEnd()) {
                const QString line = in.readLine().trimmed();
                if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                    continue;
                if (!addAccount(line, session, QLatin1Char('='))) {
                    error =
                        QStringLiteral("bad account line in ") + v + QStringLiteral(": ") + line;
                    return false;
                }
            }
        } else if (a == QLatin1String("--keepalive")) {
            if (!needNumber(i, session.keepAliveSeconds, 0))
                return false;
        } else if (a == QLatin1String("--object")) {
            if (!needValue(i, v))
                return false;
            TObjectConfig o;
            if (!parseObject(v, o, error))
                return false;
            objects.push_back(o);
        } else if (a == QLatin1String("--packet-interval")) {
            if (!needNumber(i, packetSeconds, 0.05))
                return false;
        } else if (a == QLatin1String("--points")) {
            if (!needNumber(i, d, 0) || d > 200)
                return error.isEmpty() ? (error = QStringLiteral("bad --points"), false) : false;
            furtherPoints = static_cast<int>(d);
        } else if (a == QLatin1String("--no-lf")) {
            packetLf = false;
        } else if (a == QLatin1String("--local-time")) {
            localTime = true;
        } else if (a == QLatin1String("--cnev-interval")) {
            if (!needNumber(i, cnevSeconds, 0))
                return false;
        } else if (a == QLatin1String("--gps-lost-every")) {
            if (!needNumber(i, d, 0) || d != std::floor(d))
                return error.isEmpty() ? (error = QStringLiteral("bad --gps-lost-every"), false)
                                       : false;
            gpsLostEvery = static_cast<int>(d);
        } else if (a == QLatin1String("--reid-after")) {
            if (!needNumber(i, session.reidAfterSeconds, 0))
                return false;
        } else if (a == QLatin1String("--key-length")) {
            if (!needNumber(i, d, 1) || d > 255)
                return error.isEmpty() ? (error = QStringLiteral("bad --key-length"), false)
                                       : false;
            session.keyLength = static_cast<int>(d);
        } else if (a == QLatin1String("--seed")) {
            if (!needNumber(i, d, 0) || d != std::floor(d) || d > 9e15)
                return error.isEmpty() ? (error = QStringLiteral("bad --seed"), false) : false;
            seed = static_cast<uint64_t>(d);
        } else if (a == QLatin1String("--fault-drain")) {
            if (!needValue(i, v) || !parseDrain(v, startUtc, drains, error))
                return false;
        } else if (a == QLatin1String("--fault-bad-proof")) {
            session.badProof = true;
        } else if (a == QLatin1String("--fault-oversize")) {
            session.oversize = true;
        } else if (a == QLatin1String("--fault-split")) {
            session.splitLines = true;
        } else if (a == QLatin1String("--fault-coalesce")) {
            session.coalesce = true;
        } else if (a == QLatin1String("--fault-garbage")) {
            session.garbage = true;
        } else if (a == QLatin1String("--close-after")) {
            if (!needNumber(i, session.closeAfterSeconds, 0))
                return false;
        } else if (a == QLatin1String("--ftp-port")) {
            if (!needNumber(i, d, 0) || d > 65535 || d != std::floor(d))
                return error.isEmpty() ? (error = QStringLiteral("bad --ftp-port"), false) : false;
            ftpPort = static_cast<int>(d);
        } else if (a == QLatin1String("--archive-days")) {
            if (!needNumber(i, d, 0) || d > 400 || d != std::floor(d))
                return error.isEmpty() ? (error = QStringLiteral("bad --archive-days"), false)
                                       : false;
            archiveDays = static_cast<int>(d);
        } else if (a == QLatin1String("--archive-dir")) {
            if (!needValue(i, archiveDir))
                return false;
        } else if (a == QLatin1String("--exit-after")) {
            if (!needNumber(i, exitAfterSeconds, 0))
                return false;
        } else if (a == QLatin1String("--stdin-eof")) {
            exitOnStdinEof = true;
        } else if (a == QLatin1String("--keep-running")) {
            watchParent = false;
        } else {
            error = QStringLiteral("unknown option: ") + a;
            return false;
        }
    }
    if (session.accounts.empty())
        session.accounts[QStringLiteral("demo")] = QStringLiteral("demo");
    if (objects.empty())
        objects = TObjectSim::defaultObjects();
    for (TDrainArg &d : drains) {
        auto o = std::find_if(objects.begin(), objects.end(),
                              [&](const TObjectConfig &c) { return c.number == d.number; });
        if (o == objects.end()) {
            error =
                QStringLiteral("no such object for --fault-drain: ") + QString::number(d.number);
            return false;
        }
        if (d.fault.atUtc < 0) {
            // Today's clock time in the object's zone.
            const double tz = o->timeZoneHours * 3600.0;
            const double midnight = std::floor((startUtc + tz) / 86400) * 86400 - tz;
            d.fault.atUtc = midnight + (-1 - d.fault.atUtc);
        }
        o->drains.push_back(d.fault);
    }
    return true;
}

TMonitorServer::TMonitorServer(TServerOptions options) : m_opt(std::move(options)) {
    for (const TObjectConfig &o : m_opt.objects)
        m_objects.emplace_back(o, m_opt.seed);
    m_connected.assign(m_objects.size(), true);
}

TMonitorServer::~TMonitorServer() {
    m_sessions.clear();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

double TMonitorServer::utcNow() {
    return QDateTime::currentMSecsSinceEpoch() / 1000.0;
}

double TMonitorServer::now() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void TMonitorServer::log(const QString &text) const {
    const QByteArray line =
        (QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + text + '\n')
            .toUtf8();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}

bool TMonitorServer::listen(QString &error) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listenFd < 0) {
        error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    const int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // loopback only
    sa.sin_port = htons(static_cast<uint16_t>(m_opt.port));
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 ||
        ::listen(m_listenFd, 8) != 0) {
        error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                    .arg(m_opt.port)
                    .arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    socklen_t len = sizeof sa;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&sa), &len);
    m_port = ntohs(sa.sin_port);
    return true;
}

QString TMonitorServer::cobjList() const {
    QStringList numbers;
    for (size_t i = 0; i < m_objects.size(); ++i)
        if (m_connected[i])
            numbers << QString::number(m_objects[i].number());
    return numbers.isEmpty() ? QStringLiteral("null") : numbers.join(QLatin1Char(','));
}

void TMonitorServer::broadcastLine(const QString &body, double t) {
    for (auto &s : m_sessions)
        if (s->online())
            s->sendServerLine(body, t);
}

void TMonitorServer::accept(double t) {
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_sessions.push_back(std::make_unique<TAccountSession>(
            m_nextId++, fd, m_opt.session, [this](const QString &s) { log(s); },
            [this] { return cobjList(); }));
    }
}

void TMonitorServer::sendPackets(double t) {
    const int k = m_opt.furtherPoints >= 0
                      ? m_opt.furtherPoints
                      : std::max(0, static_cast<int>(m_opt.packetSeconds / 2) - 1);
    // The objects' story runs on the wall clock, as the archive's does.
    const double utc = utcNow();
    const double first = utc - 2.0 * k; // the position is 2k seconds old: the points lead up to now
    const qint64 firstMs = static_cast<qint64>(std::floor(first * 1000));
    const QDateTime when = m_opt.localTime ? QDateTime::fromMSecsSinceEpoch(firstMs)
                                           : QDateTime::fromMSecsSinceEpoch(firstMs, Qt::UTC);
    for (size_t i = 0; i < m_objects.size(); ++i) {
        if (!m_connected[i])
            continue;
        const TObjectSim &o = m_objects[i];
        const TObjectState s0 = o.stateAt(first);
        std::vector<TPacketEncoder::TPoint> further;
        for (int j = 1; j <= k; ++j) {
            const TObjectState sj = o.stateAt(first + 2.0 * j);
            further.push_back({sj.lat, sj.lon});
        }
        const TObjectState now = o.stateAt(utc);
        // Without a satellite fix the device sends neither a position nor further points.
        const bool lost =
            (m_opt.gpsLostEvery > 0 && (m_packetRound + 1) % m_opt.gpsLostEvery == 0) ||
            s0.gpsLost || now.gpsLost;
        std::optional<TPacketEncoder::TPoint> position;
        if (!lost)
            position = TPacketEncoder::TPoint{s0.lat, s0.lon};
        const TBytes packet = TPacketEncoder::onlinePacket(
            when, position, further, TPacketEncoder::stateFor(now, o.config().form),
            m_opt.packetLf);
        for (auto &s : m_sessions)
            s->sendDataLine(o.number(), packet, t);
    }
    ++m_packetRound;
}

void TMonitorServer::toggleConnection(double t) {
    if (m_objects.empty())
        return;
    const size_t i = m_cnevIndex++ % m_objects.size();
    m_connected[i] = !m_connected[i];
    log(QStringLiteral("object %1 %2")
            .arg(m_objects[i].number())
            .arg(m_connected[i] ? QStringLiteral("connected") : QStringLiteral("disconnected")));
    broadcastLine(
        QStringLiteral("%1|cnev|%2").arg(m_objects[i].number()).arg(m_connected[i] ? 'c' : 'd'), t);
}

int TMonitorServer::run() {
    const pid_t parent = ::getppid();
    if (m_opt.watchParent) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            return 0;
    }
    m_start = now();
    m_nextPacket = m_start + m_opt.packetSeconds;
    m_nextCnev = m_opt.cnevSeconds > 0 ? m_start + m_opt.cnevSeconds
                                       : std::numeric_limits<double>::infinity();
    const double exitAt = m_opt.exitAfterSeconds >= 0 ? m_start + m_opt.exitAfterSeconds
                                                      : std::numeric_limits<double>::infinity();
    log(QStringLiteral("listening 127.0.0.1:%1").arg(m_port));
    bool stdinOpen = m_opt.exitOnStdinEof;
    while (!s_stop) {
        double t = now();
        if (t >= exitAt) {
            log(QStringLiteral("exit time reached"));
            break;
        }
        if (m_opt.watchParent && ::getppid() != parent) {
            log(QStringLiteral("parent gone"));
            break;
        }
        if (t >= m_nextPacket) {
            sendPackets(t);
            m_nextPacket += m_opt.packetSeconds;
            if (m_nextPacket < t)
                m_nextPacket = t + m_opt.packetSeconds;
        }
        if (t >= m_nextCnev) {
            toggleConnection(t);
            m_nextCnev = t + m_opt.cnevSeconds;
        }
        double wake = std::min({m_nextPacket, m_nextCnev, exitAt, t + 0.25});
        for (auto &s : m_sessions)
            wake = std::min(wake, s->onTick(t));

        std::vector<pollfd> fds;
        fds.push_back({m_listenFd, POLLIN, 0});
        if (stdinOpen)
            fds.push_back({STDIN_FILENO, POLLIN, 0});
        const size_t first = fds.size();
        for (auto &s : m_sessions)
            fds.push_back(
                {s->fd(), static_cast<short>(POLLIN | (s->wantsWrite(t) ? POLLOUT : 0)), 0});
        const int timeoutMs = std::max(0, static_cast<int>(std::ceil((wake - t) * 1000)));
        const int n = ::poll(fds.data(), fds.size(), timeoutMs);
        if (n < 0 && errno != EINTR)
            break;
        t = now();
        if (n > 0) {
            if (fds[0].revents & POLLIN)
                accept(t);
            if (stdinOpen && fds[1].revents) {
                char buf[256];
                const ssize_t r = ::read(STDIN_FILENO, buf, sizeof buf);
                if (r <= 0) {
                    log(QStringLiteral("end of standard input"));
                    break;
                }
            }
            for (size_t i = first; i < fds.size(); ++i) {
                TAccountSession &s = *m_sessions[i - first];
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                    s.onReadable(t);
            }
        }
        for (auto &s : m_sessions)
            if (!s->closed() && s->wantsWrite(t))
                s->onWritable(t);
        std::erase_if(m_sessions, [](const auto &s) { return s->closed(); });
    }
    log(QStringLiteral("stopped"));
    return 0;
}
