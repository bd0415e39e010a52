// The report queries against their physical floor, on the local server (127.0.0.1:3050), in a
// database built from the shipped update script:
//  - the daily statistics of one object over 31 days of 10-second data (267,840 rows) with the
//    window's defaults, against one plain scan of the same rows (a select sum(...) over the
//    object's INPUTSIGNALS in the period);
//  - the object-set table of 50 objects over the same 31 days of 10-second data (267,840 rows
//    each), and its time per object against the daily query of one such object.
// Run: build/bench/reports_bench (the server must be running: scripts/firebird.sh start).
// The ratios are printed as counters of the benchmarks that measure them and once more in a
// summary after the runs.

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

#include "app/FormatSettings.h"
#include "app/Options.h"
#include "app/SqlLiteral.h"
#include "db/Database.h"
#include "db/SqlScript.h"
#include "reports/DataQueries.h"
#include "reports/FuelComputations.h"
#include "reports/ObjectsSetReport.h"
#include "tracks/FileManager.h"

namespace {

constexpr int kDense = 1;      // 10-second data
constexpr int kFirstSet = 100; // 50 objects of 10-second data: 100..149
constexpr int kSetObjects = 50;

TDateTime periodStart() {
    return dt::encode(2026, 3, 1);
}
TDateTime periodEnd() {
    return dt::encode(2026, 3, 31, 23, 59, 59);
}

struct TBenchDb {
    QString path;
    db::TDatabase database;
    db::TConnectionSettings settings;

