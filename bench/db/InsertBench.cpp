// The import floor: rows per second into INPUTSIGNALS on the local server (127.0.0.1:3050),
// with a prepared single-row insert in one transaction, the same insert committed row by row,
// and a statement formatted as text for every row (as the recording code builds them).
// Run: build/bench/db_bench (the server must be running: scripts/firebird.sh start).

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include "app/SqlLiteral.h"
#include "db/Database.h"

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
    } catch (const db::EDatabaseError &e) {
        std::fprintf(stderr, "db_bench: %s\n", e.text().toLocal8Bit().constData());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
