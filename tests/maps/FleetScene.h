#pragma once

// A fleet on a map, as the operator of a large fleet sees it: a textured sheet in the plain
// latitude/longitude projection open in a real panel, one managed item per object with its
// heading arrow, and the active object's long track wandering over the view with stretches of
// lost GPS. Shared by the frame tests and the frame benchmark.

#include "app/Dialogs.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "maps/MapPanel.h"

#include "MapFileBuilder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <memory>
#include <random>

struct TFleetScene {
    QTemporaryDir dir;
    QSize imageSize;
    std::unique_ptr<TMapPanel> panel;
    std::unique_ptr<TMapObjManager> objects;
    std::mt19937 random{12345};
    TDateTime clock = 46000;

    // The position at image pixel (x, y): the sheet spans 37°..38° E and 56°..55.5° N.
    TGeoCoords geoAt(double x, double y) const {
        return TGeoCoords{56 * 60.0L - (long double)y * 30 / imageSize.height(),
                          37 * 60.0L + (long double)x * 60 / imageSize.width()};
    }

    // A sheet of the given size with a pattern that shows every pixel (so the background is a
    // real part of the comparison).
    bool openMap(const QSize &view, const QSize &image) {
        imageSize = image;
        QImage img(image, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = qRgb(200 + (x * 7 + y) % 40, 190 + (x + y * 3) % 50, 170 + (x ^ y) % 60);
        }
        if (!img.save(dir.filePath(QStringLiteral("sheet.bmp")), "BMP"))
            return false;
        const int w = image.width(), h = image.height();
        TMapFileBuilder b;
        b.image = QStringLiteral("sheet.bmp");
        b.corners = {QStringLiteral("MMPNUM,4"),
                     QStringLiteral("MMPXY,1,0,0"),
                     QStringLiteral("MMPXY,2,%1,0").arg(w),
                     QStringLiteral("MMPXY,3,%1,%2").arg(w).arg(h),
                     QStringLiteral("MMPXY,4,0,%1").arg(h),
                     QStringLiteral("MMPLL,1,  37.000000,  56.000000"),
                     QStringLiteral("MMPLL,2,  38.000000,  56.000000"),
                     QStringLiteral("MMPLL,3,  38.000000,  55.500000"),
                     QStringLiteral("MMPLL,4,  37.000000,  55.500000")};
        b.tail = {QStringLiteral("MOP,Map Open Position,0,0"),
                  QStringLiteral("IWH,Map Image Width/Height,%1,%2").arg(w).arg(h)};
        panel = std::make_unique<TMapPanel>(SilentDialogs());
        panel->setSize(view);
        panel->AddMap(b.write(QDir(dir.path()), QStringLiteral("sheet.map")));
        panel->OpenMap(0);
        QElapsedTimer t;
        t.start();
        while (panel->pendingLoads() > 0 || !panel->isMapReady()) {
            if (t.elapsed() > 20000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
        panel->SetZoom(1);
        panel->MoveCamera(TMapCoords{w / 2.0L, h / 2.0L});
        objects = std::make_unique<TMapObjManager>(panel.get());
        return true;
    }

    TDataRecord record(double x, double y, bool lost = false) {
        TDataRecord r;
        clock += 1.0 / 86400;
        r.FTimeStamp = clock;
        r.FCoords = geoAt(x, y);
        r.FGPSLost = lost;
        return r;
    }

    // Objects 1..count at random places of the image area around the camera (spread over
    // `spread` times the view at zoom 1), each turned to a random heading by a short move.
    void addFleet(int count, double spread = 1.0) {
        const QSize v = panel->size();
        const TMapCoords c = panel->cameraCoords();
        std::uniform_real_distribution<double> ux(-v.width() * spread / 2, v.width() * spread / 2);
        std::uniform_real_distribution<double> uy(-v.height() * spread / 2,
                                                  v.height() * spread / 2);
        std::uniform_real_distribution<double> ua(0, 2 * M_PI);
        for (int n = 1; n <= count; ++n) {
            const double x = double(c.X) + ux(random), y = double(c.Y) + uy(random);
            const double a = ua(random);
            objects->AddObject(n, record(x - 6 * std::cos(a), y - 6 * std::sin(a)));
            objects->AddObject(n, record(x, y));
        }
    }

    // The active object's track: `points` positions of a vehicle wandering over the view, most
    // moves under two pixels, with a stretch of lost GPS every few thousand points and a few
    // excursions beyond the view.
    void addActiveTrack(int number, int points) {
        TManagedItem *item = objects->Item(number);
        const QSize v = panel->size();
        const TMapCoords c = panel->cameraCoords();
        const double left = double(c.X) - v.width() * 0.6, right = double(c.X) + v.width() * 0.6;
        const double top = double(c.Y) - v.height() * 0.6, bottom = double(c.Y) + v.height() * 0.6;
        std::uniform_real_distribution<double> turn(-0.25, 0.25), step(0.1, 2.2);
        double x = double(c.X), y = double(c.Y), heading = 0.3;
        item->track()->InsertionBlockStart();
        for (int i = 0; i < points; ++i) {
            heading += turn(random);
            x += step(random) * std::cos(heading);
            y += step(random) * std::sin(heading);
            if (x < left || x > right)
                heading = M_PI - heading;
            if (y < top || y > bottom)
                heading = -heading;
            x = std::clamp(x, left, right);
            y = std::clamp(y, top, bottom);
            item->SetCurrent(record(x, y, i % 3000 > 2900));
        }
        item->track()->InsertionBlockEnd();
        objects->SetActiveObject(number);
    }

    // One frame through the panel, as the widget paints it.
    QImage frame() {
        QImage out(panel->size(), QImage::Format_RGB32);
        out.fill(Qt::black);
        QPainter p(&out);
        panel->Draw(p);
        return out;
    }
};
