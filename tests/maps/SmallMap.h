#pragma once

#include "app/Dialogs.h"
#include "maps/MapPanel.h"

#include "MapFileBuilder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

// A 600 x 600 sheet of one colour bound to 56°..55° N, 37°..38° E in the plain projection,
// so that one image pixel is a tenth of a minute of arc either way, open in a panel at
// zoom 1 with the camera at the image's centre.
struct TSmallMap {
    static constexpr int Side = 600;
    static constexpr QRgb Ground = 0xFFC0C0C0;

    QTemporaryDir dir;
    std::unique_ptr<TMapPanel> panel = std::make_unique<TMapPanel>(SilentDialogs());

    // The position shown at image pixel (x, y).
    static TGeoCoords geoAt(long double x, long double y) {
        return TGeoCoords{56 * 60.0L - y / 10, 37 * 60.0L + x / 10};
    }

    bool open(const QSize &panelSize) {
        if (!dir.isValid())
            return false;
        QImage img(Side, Side, QImage::Format_RGB32);
        img.fill(Ground);
        if (!img.save(dir.filePath(QStringLiteral("small.bmp")), "BMP"))
            return false;
        TMapFileBuilder b;
        b.image = QStringLiteral("small.bmp");
        b.corners = {QStringLiteral("MMPNUM,4"),
                     QStringLiteral("MMPXY,1,0,0"),
                     QStringLiteral("MMPXY,2,600,0"),
                     QStringLiteral("MMPXY,3,600,600"),
                     QStringLiteral("MMPXY,4,0,600"),
                     QStringLiteral("MMPLL,1,  37.000000,  56.000000"),
                     QStringLiteral("MMPLL,2,  38.000000,  56.000000"),
                     QStringLiteral("MMPLL,3,  38.000000,  55.000000"),
                     QStringLiteral("MMPLL,4,  37.000000,  55.000000")};
        b.tail = {QStringLiteral("MOP,Map Open Position,0,0"),
                  QStringLiteral("IWH,Map Image Width/Height,600,600")};
        panel->setSize(panelSize);
        panel->AddMap(b.write(QDir(dir.path()), QStringLiteral("small.map")));
        panel->OpenMap(0);
        QElapsedTimer t;
        t.start();
        while (panel->pendingLoads() > 0 || !panel->isMapReady()) {
            if (t.elapsed() > 10000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
        panel->SetZoom(1);
        panel->MoveCamera(TMapCoords{Side / 2, Side / 2});
        return true;
    }

    QImage paint() {
        QImage out(panel->size(), QImage::Format_RGB32);
        out.fill(Qt::black);
        QPainter p(&out);
        panel->Draw(p);
        return out;
    }
};