    TBenchDb() {
        const QString dir = QStringLiteral("/tmp/zarnex-reportsbench-%1/").arg(getpid());
        QDir().mkpath(dir);
        ::chmod(QFile::encodeName(dir).constData(), 01777);
        path = dir + QStringLiteral("bench.fdb");
        settings = {QStringLiteral("127.0.0.1"), path, QStringLiteral("SYSDBA"),
                    QStringLiteral("qvx7tpl2m")};
        database.create(settings.databaseName(), settings.login, settings.password);
        QFile script(QStringLiteral(ZARNEX_SOURCE_DIR "/update/UPDB.sql"));
        script.open(QIODevice::ReadOnly);
        run(QString::fromUtf8(script.readAll()));
        // A tank of 0.1 litre per unit, falling while the engine works (two hours a day), an
        // alarm now and then.
        QString objects =
            QStringLiteral("insert into OBJECTS (OBJ_NUMBER, OBJ_NAME) values (1, 'Плотный');\n"
                           "insert into FUEL_POINTS values (1, 0, 0, 1);\n"
                           "insert into FUEL_POINTS values (1, 4000, 400, 1);\n");
        for (int n = kFirstSet; n < kFirstSet + kSetObjects; ++n)
            objects +=
                QStringLiteral("insert into OBJECTS (OBJ_NUMBER, OBJ_NAME) values (%1, "
                               "'Объект %1');\ninsert into FUEL_POINTS values (%1, 0, 0, 1);\n"
                               "insert into FUEL_POINTS values (%1, 4000, 400, 1);\n")
                    .arg(n);
        run(objects);
        fill(kDense, 10, 31 * 8640);
    }
    // The 50 objects of the set, filled when a benchmark first needs them.
    void fillSet() {
        if (m_setFilled)
            return;
        for (int n = kFirstSet; n < kFirstSet + kSetObjects; ++n)
            fill(n, 10, 31 * 8640);
        m_setFilled = true;
    }
    bool m_setFilled = false;
    ~TBenchDb() {
        try {
            database.drop();
        } catch (...) {
        }
        QDir(QFileInfo(path).path()).removeRecursively();
    }
    void run(const QString &text) {
        db::TSqlScript s(text);
        db::TTransaction tr(database, db::TTransactionKind::Write);
        tr.start();
        s.run(tr);
        tr.commit();
    }
    void fill(int object, int step, int count) {
        run(QStringLiteral(
                "SET TERM ^ ;\n"
                "EXECUTE BLOCK AS\n"
                "DECLARE VARIABLE I INTEGER = 0;\n"
                "DECLARE VARIABLE F INTEGER = 3500;\n"
                "DECLARE VARIABLE S INTEGER;\n"
                "DECLARE VARIABLE ENG INTEGER;\n"
                "BEGIN\n"
                "  WHILE (I < %2) DO BEGIN\n"
                "    S = MOD(I * %3, 86400);\n"
                "    ENG = IIF(S >= 36000 AND S < 43200, 1, 0);\n"
                "    IF (S = 0) THEN F = 3500;\n"
                "    INSERT INTO INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_FUELLEVEL, "
                "INS_BOARDVOLTAGE, INS_TEMPERATURE, INS_LOCOMOTIVEMOVE, INS_WARNINGMODE, "
                "INS_ERRORAVTOPROTECT, INS_DIESELWORK, INS_ABVOLTAGELESSMIN, INS_ALERTBTN) VALUES "
                "(%1, DATEADD(SECOND, :I * %3, TIMESTAMP '2026-03-01 00:00:00'), :F, 24500, 20, "
                ":ENG, 0, :ENG, :ENG, 0, IIF(MOD(:I, 977) = 0, 1, 0));\n"
                "    IF (ENG = 1 AND MOD(S, 60) = 0) THEN F = F - 1;\n"
                "    I = I + 1;\n"
                "  END\n"
                "END^\n"
                "SET TERM ; ^\n")
                .arg(QString::number(object), QString::number(count), QString::number(step)));
    }
};

TBenchDb &benchDb() {
    static TBenchDb d;
    return d;
}

TDataParams dailyParams(int object) {
    TDataParams p; // the window's defaults
    p.object = object;
    p.start = periodStart();
    p.end = periodEnd();
    return p;
}

TObjectNorms norms() {
    TObjectNorms n{{kDense, {30, 40}}};
    for (int o = kFirstSet; o < kFirstSet + kSetObjects; ++o)
        n[o] = {30, 40};
    return n;
}

double plainScanSeconds = 0;
double denseDailySeconds = 0;
double setTableSeconds = 0;

// The ratios compare the fastest iteration of each: the machine is shared, and the slower
// iterations measure the neighbours rather than the query.
struct TBest {
    double value = 1e300;
    void add(double v) { value = std::min(value, v); }
};

void BM_PlainScan(benchmark::State &state) {
    TBenchDb &b = benchDb();
    TBest best;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const QVariant v = db::selectValue(
            b.database,
            QStringLiteral("select sum(INS_FUELLEVEL) from INPUTSIGNALS where INS_NUMBER = 1 and "
                           "INS_PACKTIME between ") +
                sql::timestamp(periodStart()) + QStringLiteral(" and ") +
                sql::timestamp(periodEnd()));
        benchmark::DoNotOptimize(v);
        best.add(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    plainScanSeconds = best.value;
    state.counters["rows"] = 31 * 8640;
}

void BM_DailyStatistics31Days10s(benchmark::State &state) {
    TBenchDb &b = benchDb();
    TOptions options;
    TFManager fmngr;
    TFuelComputations fuel(b.database, options, norms(), fmngr);
    fuel.setSideConnection(b.settings); // as the report's worker does
    const std::vector<TGridColumn> cols = FormCalcGridCols(b.database);
    TBest best;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        TDataQueries q(fuel);
        QStringList trace;
        const TReportGrid g = q.ExecCalcQuery(dailyParams(kDense), cols, trace);
        benchmark::DoNotOptimize(g.rowCount());
        best.add(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    denseDailySeconds = best.value;
    if (plainScanSeconds > 0)
        state.counters["x_plain_scan"] = denseDailySeconds / plainScanSeconds;
}

// The parts of the daily query: the database's daily rows alone, the refuelling detection alone
// and the page without the detection. The daily query runs the detection beside the daily
// procedure, so its time is below the sum of its parts.
void BM_CalcParamsProcedure31Days10s(benchmark::State &state) {
    TBenchDb &b = benchDb();
    TBest best;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        db::TTransaction tr(b.database, db::TTransactionKind::Read);
        tr.start();
        db::TQuery q(tr, QStringLiteral("SELECT * FROM PROC_CALCPARAMS( %1, %2, '%3', 1 )")
                             .arg(sql::timestamp(periodEnd()), sql::timestamp(periodStart()),
                                  GapText(3.0 / 1440)));
        q.open();
        int n = 0;
        while (q.next())
            ++n;
        benchmark::DoNotOptimize(n);
        q.close();
        tr.commit();
        best.add(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    if (plainScanSeconds > 0)
        state.counters["x_plain_scan"] = best.value / plainScanSeconds;
}

// The refuelling detection of the whole interval (one PROC_CHARGEFILL2).
void BM_RefuellingDetection31Days10s(benchmark::State &state) {
    TBenchDb &b = benchDb();
    TOptions options;
    TFManager fmngr;
    TFuelComputations fuel(b.database, options, norms(), fmngr);
    TBest best;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        fuel.DetectCharges(kDense, 100, periodStart(), periodEnd());
        best.add(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    if (plainScanSeconds > 0)
        state.counters["x_plain_scan"] = best.value / plainScanSeconds;
}

void BM_DailyStatisticsNoDetection31Days10s(benchmark::State &state) {
    TBenchDb &b = benchDb();
    TOptions options;
    TFManager fmngr;
    TFuelComputations fuel(b.database, options, norms(), fmngr);
    const std::vector<TGridColumn> cols = FormCalcGridCols(b.database);
    TDataParams p = dailyParams(kDense);
    p.detect = false;
    TBest best;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        TDataQueries q(fuel);
        QStringList trace;
        benchmark::DoNotOptimize(q.ExecCalcQuery(p, cols, trace).rowCount());
        best.add(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    if (plainScanSeconds > 0)
        state.counters["x_plain_scan"] = best.value / plainScanSeconds;
}

void BM_ObjectSetTable50Objects31Days(benchmark::State &state) {
    TBenchDb &b = benchDb();
    b.fillSet();
    TOptions options;
    TFManager fmngr;
    TFuelComputations fuel(b.database, options, norms(), fmngr);
    fuel.setSideConnection(b.settings); // as the report's worker does
    const std::vector<TGridColumn> cols = FormSetGridCols(b.database);
    std::vector<TSetEntry> entries;
    for (int o = kFirstSet; o < kFirstSet + kSetObjects; ++o) {
        TSetEntry e;
        e.text = QString::number(o);
        e.number = o;
        entries.push_back(e);
    }
    TSetParams p;
    p.start = QDate(2026, 3, 1);
    p.end = QDate(2026, 3, 31);
    TBest best;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        TObjectsSetReport r(fuel);
        QStringList objList;
        benchmark::DoNotOptimize(r.TableQuery(entries, p, cols, objList).rowCount());
        best.add(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    const double perObject = best.value / kSetObjects;
    state.counters["s_total"] = best.value;
    state.counters["s_per_object"] = perObject;
    setTableSeconds = best.value;
    if (denseDailySeconds > 0)
        state.counters["x_daily_query"] = perObject / denseDailySeconds;
}

BENCHMARK(BM_PlainScan)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_DailyStatistics31Days10s)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CalcParamsProcedure31Days10s)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RefuellingDetection31Days10s)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DailyStatisticsNoDetection31Days10s)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ObjectSetTable50Objects31Days)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    TFormatSettings::setCurrent(TFormatSettings::russian());
    benchmark::Initialize(&argc, argv);
    benchDb(); // the data first, outside the timings
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (plainScanSeconds > 0 && denseDailySeconds > 0)
        std::printf("daily statistics, 31 days of 10-second data: %.3f s = %.2f x the plain scan "
                    "(%.3f s)\n",
                    denseDailySeconds, denseDailySeconds / plainScanSeconds, plainScanSeconds);
    if (setTableSeconds > 0 && denseDailySeconds > 0)
        std::printf("object-set table, 50 objects: %.3f s, %.3f s per object = %.2f x the "
                    "daily query of one object\n",
                    setTableSeconds, setTableSeconds / kSetObjects,
                    setTableSeconds / kSetObjects / denseDailySeconds);
    return 0;
}
