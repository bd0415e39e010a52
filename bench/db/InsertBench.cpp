// The import floor: rows per second into INPUTSIGNALS on the local server (127.0.0.1:3050),
// with a prepared single-row insert in one transaction, the same insert committed row by row,
// and a statement formatted as text for every row (as the recording code builds them).
// Beside them, the import of a device data file (FileToDB) of a day of 10-second records whose
// state changes with every record, so that each record is one state row: its rows per second
// against the prepared insert's, measured in the same run on the same server.
// Run: build/bench/db_bench (the server must be running: scripts/firebird.sh start).

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include "app/Dialogs.h"
#include "app/SqlLiteral.h"
#include "db/Database.h"
#include "db/DatabaseUpdate.h"
#include "db/GroupManager.h"
#include "db/TrackImport.h"
#include "tracks/DeviceData.h"
#include "tracks/FileManager.h"

#include <QBuffer>
#include <QTemporaryDir>

namespace {

const QString Password = QStringLiteral("qvx7tpl2m");

struct BenchDatabase {
    QString path;
    db::TDatabase database;
    BenchDatabase() {
        const QString dir = QStringLiteral("/tmp/zarnex-dbbench-%1/").arg(getpid());
        QDir().mkpath(dir);
        ::chmod(QFile::encodeName(dir).constData(), 01777);
        path = dir + QStringLiteral("bench.fdb");
        database.create(QStringLiteral("localhost:") + path, QStringLiteral("SYSDBA"), Password);
        database.execute(QStringLiteral(
            "create table INPUTSIGNALS (INS_NUMBER integer not null, INS_PCTIME timestamp, "
            "INS_PACKTIME timestamp not null, INS_FUELLEVEL integer, INS_BOARDVOLTAGE integer, "
            "INS_TEMPERATURE double precision, INS_LOCOMOTIVEMOVE integer, INS_WARNINGMODE "
            "integer, INS_ERRORAVTOPROTECT integer, INS_DIESELWORK integer, INS_ABVOLTAGELESSMIN "
            "integer, INS_ALERTBTN integer, constraint PK_INPUTSIGNALS primary key (INS_NUMBER, "
            "INS_PACKTIME))"));
    }
    ~BenchDatabase() {
        try {
            database.drop();
        } catch (...) {
        }
        QDir(QFileInfo(path).path()).removeRecursively();
    }
};

BenchDatabase &bench() {
    static BenchDatabase b;
    return b;
}

const QString Insert = QStringLiteral(
    "insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_FUELLEVEL, INS_BOARDVOLTAGE, "
    "INS_TEMPERATURE, INS_LOCOMOTIVEMOVE, INS_WARNINGMODE, INS_ERRORAVTOPROTECT, "
    "INS_DIESELWORK, INS_ABVOLTAGELESSMIN, INS_ALERTBTN) values (:n, :t, :f, :v, :temp, :a, :b, "
    ":c, :d, :e, :g)");

int g_object = 0;

void bindRow(db::TQuery &q, int object, qint64 i) {
    q.setParam(QStringLiteral("n"), object);
    q.setParam(QStringLiteral("t"), db::TParam::timestamp(46000.0 + double(i) / 86400.0));
    q.setParam(QStringLiteral("f"), int(1000 + i % 50));
    q.setParam(QStringLiteral("v"), 24000);
    q.setParam(QStringLiteral("temp"), 21.5);
    for (const char *p : {"a", "b", "c", "d", "e", "g"})
        q.setParam(QString::fromLatin1(p), int(i & 1));
}

void BM_PreparedInsertOneTransaction(benchmark::State &state) {
    const int object = ++g_object;
    db::TTransaction tr(bench().database, db::TTransactionKind::Write);
    tr.start();
    db::TQuery q(tr, Insert);
    q.prepare();
    qint64 i = 0;
    for (auto _ : state) {
        bindRow(q, object, i++);
        q.execute();
    }
    tr.commit();
    state.SetItemsProcessed(state.iterations());
}

void BM_PreparedInsertCommitEachRow(benchmark::State &state) {
    const int object = ++g_object;
    db::TTransaction tr(bench().database, db::TTransactionKind::Write);
    tr.start();
    db::TQuery q(tr, Insert);
    q.prepare();
    qint64 i = 0;
    for (auto _ : state) {
        if (!tr.isActive())
            tr.start();
        bindRow(q, object, i++);
        q.execute();
        tr.commit();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_FormattedInsertOneTransaction(benchmark::State &state) {
    const int object = ++g_object;
    db::TTransaction tr(bench().database, db::TTransactionKind::Write);
    tr.start();
    qint64 i = 0;
    for (auto _ : state) {
        const QString stmt =
            QStringLiteral("UPDATE OR INSERT INTO INPUTSIGNALS (INS_NUMBER, INS_PCTIME, "
                           "INS_PACKTIME, INS_FUELLEVEL, INS_BOARDVOLTAGE, INS_TEMPERATURE, "
                           "INS_LOCOMOTIVEMOVE, INS_WARNINGMODE, INS_ERRORAVTOPROTECT, "
                           "INS_DIESELWORK, INS_ABVOLTAGELESSMIN, INS_ALERTBTN) VALUES (%1, null, "
                           "%2, %3, 24000, %4, 0, 0, 1, 0, 0, 0) MATCHING (INS_NUMBER, "
                           "INS_PACKTIME)")
                .arg(object)
                .arg(sql::timestamp(46000.0 + double(i) / 86400.0))
                .arg(1000 + i % 50)
                .arg(sql::fixed(21.5));
        ++i;
        db::TQuery q(tr);
        q.setSql(stmt, true);
        q.execute();
    }
    tr.commit();
    state.SetItemsProcessed(state.iterations());
}

// A database with the program's schema, one registered object, and the import's working parts.
struct ImportBench {
    QString dir;
    db::TConnectionSettings settings;
    db::TDatabase database;
    QTemporaryDir cache;
    TFManager fmngr;
    TImportProgress progress;
    std::unique_ptr<TManager> registry;
    std::unique_ptr<TTrackImport> import;
    ImportBench() {
        dir = QStringLiteral("/tmp/zarnex-dbbench-%1/").arg(getpid());
        QDir().mkpath(dir);
        ::chmod(QFile::encodeName(dir).constData(), 01777);
        settings = {QStringLiteral("localhost"), dir + QStringLiteral("import.fdb"),
                    QStringLiteral("SYSDBA"), Password};
        database.create(settings.databaseName(), settings.login, settings.password);
        db::BuildFromUpdateScript(database, QStringLiteral(ZARNEX_SOURCE_DIR "/update/UPDB.sql"));
        database.execute(
            QStringLiteral("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (7, 'Объект 7')"));
        registry =
            std::make_unique<TManager>(settings, SilentDialogs(), cache.path() + QLatin1Char('/'));
        import = std::make_unique<TTrackImport>(*registry, fmngr, settings,
                                                cache.path() + QLatin1Char('/'), progress);
    }
    ~ImportBench() {
        import.reset();
        registry.reset();
        try {
            database.drop();
        } catch (...) {
        }
    }
};

ImportBench &importBench() {
    static ImportBench b;
    return b;
}

// A day of 10-second records starting at day; every record's state differs from the last.
QByteArray dayFile(TDateTime day) {
    QByteArray bytes;
    QByteArray st("\x00\x08\x00\x00\x08\x01\x00\x01\x00", 9);
    for (int i = 0; i < 8640; ++i) {
        st[6] = char(i & 0xFF);
        st[8] = char((i >> 8) & 0xFF);
        bytes +=
            TDeviceRecord{day + i * 10.0 / 86400, {3345.0L + i * 1e-4L, 2256.0L}, st}.toBytes();
    }
    return bytes;
}

void BM_FileToDBDayOf10sRecords(benchmark::State &state) {
    ImportBench &b = importBench();
    TDateTime day = 46000;
    int64_t rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QBuffer stream;
        stream.setData(dayFile(day));
        stream.open(QIODevice::ReadOnly);
        const QString name =
            dt::formatDateTime(QStringLiteral("yyyymmdd"), day) + QStringLiteral(".dat");
        day += 1;
        state.ResumeTiming();
        rows += b.import->FileToDB(name, stream, 7).stateRows;
    }
    state.SetItemsProcessed(rows);
}

BENCHMARK(BM_FileToDBDayOf10sRecords)->MinTime(5.0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreparedInsertOneTransaction)
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PreparedInsertCommitEachRow)
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FormattedInsertOneTransaction)
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    try {
        bench();
        importBench();
    } catch (const db::EDatabaseError &e) {
        std::fprintf(stderr, "db_bench: %s\n", e.text().toLocal8Bit().constData());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
