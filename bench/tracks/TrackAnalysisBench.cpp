// The track analysis against one plain pass over the same records: 10^6 points of a vehicle
// that drives and stops in turn, divided by speed and folded, compared with a sum of
// CoordDistance over every pair (the least any analysis of the track must do).
//
//   build/bench/track_analysis_bench

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "tracks/TrackAnalysis.h"
#include "tracks/TrackPartsModel.h"

namespace {

const std::vector<TCoordData> &track() {
    static const std::vector<TCoordData> t = [] {
        std::vector<TCoordData> v;
        v.reserve(1000000);
        TCoordData c{3345.0L, 2256.0L, 45426.0, 0};
        for (int i = 0; i < 1000000; ++i) {
            // Cycles of 30 minutes: 20 of driving, 10 standing; one record every 10 s.
            const bool driving = (i % 180) < 120;
            if (driving) {
                c.lat += 0.05L * std::cos(i * 0.01);
                c.lng += 0.05L * std::sin(i * 0.01);
            }
            c.ts += 10.0 / 86400;
            c.g24 = driving ? 1 : 0;
            v.push_back(c);
        }
        return v;
    }();
    return t;
}

void BM_PlainDistancePass(benchmark::State &state) {
    const auto &t = track();
    for (auto _ : state) {
        long double sum = 0;
        for (size_t j = 0; j + 1 < t.size(); ++j)
            sum += CoordDistance(t[j], t[j + 1]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(t.size()));
}

void BM_DivisionAndFolding(benchmark::State &state) {
    const auto &t = track();
    for (auto _ : state) {
        TTrackAnalysis a(t, TTrackSettings{10, 300, 1});
        ArrayTracks parts = a.divide(false);
        benchmark::DoNotOptimize(parts.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(t.size()));
}

void BM_DivisionFoldingAndTable(benchmark::State &state) {
    const auto &t = track();
    for (auto _ : state) {
        TTrackAnalysis a(t, TTrackSettings{10, 300, 1});
        TTrackPartsModel model;
        model.fill(a, a.divide(false));
        benchmark::DoNotOptimize(model.rowCount());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(t.size()));
}

BENCHMARK(BM_PlainDistancePass)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DivisionAndFolding)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DivisionFoldingAndTable)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
