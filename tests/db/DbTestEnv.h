#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>

#include "db/Database.h"

// The tests use the local server on 127.0.0.1:3050 (scripts/firebird.sh start) with SYSDBA's
// project password. Database files go to a scratch folder the server's user can write, since
// the checkout may sit below folders it cannot enter.
// Readable QString values in failure messages.
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace dbtest {

inline const QString &password() {
    static const QString p = QStringLiteral("qvx7tpl2m");
    return p;
}

inline bool serverListening() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(3050);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// A fresh 1777 folder for this test process, removed at exit.
inline const QString &scratchDir() {
    static const QString dir = [] {
        const QString d =
            QStringLiteral("/tmp/zarnex-dbtests-%1/").arg(QCoreApplication::applicationPid());
        QDir().mkpath(d);
        ::chmod(d.toLocal8Bit().constData(), 01777);
        std::atexit([] {
            QDir(QStringLiteral("/tmp/zarnex-dbtests-%1/").arg(QCoreApplication::applicationPid()))
                .removeRecursively();
        });
        return d;
    }();
    return dir;
}

// Fails the test (not skips) when the server is not there: CI always has it.
#define REQUIRE_FIREBIRD_SERVER()                                                                  \
    do {                                                                                           \
        if (!dbtest::serverListening())                                                            \
            FAIL() << "Firebird server is not listening on 127.0.0.1:3050 "                        \
                      "(start it with scripts/firebird.sh start)";                                 \
    } while (0)

// Creates an empty database on the server and removes it (and its file) afterwards.
class TempDatabase {
public:
    explicit TempDatabase(const QString &name)
        : path(scratchDir() + name +
               (name.contains(QLatin1Char('.')) ? QString() : QStringLiteral(".fdb"))) {
        QFile::remove(path);
        db.create(QStringLiteral("localhost:") + path, QStringLiteral("SYSDBA"), password());
    }
    ~TempDatabase() {
        db.forceClose();
        try {
            db::TDatabase d;
            d.open(QStringLiteral("localhost:") + path, QStringLiteral("SYSDBA"), password());
            d.drop();
        } catch (...) {
        }
        QFile::remove(path);
    }
    QString name() const { return QStringLiteral("localhost:") + path; }
    QString path;
    db::TDatabase db;
};

} // namespace dbtest
