// The whole on-line path of one packet (decode, day track file, fuel and position in the
// database, the object's row) against the floor of the commits it makes, on the local server
// (127.0.0.1:3050), with a day file of 10^3 and 10^5 records before the packet.
// Run: build/bench/online_bench (the server must be running: scripts/firebird.sh start).

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include "app/Dialogs.h"
#include "app/SqlLiteral.h"
#include "db/Database.h"
#include "db/SqlScript.h"
#include "db/GroupManager.h"
#include "session/OnlineProcessor.h"
#include "tracks/FileManager.h"

namespace {

constexpr int kObject = 1000;

struct Bench {
    QTemporaryDir folder{QStringLiteral("/tmp/zarnex-onlinebench-XXXXXX")};
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
        tr.commit();
        database.execute(QStringLiteral("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, "
                                        "OBJ_TANKVOLUME) VALUES (%1, 'Bench', 500)")
                             .arg(kObject));
        database.execute(QStringLiteral("INSERT INTO FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, FIXED) "
                                        "VALUES (%1, 0, 0, 1)")
                             .arg(kObject));
        database.execute(QStringLiteral("INSERT INTO FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, FIXED) "
                                        "VALUES (%1, 1000, 500, 1)")
                             .arg(kObject));
        cacheDir = folder.path() + QStringLiteral("/coord/");
    }
    ~Bench() {
        try {
            database.drop();
        } catch (...) {
        }
    }
};

Bench &bench() {
    static Bench b;
    return b;
}

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

// A day file with n records before 00:00:00 + 86400 - n.
void prefill(const QString &file, int n) {
    QDir().mkpath(QFileInfo(file).path());
    TFManager f;
    TTrackFile *t = f.get(file);
    t->load();
    t->coords.clear();
    for (int i = 0; i < n; ++i) {
        TCoordData c;
        c.lat = 3345.1234L;
        c.lng = 2256.1234L;
        c.ts = dt::encode(2026, 12, 10) + (i * 0.5) / 86400.0; // two per second from midnight
        t->add(c);
    }
    f.FreeFile(file, true);
}

void BM_OnlinePacket(benchmark::State &state) {
    Bench &b = bench();
    const int n = static_cast<int>(state.range(0));
    QDir(b.cacheDir).removeRecursively();
    prefill(b.cacheDir + QStringLiteral("1000/20261210.dat"), n);
    TFManager fmngr;
    TManager manager(b.settings, SilentDialogs(), b.cacheDir);
    TOnlineProcessor processor(fmngr, b.database, b.cacheDir);
    int second = n / 2 + 10; // later than the file's last record
    for (auto _ : state) {
        processor.ProcessObjectOnLineData(&manager, kObject, packet(second));
        second = second + 1 < 86400 ? second + 1 : n / 2 + 10;
    }
    state.SetItemsProcessed(state.iterations());
}

// The floor: the transactions one packet commits, each with a trivial statement of the same
// kind - the fuel look-up (a select), then the fuel, position and state updates of the row.
void BM_CommitFloor(benchmark::State &state) {
    Bench &b = bench();
    int i = 0;
    for (auto _ : state) {
        {
            db::TTransaction tr(b.database, db::TTransactionKind::Write);
            tr.start();
            db::TQuery q(tr, QStringLiteral("SELECT OBJ_NUMBER FROM OBJECTS WHERE OBJ_NUMBER = %1")
                                 .arg(kObject));
            q.open();
            q.next();
            q.close();
            tr.commit();
        }
        for (int k = 0; k < 3; ++k)
            b.database.execute(QStringLiteral("UPDATE OBJECTS SET OBJ_FUELLEVEL = %1 WHERE "
                                              "OBJ_NUMBER = %2")
                                   .arg(++i % 1000)
                                   .arg(kObject));
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_CommitFloor)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_OnlinePacket)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
