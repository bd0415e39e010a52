// One 1920 x 1080 frame of the raster map with 1000 objects (heading arrows) and the active
// object's track of 10^5 points, drawn by the panel, against the same frame drawn the plain
// way (tests/maps/ReferenceDrawing: a transform per point in extended precision, a
// round-capped line per segment, the image stretched anew) in the same run.
//
//   build/bench/map_frame_bench [--benchmark_min_time=2]
//
// Frames: "still" (nothing changed since the last frame), "live" (a packet moved one object
// and extended the active track), "pan" (the camera moved: every layer drawn anew); "fleet"
// has every object in view at zoom 1, "zoomed" is at zoom 4 where most objects are beyond the
// view and show border pointers. The ratios to the plain frame are printed at the end.

#include <benchmark/benchmark.h>

#include "FleetScene.h"
#include "ReferenceDrawing.h"

#include <QGuiApplication>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr int Objects = 1000;
constexpr int TrackPoints = 100000;

TFleetScene *scene = nullptr;

enum TView { Fleet, Zoomed };

void setView(TView v) {
    scene->panel->SetZoom(v == Fleet ? 1 : 4);
    scene->panel->MoveCamera(
        TMapCoords{scene->imageSize.width() / 2.0L, scene->imageSize.height() / 2.0L});
    scene->frame(); // applies the limits
}

void BM_Reference(benchmark::State &state) {
    setView(TView(state.range(0)));
    for (auto _ : state) {
        QImage out = reference::drawFrame(*scene->panel);
        benchmark::DoNotOptimize(out.constBits());
    }
}

void BM_Still(benchmark::State &state) {
    setView(TView(state.range(0)));
    QImage out(scene->panel->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&out);
        scene->panel->Draw(p);
    }
}

void BM_Live(benchmark::State &state) {
    setView(TView(state.range(0)));
    QImage out(scene->panel->size(), QImage::Format_RGB32);
    TManagedItem *active = scene->objects->Item(1);
    int n = 0;
    for (auto _ : state) {
        // One packet of some other object, and one of the active object.
        TManagedItem *other = scene->objects->Item(2 + n++ % (Objects - 1));
        const TMapCoords at = other->marker()->FMapCoords;
        other->MoveCurrent(scene->geoAt(double(at.X) + 4, double(at.Y) + 1), scene->clock);
        const TMapCoords last = active->track()->Point(active->track()->Count() - 1).MapCoords;
        active->SetCurrent(scene->record(double(last.X) + 0.7, double(last.Y) + 0.4));
        QPainter p(&out);
        scene->panel->Draw(p);
    }
}

void BM_Pan(benchmark::State &state) {
    setView(TView(state.range(0)));
    QImage out(scene->panel->size(), QImage::Format_RGB32);
    int n = 0;
    for (auto _ : state) {
        scene->panel->MoveCamera(n++ % 2 ? 3 : -3, 0);
        QPainter p(&out);
        scene->panel->Draw(p);
    }
}

BENCHMARK(BM_Reference)->Arg(Fleet)->Arg(Zoomed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Still)->Arg(Fleet)->Arg(Zoomed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Live)->Arg(Fleet)->Arg(Zoomed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pan)->Arg(Fleet)->Arg(Zoomed)->Unit(benchmark::kMillisecond);

// Prints as usual and keeps each benchmark's time per frame for the ratios.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration)
                ms[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
};

} // namespace

int main(int argc, char **argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    TFleetScene fleet;
    if (!fleet.openMap(QSize(1920, 1080), QSize(6000, 4000))) {
        std::fprintf(stderr, "the map did not open\n");
        return 1;
    }
    fleet.addFleet(Objects);
    fleet.addActiveTrack(1, TrackPoints);
    scene = &fleet;

    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nFrame time against the plain frame (same view, same run):\n");
    const char *views[] = {"fleet", "zoomed"};
    for (int v = 0; v < 2; ++v) {
        const std::string arg = "/" + std::to_string(v);
        const auto base = reporter.ms.find("BM_Reference" + arg);
        if (base == reporter.ms.end())
            continue;
        for (const char *kind : {"BM_Still", "BM_Live", "BM_Pan"}) {
            const auto it = reporter.ms.find(kind + arg);
            if (it != reporter.ms.end())
                std::printf("  %-7s %-9s %8.2f ms  plain %8.2f ms  ratio %.3f\n", views[v],
                            kind + 3, it->second, base->second, it->second / base->second);
        }
    }
    return 0;
}
