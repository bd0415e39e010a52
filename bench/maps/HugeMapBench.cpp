// A very large JPEG sheet (tools/huge-map makes one: 20000 x 20000) opened in the real panel
// at 1920 x 1080, against `djpeg -scale 1/8` of the same file in the same run:
//   - the first frame: from OpenMap to the first frame drawn, best of five, against the best
//     of five runs of djpeg decoding the file at an eighth to /dev/null;
//   - memory: the peak resident size while the sheet opens, over the size before, against the
//     decoded overview's bytes;
//   - zoomed in to 100%: the frames drawn while the detail is read (they must not wait for
//     it), the time until the detail is shown, and again after a move beyond it.
//
//   bench/maps/huge-map.sh            (makes the sheet in a temporary folder and runs this)
//   build/bench/huge_map_bench SHEET.map [--screenshots DIR]

#include "app/Dialogs.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "maps/MapPanel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

// A field of /proc/self/status in KiB.
long statusKiB(const char *field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The peak resident size starts again from the present one.
void resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

template <class F> bool waitFor(F cond, int ms) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

QImage frame(TMapPanel &panel) {
    QImage out(panel.size(), QImage::Format_RGB32);
    QPainter p(&out);
    panel.Draw(p);
    return out;
}

double djpegMs(const QString &jpeg) {
    QElapsedTimer t;
    t.start();
    const int rc = QProcess::execute(
        QStringLiteral("djpeg"), {QStringLiteral("-scale"), QStringLiteral("1/8"),
                                  QStringLiteral("-outfile"), QStringLiteral("/dev/null"), jpeg});
    return rc == 0 ? double(t.nsecsElapsed()) / 1e6 : -1;
}

// Zooms to 100% at a sheet point; returns the ms until the detail is shown, and the longest
// frame drawn meanwhile (one every 16 ms, as a moving view would ask for).
bool zoomIn(TMapPanel &panel, const TMapCoords &at, double &detailMs, double &longestFrameMs,
            int &frames, QImage *before, QImage *after) {
    panel.SetZoom(1);
    panel.MoveCamera(at);
    QElapsedTimer t;
    t.start();
    longestFrameMs = 0;
    frames = 0;
    QImage last;
    do {
        QElapsedTimer f;
        f.start();
        last = frame(panel);
        longestFrameMs = std::max(longestFrameMs, double(f.nsecsElapsed()) / 1e6);
        if (frames++ == 0 && before)
            *before = last;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(16);
        if (t.elapsed() > 60000)
            return false;
    } while (panel.detailPending());
    detailMs = double(t.nsecsElapsed()) / 1e6;
    if (after)
        *after = frame(panel);
    return !panel.detail().Image.isNull();
}

} // namespace

