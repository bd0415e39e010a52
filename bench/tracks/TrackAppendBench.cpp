// The on-line writer's cycle for one packet: get - load - append one record - FreeFile with
// saving, on a day file that already holds 10^3 or 10^5 records. "incremental" is the normal
// registry, "rewrite" the plain behaviour (whole file read and rewritten every time).
//
//   build/bench/tracks_bench --benchmark_min_time=1
//
// Set TRACKS_BENCH_DIR to choose the folder (default: the system's temporary folder).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <memory>

#include "app/IniFile.h"
#include "tracks/FileManager.h"

namespace {

constexpr TDateTime Day = 45000;
constexpr double Second = 1.0 / 86400;

void cycle(benchmark::State &state, bool incremental) {
    const int records = static_cast<int>(state.range(0));
    const QString base = qEnvironmentVariableIsSet("TRACKS_BENCH_DIR")
                             ? qEnvironmentVariable("TRACKS_BENCH_DIR")
                             : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/tracks-bench-XXXXXX"));
    const QString name = dir.path() + QStringLiteral("/1000/20230315.dat");
    QDir().mkpath(dir.path() + QStringLiteral("/1000"));

    QByteArray image;
    TCoordData c;
    c.lat = 3345.1234L;
    c.lng = 2256.789L;
    for (int i = 0; i < records; ++i) {
        c.ts = Day + i * Second * 0.5;
        unsigned char r[TCoordData::RecordSize];
        c.toBytes(r);
        image.append(reinterpret_cast<const char *>(r), TCoordData::RecordSize);
    }
    writeFileAtomically(name, image);

    TFManager fmngr;
    fmngr.setIncremental(incremental);
    TDateTime next = c.ts;
    for (auto _ : state) {
        TTrackFile *f = fmngr.get(name);
        f->num = 1000;
        f->load();
        next += Second * 0.5;
        c.ts = next;
        c.lat += 0.0001L;
        f->add(c);
        fmngr.FreeFile(name, true);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_PacketIncremental(benchmark::State &state) {
    cycle(state, true);
}
void BM_PacketRewrite(benchmark::State &state) {
    cycle(state, false);
}

} // namespace

BENCHMARK(BM_PacketIncremental)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PacketRewrite)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
