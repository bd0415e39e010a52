// One on-line packet's whole path (decode, state, day file, fuel look-up and row) against its
// floor, and the same path over many objects with big day files, on the local server
// (127.0.0.1:3050). One process; every figure is a ratio measured in the same run.
//
//   build/bench/online_bench [rounds]      (the server must run: scripts/firebird.sh start)
//
// Floor: one transaction with the same full-row UPDATE (prepared, bound values) and its commit,
// plus one 48-byte append to a day file with fdatasync: what a durable, atomic packet cannot
// do without.
// Day files: the packet path for one object whose day file holds 10^3 records, and for 100
// objects (packets in turn) whose day files hold 10^5 records each.
// Set ONLINE_BENCH_DIR to choose the folder (default /tmp).

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/Dialogs.h"
#include "db/Database.h"
#include "db/GroupManager.h"
#include "db/OnlineRecorder.h"
#include "db/SqlScript.h"
#include "online/ControllableObject.h"
#include "session/OnlineProcessor.h"
#include "tracks/FileManager.h"

namespace {

constexpr int kFirst = 1000; // object numbers kFirst ... kFirst + kMany - 1
constexpr int kMany = 100;
constexpr int kSingle = 2000;  // the object with the small day file
constexpr int kPerRound = 100; // packets per measured run

QString benchBase() {
    return qEnvironmentVariableIsSet("ONLINE_BENCH_DIR") ? qEnvironmentVariable("ONLINE_BENCH_DIR")
                                                         : QStringLiteral("/tmp");
}

struct Bench {
    QTemporaryDir folder{benchBase() + QStringLiteral("/zarnex-onlinebench-XXXXXX")};
    db::TConnectionSettings settings;
    db::TDatabase database;
    QString cacheDir;