int main(int argc, char **argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: huge_map_bench SHEET.map [--screenshots DIR]\n");
        return 2;
    }
    const QString mapFile = args[1];
    const int shotsAt = int(args.indexOf(QStringLiteral("--screenshots")));
    const QString shots = shotsAt > 0 && shotsAt + 1 < args.size() ? args[shotsAt + 1] : QString();

    TMapPanel panel(SilentDialogs());
    panel.setSize(QSize(1920, 1080));
    panel.AddMap(mapFile);
    waitFor([&] { return panel.bindings().pending() == 0; }, 10000);
    const QString jpeg = panel.maps()[0].FileName;

    djpegMs(jpeg); // the file in the page cache for both
    double djpeg = 1e30, first = 1e30;
    long baseKiB = 0, loadPeakKiB = 0, peakKiB = 0;
    for (int run = 0; run < 5; ++run) {
        djpeg = std::min(djpeg, djpegMs(jpeg));
        if (run == 0) {
            baseKiB = statusKiB("VmRSS:");
            resetPeak();
        }
        QElapsedTimer t;
        t.start();
        panel.OpenMap(0);
        if (!waitFor([&] { return panel.isMapReady(); }, 60000)) {
            std::fprintf(stderr, "the sheet did not open\n");
            return 1;
        }
        if (run == 0)
            loadPeakKiB = statusKiB("VmHWM:");
        frame(panel);
        first = std::min(first, double(t.nsecsElapsed()) / 1e6);
        if (run == 0)
            peakKiB = statusKiB("VmHWM:");
    }
    const double overviewMiB = double(panel.mapImage().sizeInBytes()) / (1024.0 * 1024.0);
    const double loadMiB = double(loadPeakKiB - baseKiB) / 1024.0;
    const double frameMiB = double(peakKiB - baseKiB) / 1024.0;
    std::printf("sheet %dx%d, overview %dx%d (%.1f MiB), file %.1f MiB\n",
                panel.imageSize().width(), panel.imageSize().height(), panel.mapImage().width(),
                panel.mapImage().height(), overviewMiB,
                double(QFile(jpeg).size()) / (1024.0 * 1024.0));
    std::printf("first frame     %8.1f ms   djpeg -scale 1/8 %8.1f ms   ratio %.3f\n", first, djpeg,
                first / djpeg);
    std::printf("peak resident while opening %.1f MiB over the %.1f MiB before; ratio to the "
                "overview %.3f\n",
                loadMiB, baseKiB / 1024.0, loadMiB / overviewMiB);
    std::printf("  with the first frame drawn %.1f MiB (the panel's frame buffer and this "
                "program's target, 2 x %.1f MiB, come with any frame)\n",
                frameMiB, 1920.0 * 1080 * 4 / (1024 * 1024));

    // Zoomed in to 100%: the middle of the sheet, then a move of two views to the right and down
    // (beyond the region read).
    resetPeak();
    const long beforeZoomKiB = statusKiB("VmRSS:");
    QImage before, after;
    double detailMs = 0, longest = 0;
    int frames = 0;
    const TMapCoords centre{panel.imageSize().width() / 2.0L, panel.imageSize().height() / 2.0L};
    if (!zoomIn(panel, centre, detailMs, longest, frames, &before, &after)) {
        std::fprintf(stderr, "no detail at 100%%\n");
        return 1;
    }
    std::printf("100%% at the centre: detail shown after %.0f ms (%.2fx djpeg 1/8); %d frames "
                "meanwhile, the longest %.1f ms\n",
                detailMs, detailMs / djpeg, frames, longest);
    const TMapDetail &d = panel.detail();
    std::printf("  detail %dx%d at %d/8 (%.1f MiB), peak resident %.1f MiB over the overview's "
                "panel\n",
                d.Image.width(), d.Image.height(), d.Eighths,
                double(d.Image.sizeInBytes()) / (1024.0 * 1024.0),
                (statusKiB("VmHWM:") - beforeZoomKiB) / 1024.0);
    QImage moved;
    const TMapCoords far{centre.X + 3840, centre.Y + 2160};
    if (!zoomIn(panel, far, detailMs, longest, frames, nullptr, &moved)) {
        std::fprintf(stderr, "no detail after the move\n");
        return 1;
    }
    std::printf("moved two views: detail shown after %.0f ms; %d frames meanwhile, the longest "
                "%.1f ms\n",
                detailMs, frames, longest);
    // Back out: the overview is enough and the detail is let go.
    panel.SetZoom(0);
    frame(panel);
    std::printf("zoomed out: detail kept %s\n", panel.detail().Image.isNull() ? "no" : "yes");

    // A fleet of 1000 on the sheet, the active object with a day's track of 10^5 points; the
    // frames at 100% (most objects beyond the view, shown by border pointers) and zoomed out.
    TMapObjManager objects(&panel);
    const auto geoAt = [&](double x, double y) {
        return TGeoCoords{56 * 60.0L - (long double)y * 30 / panel.imageSize().height(),
                          37 * 60.0L + (long double)x * 60 / panel.imageSize().width()};
    };
    std::mt19937 random(7);
    std::uniform_real_distribution<double> ux(500, panel.imageSize().width() - 500);
    std::uniform_real_distribution<double> uy(500, panel.imageSize().height() - 500);
    std::uniform_real_distribution<double> ua(0, 2 * M_PI);
    TDateTime clock = 46000;
    const auto record = [&](double x, double y) {
        TDataRecord r;
        clock += 1.0 / 86400;
        r.FTimeStamp = clock;
        r.FCoords = geoAt(x, y);
        return r;
    };
    const double cx = double(centre.X), cy = double(centre.Y);
    for (int n = 1; n <= 1000; ++n) {
        // A third near the middle of the sheet, the rest anywhere on it.
        const double x = n % 3 ? ux(random) : cx + (ux(random) - cx) / 6;
        const double y = n % 3 ? uy(random) : cy + (uy(random) - cy) / 6;
        const double a = ua(random);
        objects.AddObject(n, record(x - 8 * std::cos(a), y - 8 * std::sin(a)));
        objects.AddObject(n, record(x, y));
    }
    {
        TManagedItem *item = objects.Item(1);
        double x = cx - 700, y = cy - 300, heading = 0;
        std::uniform_real_distribution<double> turn(-0.05, 0.05), step(0, 3);
        item->track()->InsertionBlockStart();
        for (int i = 0; i < 100000; ++i) {
            heading += turn(random);
            x += step(random) * std::cos(heading);
            y += step(random) * std::sin(heading);
            if (std::abs(x - cx) > 3000 || std::abs(y - cy) > 3000)
                heading += M_PI / 2;
            item->SetCurrent(record(x, y));
        }
        item->track()->InsertionBlockEnd();
        objects.SetActiveObject(1);
    }
    panel.SetZoom(1);
    panel.MoveCamera(TMapCoords{cx, cy});
    waitFor(
        [&] {
            frame(panel);
            return !panel.detailPending();
        },
        60000);
    frame(panel);
    QElapsedTimer ft;
    ft.start();
    const int n = 20;
    QImage fleet100;
    for (int i = 0; i < n; ++i)
        fleet100 = frame(panel);
    std::printf("1000 objects and a 10^5-point track at 100%%: %.1f ms a frame\n",
                double(ft.nsecsElapsed()) / 1e6 / n);
    panel.SetZoom(0);
    QImage fleetAll = frame(panel);

    if (!shots.isEmpty()) {
        before.save(shots + QStringLiteral("/huge-100-before-detail.png"));
        after.save(shots + QStringLiteral("/huge-100-detail.png"));
        moved.save(shots + QStringLiteral("/huge-100-moved.png"));
        fleet100.save(shots + QStringLiteral("/huge-100-1000-objects.png"));
        fleetAll.save(shots + QStringLiteral("/huge-1000-objects.png"));
        std::printf("screenshots in %s\n", qPrintable(shots));
    }
    return 0;
}