    Bench() {
        ::chmod(QFile::encodeName(folder.path()).constData(), 01777);
        settings.server = QStringLiteral("127.0.0.1");
        settings.path = folder.path() + QStringLiteral("/bench.fdb");
        settings.login = QStringLiteral("SYSDBA");
        settings.password = QStringLiteral("qvx7tpl2m");
        database.create(settings.databaseName(), settings.login, settings.password);
        QFile script(QStringLiteral(ZARNEX_SOURCE_DIR "/update/UPDB.sql"));
        script.open(QIODevice::ReadOnly);
        db::TSqlScript s(QString::fromUtf8(script.readAll()));
        db::TTransaction tr(database, db::TTransactionKind::Write);
        tr.start();
        s.run(tr);
        db::TQuery obj(tr, QStringLiteral("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, "
                                          "OBJ_TANKVOLUME) VALUES (:n, :name, 500)"));
        db::TQuery pt(tr, QStringLiteral("INSERT INTO FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, "
                                         "FIXED) VALUES (:n, :s, :f, 1)"));
        std::vector<int> numbers{kSingle};
        for (int i = 0; i < kMany; ++i)
            numbers.push_back(kFirst + i);
        for (int n : numbers) {
            obj.setParam(QStringLiteral("n"), n);
            obj.setParam(QStringLiteral("name"), QStringLiteral("Bench ") + QString::number(n));
            obj.execute();
            for (auto [sv, fv] : {std::pair{0, 0}, std::pair{1000, 500}}) {
                pt.setParam(QStringLiteral("n"), n);
                pt.setParam(QStringLiteral("s"), sv);
                pt.setParam(QStringLiteral("f"), fv);
                pt.execute();
            }
        }
        tr.commit();
        cacheDir = folder.path() + QStringLiteral("/coord/");
    }
    ~Bench() {
        try {
            database.drop();
        } catch (...) {
        }
    }
};

// A packet of the device at the given second of 10.12.2026 (UTC), with a position and a
// short-form state string (version 1, fuel reading 256).
QByteArray packet(int second) {
    QByteArray p;
    p.append(char(0x08));
    p.append(char(second / 3600 + 48))
        .append(char(second / 60 % 60 + 48))
        .append(char(second % 60 + 48));
    p.append(char(10 + 48)).append(char(12 + 48)).append(char(26 + 27));
    p.append(QByteArray("\x52\x5D\x27\x3D\x40\x54\x27\x3D", 8));
    p.append('\xCF').append('|').append(QByteArray("\x00\x09\x00\x00\x11\x01\x00\x01\x00", 9));
    p.append(char(PacketChecksum(p, p.size())));
    p.append('#');
    return p;
}

// A day file of n records, two a second from midnight.
void prefill(const QString &file, int n) {
    QDir().mkpath(QFileInfo(file).path());
    QByteArray image(qsizetype(n) * TCoordData::RecordSize, '\0');
    TCoordData c;
    c.lat = 3345.1234L;
    c.lng = 2256.1234L;
    for (int i = 0; i < n; ++i) {
        c.ts = dt::encode(2026, 12, 10) + (i * 0.5) / 86400.0;
        c.toBytes(reinterpret_cast<unsigned char *>(image.data()) +
                  qsizetype(i) * TCoordData::RecordSize);
    }
    QFile f(file);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(image);
}

double seconds(const std::function<void()> &run) {
    const auto t0 = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(3, atoi(argv[1])) : 15;
    Bench b;
    prefill(b.cacheDir + QString::number(kSingle) + QStringLiteral("/20261210.dat"), 1000);
    for (int i = 0; i < kMany; ++i)
        prefill(b.cacheDir + QString::number(kFirst + i) + QStringLiteral("/20261210.dat"), 100000);

    TFManager fmngr;
    TManager manager(b.settings, SilentDialogs(), b.cacheDir);
    TOnlineProcessor processor(fmngr, b.database, b.cacheDir);
    // As in the session: only the active object keeps its whole in-memory track.
    processor.setKeepsWholeTrack([](int n) { return n == kSingle; });

    // The floor's own statement, transaction and day file.
    db::TTransaction tr(b.database, db::TTransactionKind::Write);
    tr.start();
    db::TQuery row(tr, QString::fromLatin1(TOnlineRecorder::rowSql()));
    row.prepare();
    tr.commit();
    TControllableObject floorObject;
    floorObject.Number = kSingle;
    const QString floorFile = b.folder.path() + QStringLiteral("/floor.dat");
    const int floorFd = ::open(QFile::encodeName(floorFile).constData(),
                               O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    unsigned char record[TCoordData::RecordSize] = {};

    int singleSecond = 1000 / 2 + 10, manySecond = 100000 / 2 + 10, floorValue = 0;
    std::vector<double> floorT, singleT, manyT;
    for (int r = 0; r < rounds + 1; ++r) {
        const double f = seconds([&] {
            for (int i = 0; i < kPerRound; ++i) {
                tr.start();
                floorObject.FuelLevel = ++floorValue % 1000;
                TOnlineRecorder::bindRow(row, floorObject);
                row.execute();
                tr.commit();
                if (::write(floorFd, record, sizeof record) != sizeof record ||
                    ::fdatasync(floorFd) != 0)
                    std::perror("floor append");
            }
        });
        const double s = seconds([&] {
            for (int i = 0; i < kPerRound; ++i)
                processor.ProcessObjectOnLineData(&manager, kSingle, packet(singleSecond++));
        });
        const double m = seconds([&] {
            for (int i = 0; i < kPerRound; ++i) {
                const int n = kFirst + i % kMany;
                processor.ProcessObjectOnLineData(&manager, n, packet(manySecond));
                if (n == kFirst + kMany - 1)
                    ++manySecond;
            }
        });
        if (r == 0)
            continue; // warming up: statements prepared, first look at each day file
        floorT.push_back(f / kPerRound);
        singleT.push_back(s / kPerRound);
        manyT.push_back(m / kPerRound);
    }
    ::close(floorFd);

    const double fl = median(floorT), si = median(singleT), ma = median(manyT);
    std::printf("floor (one commit of the full-row update + one fdatasync append): %.1f us\n",
                fl * 1e6);
    std::printf("packet, 1 object, 10^3-record day file:                          %.1f us\n",
                si * 1e6);
    std::printf("packet, 100 objects, 10^5-record day files:                      %.1f us\n",
                ma * 1e6);
    std::printf("ratio packet / floor:                                  %.3f (target <= 1.2)\n",
                si / fl);
    std::printf("ratio 100 objects x 10^5 / 1 object x 10^3:            %.3f (target <= 1.2)\n",
                ma / si);
    TControllableObject *o = manager.FindObject(kFirst);
    std::printf("in-memory track of an object not shown: %zu record(s)\n",
                o ? o->track.coords.size() : size_t(0));
    return 0;
}
