#include "maps/MapPanel.h"

#include "app/Folders.h"
#include "app/Logging.h"
#include "maps/MapLoadThread.h"

#include "../common/ScriptedDialogs.h"
#include "MapFileBuilder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <utility>

namespace {

// Runs the event loop until the condition holds or the time is up.
template <class F> bool waitFor(F cond, int ms) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Counts a signal's emissions and keeps the last int argument.
struct TCounter {
    int count = 0;
    int last = 0;
    void operator()() { ++count; }
    void operator()(int v) {
        ++count;
        last = v;
    }
};

// Pixel (x, y) of a test image: red and green are x and y modulo 256, blue their high parts,
// so a painted pixel tells which image pixel it shows.
QRgb gradient(int x, int y) {
    return qRgb(x % 256, y % 256, (x / 256) * 16 + y / 256);
}

QImage gradientImage(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, gradient(x, y));
    return img;
}

// Four quarters in clearly different colours survive JPEG compression and reduction.
const QRgb quarterColours[4] = {qRgb(255, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 255),
                                qRgb(240, 240, 0)};
QImage quartersImage(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.fillRect(0, 0, w / 2, h / 2, QColor(quarterColours[0]));
    p.fillRect(w / 2, 0, w - w / 2, h / 2, QColor(quarterColours[1]));
    p.fillRect(0, h / 2, w / 2, h - h / 2, QColor(quarterColours[2]));
    p.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, QColor(quarterColours[3]));
    return img;
}

bool near(QRgb a, QRgb b, int tol) {
    return std::abs(qRed(a) - qRed(b)) <= tol && std::abs(qGreen(a) - qGreen(b)) <= tol &&
           std::abs(qBlue(a) - qBlue(b)) <= tol;
}

// A map sheet whose corners are bound to a degree box (degrees), in the plain
// latitude/longitude projection.
QString writeMap(const QDir &dir, const QString &name, const QString &image, int w, int h,
                 double scale, double west = 37, double east = 38, double south = 55.5,
                 double north = 56, bool withSize = true) {
    TMapFileBuilder b;
    b.title = name;
    b.image = image;
    const auto ll = [](int i, double lon, double lat) {
        return QStringLiteral("MMPLL,%1,  %2,  %3").arg(i).arg(lon, 0, 'f', 6).arg(lat, 0, 'f', 6);
    };
    b.corners = {QStringLiteral("MMPNUM,4"),
                 QStringLiteral("MMPXY,1,0,0"),
                 QStringLiteral("MMPXY,2,%1,0").arg(w),
                 QStringLiteral("MMPXY,3,%1,%2").arg(w).arg(h),
                 QStringLiteral("MMPXY,4,0,%1").arg(h),
                 ll(1, west, north),
                 ll(2, east, north),
                 ll(3, east, south),
                 ll(4, west, south)};
    b.scale = QStringLiteral("MM1B,%1").arg(scale, 0, 'f', 6);
    b.tail = {QStringLiteral("MOP,Map Open Position,0,0")};
    if (withSize)
        b.tail << QStringLiteral("IWH,Map Image Width/Height,%1,%2").arg(w).arg(h);
    return b.write(dir, name + QStringLiteral(".map"));
}

TGeoCoords minutes(double latDeg, double lonDeg) {
    return TGeoCoords{latDeg * 60.0L, lonDeg * 60.0L};
}

// A square of one colour around its position, in screen pixels; remembers the viewport it was
// last drawn with.
class TSquare final : public TMapObject {
public:
    TSquare(int weight, QRgb colour, int half)
        : TMapObject(weight), m_colour(colour), m_half(half) {}
    TIntRect GetMetrics() const override {
        const int x = int(std::lround(double(FMapCoords.X)));
        const int y = int(std::lround(double(FMapCoords.Y)));
        return {x - m_half, y - m_half, x + m_half, y + m_half};
    }
    void Draw(QPainter &canvas, const TMapViewport &view) override {
        seen = view;
        const QPoint p = view.MapToScreen(FMapCoords);
        canvas.fillRect(p.x() - m_half, p.y() - m_half, 2 * m_half, 2 * m_half, QColor(m_colour));
    }
    TMapViewport seen;

private:
    QRgb m_colour;
    int m_half;
};

class MapPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        dialogs = std::make_shared<TScriptedDialogs>();
    }

    QString saveImage(const QString &name, const QImage &img, const char *format) {
        const QString path = tmp.filePath(name);
        EXPECT_TRUE(img.save(path, format));
        return path;
    }
    // Opens a map and waits until its loader has finished and been joined, and every listed
    // map is bound.
    static bool openAndWait(TMapPanel &panel, int index, const TGeoCoords &at = {}) {
        panel.OpenMap(index, at);
        return waitFor([&] { return panel.pendingLoads() == 0 && panel.bindings().pending() == 0; },
                       10000);
    }
    QImage paint(TMapPanel &panel) {
        QImage out(panel.size(), QImage::Format_RGB32);
        out.fill(Qt::black);
        QPainter p(&out);
        panel.Draw(p);
        return out;
    }

    QTemporaryDir tmp;
    std::shared_ptr<TScriptedDialogs> dialogs;
};

// Screen, image and geographic coordinates agree with each other at every zoom and camera.
TEST_F(MapPanelTest, ConversionsRoundTrip) {
    saveImage(QStringLiteral("g.bmp"), gradientImage(1000, 800), "BMP");
    TMapPanel panel(*dialogs);
    panel.setSize(QSize(300, 200));
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("g"), QStringLiteral("g.bmp"), 1000, 800, 20));
    ASSERT_TRUE(openAndWait(panel, 0));
    ASSERT_TRUE(panel.isMapReady());
    EXPECT_TRUE(dialogs->calls.empty());

    // The hand-worked case: camera (500, 400) at zoom 2 shows image x 425..575, y 350..450.
    panel.SetZoom(2);
    panel.MoveCamera(TMapCoords{500, 400});
    EXPECT_DOUBLE_EQ(double(panel.ScreenToMap({0, 0}).X), 425);
    EXPECT_DOUBLE_EQ(double(panel.ScreenToMap({0, 0}).Y), 350);
    EXPECT_EQ(panel.MapToScreen({575, 450}), QPoint(300, 200));
    EXPECT_EQ(panel.GetView(), (TIntRect{425, 350, 575, 450}));
    panel.MoveCamera(10, -7); // screen pixels: 5 and -3 image pixels
    EXPECT_DOUBLE_EQ(double(panel.cameraCoords().X), 505);
    EXPECT_DOUBLE_EQ(double(panel.cameraCoords().Y), 397);

    const struct {
        long double zoom;
        TMapCoords camera;
    } cases[] = {{1, {500, 400}}, {2, {333, 251}},    {4, {10, 10}},
                 {4, {501, 30}},  {0.5L, {640, 300}}, {1.0L / 3, {500, 400}}};
    const QPoint screens[] = {{0, 0}, {150, 100}, {299, 199}, {17, 123}};
    for (const auto &c : cases) {
        panel.SetZoom(c.zoom);
        panel.MoveCamera(c.camera);
        SCOPED_TRACE(double(panel.GetZoom()));
        // Reading a point off the screen cuts the view's corner towards zero, placing one rounds
        // it: where half the view is not a whole number of image pixels the two differ by up
        // to one image pixel.
        const long double half = 300 * panel.scalingFactor() / 2;
        const int slack = half == std::trunc(half) ? 0 : int(std::ceil(double(panel.GetZoom())));
        for (const QPoint &s : screens) {
            const TMapCoords m = panel.ScreenToMap(s);
            const QPoint back = panel.MapToScreen(m);
            EXPECT_LE(std::abs(back.x() - s.x()), slack) << s.x();
            EXPECT_EQ(back.y(), s.y()); // half the height is whole at every zoom here
            // Geographic positions read off the screen land on the same image point.
            const TMapCoords geo =
                panel.coordsConverter().GeoToMap(panel.ScreenToGeo(s.x(), s.y()));
            EXPECT_NEAR(double(geo.X), double(m.X), 1.0);
            EXPECT_NEAR(double(geo.Y), double(m.Y), 1.0);
        }
    }
    // The geographic camera: the sheet's centre position is the image's centre.
    panel.MoveCamera(minutes(55.75, 37.5));
    EXPECT_NEAR(double(panel.cameraCoords().X), 500, 1e-6);
    EXPECT_NEAR(double(panel.cameraCoords().Y), 400, 1e-6);
}

TEST_F(MapPanelTest, ZoomStepsAndLimits) {
    saveImage(QStringLiteral("tall.jpg"), quartersImage(1000, 2000), "JPG");
    TMapPanel panel(*dialogs);
    TCounter zoomField;
    QObject::connect(&panel, &TMapPanel::zoomChanged, [&](int v) { zoomField(v); });
    panel.setSize(QSize(300, 200));
    panel.AddMap(
        writeMap(tmp.path(), QStringLiteral("tall"), QStringLiteral("tall.jpg"), 1000, 2000, 20));
    EXPECT_EQ(panel.GetZoom(), 0);
    EXPECT_EQ(panel.GetZoomStr(), QString());
    ASSERT_TRUE(openAndWait(panel, 0));

    // Opened without a position: the smallest zoom, the image's short side across the long one.
    EXPECT_NEAR(double(panel.GetZoom()), 0.3, 1e-12);
    EXPECT_EQ(zoomField.last, 30);
    panel.ZoomOut();
    EXPECT_NEAR(double(panel.GetZoom()), 0.3, 1e-12);
    panel.SetZoom(1.0L);
    EXPECT_EQ(zoomField.last, 100);
    EXPECT_EQ(panel.GetZoomStr(), QStringLiteral("100,00"));
    panel.ZoomIn();
    EXPECT_NEAR(double(panel.GetZoom()), 1.1, 1e-12);
    panel.SetZoom(3.95L);
    panel.ZoomIn();
    EXPECT_EQ(panel.GetZoom(), 4.0L);
    panel.SetZoom(100);
    EXPECT_EQ(panel.GetZoom(), 4.0L);
    EXPECT_NEAR(double(panel.scalingFactor()), 0.25, 1e-15);

    // A panel larger than four times the image: the smallest zoom wins over the largest.
    panel.setSize(QSize(5000, 4500));
    panel.SetZoom(1);
    EXPECT_EQ(panel.GetZoom(), 5.0L);
}

// The camera is held inside the image on every draw, before the objects get the frame's view;
// an image smaller than the view is pinned by its far edge.
TEST_F(MapPanelTest, CameraLimitsOnDraw) {
    saveImage(QStringLiteral("g.bmp"), gradientImage(400, 300), "BMP");
    TMapPanel panel(*dialogs);
    panel.setSize(QSize(100, 80));
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("g"), QStringLiteral("g.bmp"), 400, 300, 20));
    ASSERT_TRUE(openAndWait(panel, 0));
    panel.SetZoom(1);
    auto *probe = panel.CreateObject<TSquare>(1, qRgb(1, 2, 3), 1);
    panel.FShowPointerToNotVisObj = false;
    const struct {
        TMapCoords camera, limited;
    } cases[] = {{{0, 0}, {50, 40}}, {{1000, 1000}, {350, 260}}, {{200, 150}, {200, 150}}};
    for (const auto &c : cases) {
        panel.MoveCamera(c.camera);
        paint(panel);
        EXPECT_DOUBLE_EQ(double(panel.cameraCoords().X), double(c.limited.X));
        EXPECT_DOUBLE_EQ(double(panel.cameraCoords().Y), double(c.limited.Y));
        EXPECT_DOUBLE_EQ(double(probe->seen.camera().X), double(c.limited.X));
        EXPECT_DOUBLE_EQ(double(probe->seen.camera().Y), double(c.limited.Y));
        EXPECT_EQ(probe->seen.size(), QSize(100, 80));
        EXPECT_TRUE(probe->seen.isMapReady());
        EXPECT_FALSE(probe->seen.showPointerToNotVisObj());
    }
}

// What is painted is the image at the camera, and the objects above it in weight order.
TEST_F(MapPanelTest, PaintsImageAtCameraAndObjectsByWeight) {
    saveImage(QStringLiteral("g.bmp"), gradientImage(600, 500), "BMP");
    TMapPanel panel(*dialogs);
    panel.setSize(QSize(64, 48));
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("g"), QStringLiteral("g.bmp"), 600, 500, 20));
    // Added before the map exists: placed when the map opens.
    auto *heavy = panel.CreateObject<TSquare>(20, qRgb(255, 255, 255), 4);
    auto *light = panel.CreateObject<TSquare>(10, qRgb(0, 0, 0), 6);
    heavy->FGeoCoords = light->FGeoCoords = minutes(55.75, 37.5); // image (300, 250)
    ASSERT_EQ(panel.objects().front().get(), light);
    ASSERT_TRUE(openAndWait(panel, 0));
    EXPECT_NEAR(double(heavy->FMapCoords.X), 300, 1e-6);

    panel.SetZoom(1);
    panel.MoveCamera(TMapCoords{300, 250});
    QImage out = paint(panel);
    for (const QPoint s : {QPoint(0, 0), QPoint(63, 47), QPoint(5, 40), QPoint(50, 3)}) {
        const TMapCoords m = panel.ScreenToMap(s);
        EXPECT_EQ(out.pixel(s), gradient(int(m.X), int(m.Y))) << s.x() << "," << s.y();
    }
    EXPECT_EQ(out.pixel(32, 24), qRgb(255, 255, 255)); // heavier on top
    EXPECT_EQ(out.pixel(32 + 5, 24), qRgb(0, 0, 0));   // the lighter one shows round it

    // Weights change the order; invisible objects are not drawn.
    heavy->setWeight(5);
    out = paint(panel);
    EXPECT_EQ(out.pixel(32, 24), qRgb(0, 0, 0));
    light->FisVisible = false;
    out = paint(panel);
    EXPECT_EQ(out.pixel(32, 24), qRgb(255, 255, 255));

    // At zoom 2 every image pixel spans two screen pixels (smoothing blends neighbours only).
    panel.RemoveAll();
    panel.SetZoom(2);
    panel.MoveCamera(TMapCoords{100, 120});
    out = paint(panel);
    for (const QPoint s : {QPoint(2, 2), QPoint(40, 30), QPoint(61, 45)}) {
        const TMapCoords m = panel.ScreenToMap(s);
        EXPECT_TRUE(near(out.pixel(s), gradient(int(m.X), int(m.Y)), 2)) << s.x() << "," << s.y();
    }
    // A hidden map leaves white.
    panel.setMapVisible(false);
    EXPECT_EQ(paint(panel).pixel(10, 10), qRgb(255, 255, 255));
}

// JPEG whatever the case of its extension, BMP by its own; a very large JPEG is decoded
// reduced and still painted where the binding puts it.
TEST_F(MapPanelTest, LoadsJpegAndBmpAndReducesLargeJpeg) {
    const QString bmp = saveImage(QStringLiteral("q.bmp"), quartersImage(400, 200), "BMP");
    const QString jpg = saveImage(QStringLiteral("q.JpEg"), quartersImage(400, 200), "JPG");
    for (const QString &f : {bmp, jpg}) {
        QImage img;
        QSize full;
        QString err;
        ASSERT_TRUE(TMapLoadThread::DecodeImage(f, img, full, err)) << err.toStdString();
        EXPECT_EQ(full, QSize(400, 200));
        EXPECT_EQ(img.size(), QSize(400, 200));
        EXPECT_TRUE(near(img.pixel(100, 50), quarterColours[0], 8));
        EXPECT_TRUE(near(img.pixel(300, 150), quarterColours[3], 8));
    }

    const qint64 saved = TMapLoadThread::maxDecodedPixels();
    TMapLoadThread::setMaxDecodedPixels(200 * 100); // a quarter of the image's pixels
    TMapPanel panel(*dialogs);
    panel.setSize(QSize(100, 100));
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("q"), QStringLiteral("q.JpEg"), 400, 200, 20));
    const bool done = openAndWait(panel, 0);
    TMapLoadThread::setMaxDecodedPixels(saved);
    ASSERT_TRUE(done);
    ASSERT_TRUE(panel.isMapReady());
    EXPECT_EQ(panel.mapImage().size(), QSize(200, 100));
    EXPECT_EQ(panel.imageSize(), QSize(400, 200));
    panel.SetZoom(1);
    for (int q = 0; q < 4; ++q) {
        panel.MoveCamera(TMapCoords{100.0L + 200 * (q % 2), 50.0L + 100 * (q / 2)});
        EXPECT_TRUE(near(paint(panel).pixel(50, 50), quarterColours[q], 12)) << q;
    }
}

// The open errors of the panel, each in its box; the panel is left without a map.
TEST_F(MapPanelTest, OpenErrorsLeaveNoMap) {
    saveImage(QStringLiteral("ok.bmp"), gradientImage(100, 100), "BMP");
    QFile junk(tmp.filePath(QStringLiteral("junk.jpg")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is no picture");
    junk.close();

    TMapPanel panel(*dialogs);
    panel.setSize(QSize(50, 50));
    panel.AddMap(
        writeMap(tmp.path(), QStringLiteral("ok"), QStringLiteral("ok.bmp"), 100, 100, 20));
    panel.AddMap(
        writeMap(tmp.path(), QStringLiteral("gone"), QStringLiteral("gone.bmp"), 100, 100, 20));
    panel.AddMap(
        writeMap(tmp.path(), QStringLiteral("junk"), QStringLiteral("junk.jpg"), 100, 100, 20));
    // Corners all at one position bind to nothing.
    const QString unboundMap = writeMap(tmp.path(), QStringLiteral("u"), QStringLiteral("ok.bmp"),
                                        100, 100, 20, 37, 37, 55, 55);
    panel.AddMap(unboundMap);

    const struct {
        int index;
        QString text, caption;
        TMsgIcon icon;
    } cases[] = {
        {7, QStringLiteral("Неверный индекс карты"), QStringLiteral("Ошибка"), TMsgIcon::None},
        {1, QStringLiteral("Файл карты не найден: ") + tmp.filePath(QStringLiteral("gone.bmp")),
         QStringLiteral("Ошибка"), TMsgIcon::None},
        {3, QStringLiteral("Ошибка привязки карты."), QStringLiteral("Ошибка"), TMsgIcon::None},
        {2,
         QStringLiteral("Невозможно загрузить изображение: ") +
             tmp.filePath(QStringLiteral("junk.jpg")),
         QStringLiteral("Ошибка!"), TMsgIcon::Error},
    };
    TCounter ended;
    QObject::connect(&panel, &TMapPanel::OnEndOpenMap, [&] { ended(); });
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        ASSERT_TRUE(openAndWait(panel, 0));
        ASSERT_TRUE(panel.isMapReady());
        dialogs->calls.clear();
        ended = TCounter{};
        ASSERT_TRUE(openAndWait(panel, c.index));
        QCoreApplication::processEvents();
        ASSERT_EQ(dialogs->calls.size(), 1u);
        EXPECT_EQ(dialogs->calls[0].text, c.text);
        EXPECT_EQ(dialogs->calls[0].caption, c.caption);
        EXPECT_EQ(dialogs->calls[0].icon, c.icon);
        EXPECT_FALSE(panel.mapOpened());
        EXPECT_FALSE(panel.mapLoaded());
        EXPECT_EQ(panel.currentMapIndex(), -1);
        EXPECT_TRUE(panel.isEnabled());
        EXPECT_EQ(panel.caption(), QString());
        EXPECT_EQ(ended.count, 0);
        EXPECT_EQ(panel.GetZoom(), 0);
    }
}

// Only the newest request's image is shown; an earlier load that finishes later, or fails,
// is dropped without a trace.
TEST_F(MapPanelTest, SupersededLoadIsDropped) {
    // The first image is much larger, so its loader usually finishes last.
    saveImage(QStringLiteral("big.jpg"), quartersImage(3000, 3000), "JPG");
    saveImage(QStringLiteral("small.bmp"), gradientImage(120, 90), "BMP");
    QFile junk(tmp.filePath(QStringLiteral("junk.jpg")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(1000, 'x'));
    junk.close();

    TMapPanel panel(*dialogs);
    panel.setSize(QSize(60, 60));
    panel.AddMap(
        writeMap(tmp.path(), QStringLiteral("big"), QStringLiteral("big.jpg"), 3000, 3000, 20));
    panel.AddMap(
        writeMap(tmp.path(), QStringLiteral("small"), QStringLiteral("small.bmp"), 120, 90, 20));
    panel.AddMap(
        writeMap(tmp.path(), QStringLiteral("junk"), QStringLiteral("junk.jpg"), 100, 100, 20));
    TCounter started, ended;
    QObject::connect(&panel, &TMapPanel::OnStartOpenMap, [&] { started(); });
    QObject::connect(&panel, &TMapPanel::OnEndOpenMap, [&] { ended(); });

    for (const int first : {0, 2}) {
        SCOPED_TRACE(first);
        started = ended = TCounter{};
        panel.OpenMap(first);
        EXPECT_EQ(panel.caption(), QStringLiteral("Загрузка карты..."));
        EXPECT_FALSE(panel.isEnabled());
        panel.OpenMap(1);
        ASSERT_TRUE(waitFor([&] { return panel.pendingLoads() == 0; }, 20000));
        QCoreApplication::processEvents();
        EXPECT_EQ(started.count, 2);
        EXPECT_EQ(ended.count, 1);
        EXPECT_EQ(panel.currentMapIndex(), 1);
        EXPECT_TRUE(panel.isMapReady());
        EXPECT_EQ(panel.imageSize(), QSize(120, 90));
        EXPECT_EQ(panel.mapImage().pixel(7, 5), gradient(7, 5));
        EXPECT_TRUE(dialogs->calls.empty());
    }
}

// Without an area neither zoom nor drawing happens; both resume once the panel has a size.
TEST_F(MapPanelTest, NoAreaNothingHappens) {
    saveImage(QStringLiteral("g.bmp"), gradientImage(200, 100), "BMP");
    TMapPanel panel(*dialogs);
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("g"), QStringLiteral("g.bmp"), 200, 100, 20));
    ASSERT_TRUE(openAndWait(panel, 0));
    ASSERT_TRUE(panel.isMapReady());
    const long double before = panel.GetZoom();
    panel.SetZoom(2);
    panel.ZoomIn();
    EXPECT_EQ(panel.GetZoom(), before);
    QImage target(10, 10, QImage::Format_RGB32);
    target.fill(Qt::black);
    {
        QPainter p(&target);
        panel.Draw(p);
        panel.Paint(p);
    }
    EXPECT_EQ(target.pixel(5, 5), qRgb(0, 0, 0));
    EXPECT_TRUE(panel.GetSurface().isNull());

    panel.setSize(QSize(40, 20));
    panel.SetZoom(2);
    EXPECT_EQ(panel.GetZoom(), 2.0L);
    panel.MoveCamera(TMapCoords{100, 50});
    const QImage out = paint(panel);
    const TMapCoords m = panel.ScreenToMap({20, 10});
    EXPECT_TRUE(near(out.pixel(20, 10), gradient(int(m.X), int(m.Y)), 2));
}

// The most detailed sheet that holds a position wins; the open one is kept on a tie.
TEST_F(MapPanelTest, BestMapBetweenTheSampleMaps) {
    const QString dir = QStringLiteral(ZARNEX_BIN_DIR "/map/");
    TMapPanel panel(*dialogs);
    panel.setSize(QSize(400, 300));
    ASSERT_EQ(panel.AddMap(dir + QStringLiteral("moscow-overview.map")), 0);
    ASSERT_EQ(panel.AddMap(dir + QStringLiteral("moscow-centre.map")), 1);
    ASSERT_TRUE(openAndWait(panel, 0));
    ASSERT_TRUE(panel.isMapReady());
    EXPECT_EQ(panel.imageSize(), QSize(panel.maps()[0].Width, panel.maps()[0].Height));

    const TGeoCoords centre{3345, 2257};    // 55°45' N 37°37' E, on both sheets
    const TGeoCoords outskirts{3335, 2245}; // 55°35' N 37°25' E, the overview only
    const TGeoCoords away{3000, 2000};

    panel.SelectBestFitMap(outskirts, true);
    EXPECT_EQ(panel.pendingLoads(), 0); // the open sheet is the best: nothing reopens
    panel.SelectBestFitMap(away, true);
    EXPECT_EQ(panel.pendingLoads(), 0);
    EXPECT_EQ(panel.currentMapIndex(), 0);

    panel.SelectBestFitMap(centre, true);
    EXPECT_EQ(panel.pendingLoads(), 1);
    ASSERT_TRUE(waitFor([&] { return panel.pendingLoads() == 0; }, 10000));
    EXPECT_EQ(panel.currentMapIndex(), 1);
    // Opened centred on the position.
    const TMapCoords at = panel.coordsConverter().GeoToMap(centre);
    EXPECT_NEAR(double(panel.cameraCoords().X), double(at.X), 1e-6);
    EXPECT_NEAR(double(panel.cameraCoords().Y), double(at.Y), 1e-6);
    EXPECT_TRUE(panel.isCoordsInCurrentMap(centre));
    EXPECT_FALSE(panel.isCoordsInCurrentMap(outskirts));

    // From the detailed sheet, a position only the overview holds goes back to it.
    panel.SelectBestFitMap(outskirts, false);
    ASSERT_TRUE(waitFor([&] { return panel.pendingLoads() == 0; }, 10000));
    EXPECT_EQ(panel.currentMapIndex(), 0);
    ASSERT_TRUE(panel.isMapReady());
    // Without a position to centre on, the camera starts at the image's centre.
    EXPECT_DOUBLE_EQ(double(panel.cameraCoords().X), panel.imageSize().width() / 2);
    EXPECT_TRUE(dialogs->calls.empty());
}

TEST_F(MapPanelTest, BestMapTiesAndEdges) {
    saveImage(QStringLiteral("a.bmp"), gradientImage(100, 100), "BMP");
    TMapPanel panel(*dialogs);
    panel.setSize(QSize(50, 50));
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("a"), QStringLiteral("a.bmp"), 100, 100, 20));
    panel.AddMap(
        writeMap(tmp.path(), QStringLiteral("tie"), QStringLiteral("a.bmp"), 100, 100, 20));
    // The same sheet, one map with a scale of 10000: never chosen.
    panel.AddMap(
        writeMap(tmp.path(), QStringLiteral("coarse"), QStringLiteral("a.bmp"), 100, 100, 10000));
    ASSERT_TRUE(openAndWait(panel, 0));
    panel.SelectBestFitMap(minutes(55.75, 37.5), true);
    EXPECT_EQ(panel.pendingLoads(), 0);
    EXPECT_EQ(panel.currentMapIndex(), 0);

    // The right edge (x equal to the width) is outside; just left of it is inside.
    const TGeoCoords edge = minutes(55.75, 38);
    EXPECT_NEAR(double(panel.coordsConverter().GeoToMap(edge).X), 100, 1e-6);
    EXPECT_FALSE(panel.isCoordsInCurrentMap(edge));
    EXPECT_TRUE(panel.isCoordsInCurrentMap(minutes(55.75, 37.99)));
    EXPECT_EQ(panel.GetCurrentMapDescription().Name, QStringLiteral("a"));

    // A map without an image size contains nothing.
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("nosize"), QStringLiteral("a.bmp"), 100, 100,
                          20, 37, 38, 55.5, 56, false));
    ASSERT_TRUE(openAndWait(panel, 3));
    ASSERT_TRUE(panel.isMapReady());
    EXPECT_FALSE(panel.isCoordsInCurrentMap(minutes(55.75, 37.5)));
}

// Zooming onto an object: centred on it, the zoom fitting it, at most 1.0.
TEST_F(MapPanelTest, ZoomToObject) {
    saveImage(QStringLiteral("g.bmp"), gradientImage(800, 600), "BMP");
    TMapPanel panel(*dialogs);
    panel.setSize(QSize(200, 100));
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("g"), QStringLiteral("g.bmp"), 800, 600, 20));
    ASSERT_TRUE(openAndWait(panel, 0));
    auto *obj = panel.CreateObject<TSquare>(1, qRgb(1, 2, 3), 20); // 40 x 40 image pixels
    obj->FMapCoords = TMapCoords{300, 200};
    panel.SetZoom(3);
    panel.ZoomTo(*obj);
    EXPECT_EQ(panel.GetZoom(), 1.0L);
    EXPECT_DOUBLE_EQ(double(panel.cameraCoords().X), 300);
    auto *wide = panel.CreateObject<TSquare>(1, qRgb(1, 2, 3), 100); // 200 x 200
    wide->FMapCoords = TMapCoords{400, 300};
    panel.ZoomTo(*wide);
    EXPECT_EQ(panel.GetZoom(), 0.5L);
    EXPECT_DOUBLE_EQ(double(panel.cameraCoords().Y), 300);
    // A centre outside the image changes nothing.
    obj->FMapCoords = TMapCoords{900, 200};
    panel.ZoomTo(*obj);
    EXPECT_EQ(panel.GetZoom(), 0.5L);
    EXPECT_DOUBLE_EQ(double(panel.cameraCoords().X), 400);
}

// Dialogs whose message box runs the event loop while it is open, as a modal box does, and
// meanwhile lets the test start another load.
class TNestingDialogs final : public TDialogs {
public:
    std::function<void()> whileOpen;
    QStringList texts;
    void message(const QString &text, const QString &, TMsgIcon) override {
        texts << text;
        if (auto f = std::exchange(whileOpen, nullptr))
            f();
    }
    TMsgButton question(const QString &, const QString &, TMsgIcon, TMsgButtons,
                        TMsgButton d) override {
        return d;
    }
    QStringList openFiles(const QString &, const QString &, const QString &, bool) override {
        return {};
    }
    QString saveFile(const QString &, const QString &, const QString &, const QString &) override {
        return {};
    }
    QString selectFolder(const QString &, const QString &) override { return {}; }
    bool inputText(const QString &, const QString &, QString &) override { return false; }
};

// One image error box at a time: a failure while it is open goes to the operations log.
TEST_F(MapPanelTest, LoadErrorWhileBoxIsOpenGoesToTheLog) {
    for (const char *name : {"a.jpg", "b.bmp"}) {
        QFile junk(tmp.filePath(QLatin1String(name)));
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write("no picture");
    }
    auto log = std::make_shared<TOperationsLog>(tmp.filePath(QStringLiteral("log.txt")));
    InstallOperationsLog(log);
    auto nesting = std::make_shared<TNestingDialogs>();

    TMapPanel panel(*nesting);
    panel.setSize(QSize(50, 50));
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("a"), QStringLiteral("a.jpg"), 100, 100, 20));
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("b"), QStringLiteral("b.bmp"), 100, 100, 20));
    nesting->whileOpen = [&] {
        panel.OpenMap(1);
        EXPECT_TRUE(waitFor([&] { return panel.pendingLoads() == 0; }, 10000));
        QCoreApplication::processEvents();
    };
    ASSERT_TRUE(openAndWait(panel, 0));
    QCoreApplication::processEvents();
    InstallOperationsLog(nullptr);

    EXPECT_EQ(nesting->texts, QStringList{QStringLiteral("Невозможно загрузить изображение: ") +
                                          tmp.filePath(QStringLiteral("a.jpg"))});
    const QStringList lines = log->takeQueued();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("Невозможно загрузить изображение: ") +
                                  tmp.filePath(QStringLiteral("b.bmp"))));
    EXPECT_FALSE(panel.mapOpened());
    EXPECT_TRUE(panel.isEnabled());
}

// The settings' map list: relative names from the program folder, a failing file reported
// and left out, the rest kept in order.
TEST_F(MapPanelTest, MapListFromSettings) {
    const TFolders saved = Folders();
    TFolders f = saved;
    f.AppDir = tmp.path() + QLatin1Char('/');
    SetFolders(f);
    QDir(tmp.path()).mkdir(QStringLiteral("map"));
    writeMap(QDir(tmp.filePath(QStringLiteral("map"))), QStringLiteral("one"),
             QStringLiteral("one.bmp"), 100, 100, 20);
    const QString two =
        writeMap(tmp.path(), QStringLiteral("two"), QStringLiteral("two.bmp"), 100, 100, 20);

    TMapPanel panel(*dialogs);
    panel.LoadMapFiles({QStringLiteral("map\\one.map"), QStringLiteral("none.map"), two});
    panel.LoadMapFiles({QStringLiteral("map/one.map"), QStringLiteral("none.map"), two});
    SetFolders(saved);

    QStringList names{QStringLiteral("stale")};
    panel.GetMapsList(names);
    EXPECT_EQ(names, (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    ASSERT_EQ(dialogs->calls.size(), 2u);
    EXPECT_EQ(dialogs->calls[1].caption, QStringLiteral("Ошибка загрузки карты"));
    EXPECT_EQ(dialogs->calls[1].icon, TMsgIcon::Warning);
    EXPECT_EQ(dialogs->calls[1].text, QStringLiteral("Не найден файл конфигурации карты:\r\n") +
                                          tmp.filePath(QStringLiteral("none.map")));
    panel.ClearMapsList();
    EXPECT_TRUE(panel.maps().isEmpty());
}

// Each listed map is bound once, in a worker thread: nothing is bound on the main thread while
// the map is added, a map opened before its binding is known gets it from its loader (objects
// repositioned when it arrives), and one opened later installs the kept binding at once.
TEST_F(MapPanelTest, BindingsAreComputedAwayFromTheMainThreadAndKept) {
    saveImage(QStringLiteral("g.bmp"), gradientImage(200, 100), "BMP");
    TMapPanel panel(*dialogs);
    panel.setSize(QSize(50, 50));
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("g"), QStringLiteral("g.bmp"), 200, 100, 20));
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("u"), QStringLiteral("g.bmp"), 200, 100, 20,
                          37, 37, 55, 55)); // corners at one position: no binding
    // The results are handed over through the event loop, which has not run yet.
    EXPECT_EQ(panel.bindings().pending(), 2);
    EXPECT_EQ(panel.bindings().binding(0), nullptr);

    auto *square = panel.CreateObject<TSquare>(1, qRgb(1, 2, 3), 2);
    square->FGeoCoords = minutes(55.75, 37.25);
    panel.OpenMap(0);
    EXPECT_TRUE(panel.coordsConverter().xCoeff().isEmpty());
    ASSERT_TRUE(waitFor([&] { return panel.pendingLoads() == 0; }, 10000));
    ASSERT_TRUE(panel.isMapReady());
    ASSERT_EQ(panel.coordsConverter().xCoeff().size(), 3);
    EXPECT_NEAR(double(square->FMapCoords.X), 50, 1e-6);
    EXPECT_NEAR(double(square->FMapCoords.Y), 50, 1e-6);

    // A map whose binding fails, opened before that is known: the loader finds out.
    panel.OpenMap(1);
    ASSERT_TRUE(waitFor([&] { return panel.pendingLoads() == 0; }, 10000));
    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_EQ(dialogs->calls[0].text, QStringLiteral("Ошибка привязки карты."));
    EXPECT_EQ(dialogs->calls[0].caption, QStringLiteral("Ошибка"));
    EXPECT_FALSE(panel.mapOpened());
    EXPECT_EQ(panel.currentMapIndex(), -1);

    ASSERT_TRUE(waitFor([&] { return panel.bindings().pending() == 0; }, 10000));
    EXPECT_EQ(panel.bindings().state(0), TMapBindings::TState::Bound);
    EXPECT_EQ(panel.bindings().state(1), TMapBindings::TState::Failed);
    // Known now: opening installs the binding before the image has loaded, and a known failure
    // is reported at once.
    panel.OpenMap(0);
    EXPECT_EQ(panel.coordsConverter().xCoeff(), panel.bindings().binding(0)->xCoeff());
    ASSERT_TRUE(waitFor([&] { return panel.pendingLoads() == 0; }, 10000));
    dialogs->calls.clear();
    panel.OpenMap(1);
    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_EQ(dialogs->calls[0].text, QStringLiteral("Ошибка привязки карты."));

    // A new list drops what was computed for the old one, even when it arrives later.
    panel.ClearMapsList();
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("g"), QStringLiteral("g.bmp"), 200, 100, 20));
    panel.ClearMapsList();
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("u2"), QStringLiteral("g.bmp"), 200, 100, 20,
                          37, 37, 55, 55));
    ASSERT_TRUE(waitFor([&] { return panel.bindings().pending() == 0; }, 10000));
    EXPECT_EQ(panel.bindings().size(), 1);
    EXPECT_EQ(panel.bindings().state(0), TMapBindings::TState::Failed);
}

// A sheet of 4 x 4 cells, each black or white by a hash of its place: a reduced overview shows
// it grey, its own pixels show every cell, and a misplaced detail would show the wrong ones.
bool cellWhite(int x, int y) {
    const uint32_t h = uint32_t(x / 4) * 73856093U ^ uint32_t(y / 4) * 19349663U;
    return ((h ^ (h >> 13)) * 0x5bd1e995U >> 7) & 1;
}

QImage cellsImage(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, cellWhite(x, y) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return img;
}

class MapDetailTest : public MapPanelTest {
protected:
    void SetUp() override {
        MapPanelTest::SetUp();
        saved = TMapLoadThread::maxDecodedPixels();
        QImageWriter w(tmp.filePath(QStringLiteral("cells.jpg")), "jpeg");
        w.setQuality(95);
        ASSERT_TRUE(w.write(cellsImage(1600, 1200)));
        QImageWriter pw(tmp.filePath(QStringLiteral("prog.jpg")), "jpeg");
        pw.setQuality(95);
        pw.setProgressiveScanWrite(true);
        ASSERT_TRUE(pw.write(cellsImage(1600, 1200)));
        saveImage(QStringLiteral("g.bmp"), gradientImage(200, 100), "BMP");
    }
    void TearDown() override { TMapLoadThread::setMaxDecodedPixels(saved); }

    // Screen points (away from the cells' edges) whose colour is the cell's under them.
    int matchingCells(TMapPanel &panel, const QImage &out) {
        int n = 0;
        for (int sy = 3; sy < out.height(); sy += 7)
            for (int sx = 2; sx < out.width(); sx += 5) {
                const TMapCoords m = panel.ScreenToMap({sx, sy});
                const int x = int(m.X), y = int(m.Y);
                if (x % 4 == 0 || x % 4 == 3 || y % 4 == 0 || y % 4 == 3)
                    continue; // next to an edge, where compression blurs
                n += near(out.pixel(sx, sy), cellWhite(x, y) ? qRgb(255, 255, 255) : qRgb(0, 0, 0),
                          60);
            }
        return n;
    }
    int cellSamples(TMapPanel &panel, const QImage &out) {
        int n = 0;
        for (int sy = 3; sy < out.height(); sy += 7)
            for (int sx = 2; sx < out.width(); sx += 5) {
                const TMapCoords m = panel.ScreenToMap({sx, sy});
                const int x = int(m.X), y = int(m.Y);
                n += !(x % 4 == 0 || x % 4 == 3 || y % 4 == 0 || y % 4 == 3);
            }
        return n;
    }
    bool waitDetail(TMapPanel &panel) {
        return waitFor([&] { return !panel.detailPending(); }, 20000);
    }

    qint64 saved = 0;
};

// A sheet opened reduced shows its own pixels once the view needs them: the frame that asks
// shows the overview and does not wait; the detail read in the background is then drawn where
// the binding puts it; a view the overview suffices for lets it go.
TEST_F(MapDetailTest, TheShownRegionIsReadAtTheNeededScale) {
    TMapLoadThread::setMaxDecodedPixels(40000); // an overview of an eighth
    TMapPanel panel(*dialogs);
    panel.setSize(QSize(100, 75));
    panel.AddMap(
        writeMap(tmp.path(), QStringLiteral("cells"), QStringLiteral("cells.jpg"), 1600, 1200, 20));
    ASSERT_TRUE(openAndWait(panel, 0));
    ASSERT_EQ(panel.mapImage().size(), QSize(200, 150));

    // Far out the overview is enough: nothing is read.
    paint(panel);
    EXPECT_FALSE(panel.detailPending());

    panel.SetZoom(1);
    panel.MoveCamera(TMapCoords{613, 457});
    QImage out = paint(panel);
    EXPECT_TRUE(panel.detailPending());
    EXPECT_TRUE(panel.detail().Image.isNull());
    const int samples = cellSamples(panel, out);
    ASSERT_GT(samples, 40);
    EXPECT_LT(matchingCells(panel, out), samples * 3 / 4); // the grey overview

    ASSERT_TRUE(waitDetail(panel));
    ASSERT_FALSE(panel.detail().Image.isNull());
    EXPECT_EQ(panel.detail().Eighths, 8);
    const TIntRect v = panel.GetView();
    EXPECT_TRUE(panel.detail().Covered.contains(QRectF(v.Left, v.Top, v.width(), v.height())));
    out = paint(panel);
    EXPECT_EQ(matchingCells(panel, out), samples);

    // A short move stays within what was read.
    panel.MoveCamera(30, -20);
    paint(panel);
    EXPECT_FALSE(panel.detailPending());

    // Half the zoom needs half the scale; zoomed out fully the overview is enough again.
    panel.SetZoom(0.5L);
    paint(panel);
    // The detail at full scale covers less than this view.
    ASSERT_TRUE(waitDetail(panel));
    EXPECT_EQ(panel.detail().Eighths, 4);
    panel.SetZoom(0);
    paint(panel);
    EXPECT_TRUE(panel.detail().Image.isNull());
    EXPECT_FALSE(panel.detailPending());
    EXPECT_TRUE(dialogs->calls.empty());
}

// Only the newest request's detail is shown: a view left before its detail came, or a map
// replaced meanwhile, never gets it.
TEST_F(MapDetailTest, SupersededDetailIsDropped) {
    TMapLoadThread::setMaxDecodedPixels(40000); // an eighth
    TMapPanel panel(*dialogs);
    panel.setSize(QSize(320, 240));
    panel.AddMap(
        writeMap(tmp.path(), QStringLiteral("cells"), QStringLiteral("cells.jpg"), 1600, 1200, 20));
    panel.AddMap(writeMap(tmp.path(), QStringLiteral("g"), QStringLiteral("g.bmp"), 200, 100, 20));
    ASSERT_TRUE(openAndWait(panel, 0));
    panel.SetZoom(2);

    // The top left, then at once the bottom right.
    panel.MoveCamera(TMapCoords{100, 100});
    paint(panel);
    panel.MoveCamera(TMapCoords{1500, 1100});
    paint(panel);
    ASSERT_TRUE(waitDetail(panel));
    // Whatever became of the first reading, it is not what is shown.
    const QRectF covered = panel.detail().Covered;
    EXPECT_TRUE(covered.contains(QPointF(1500, 1100)));
    EXPECT_FALSE(covered.contains(QPointF(100, 100)));
    const QImage shown = paint(panel);
    EXPECT_EQ(matchingCells(panel, shown), cellSamples(panel, shown));

    // A reading under way when another map opens is dropped with the old map.
    panel.MoveCamera(TMapCoords{300, 300});
    paint(panel);
    ASSERT_TRUE(panel.detailPending());
    ASSERT_TRUE(openAndWait(panel, 1));
    // Time for the old reading to finish and its result to arrive.
    waitFor([] { return false; }, 500);
    EXPECT_EQ(panel.currentMapIndex(), 1);
    EXPECT_FALSE(panel.detailPending());
    EXPECT_TRUE(panel.detail().Image.isNull());
    EXPECT_TRUE(dialogs->calls.empty());
}

// A progressive sheet cannot be read a region at a time: it stays at its overview.
TEST_F(MapDetailTest, ProgressiveSheetKeepsItsOverview) {
    TMapLoadThread::setMaxDecodedPixels(40000);
    TMapPanel panel(*dialogs);
    panel.setSize(QSize(160, 120));
    panel.AddMap(
        writeMap(tmp.path(), QStringLiteral("prog"), QStringLiteral("prog.jpg"), 1600, 1200, 20));
    ASSERT_TRUE(openAndWait(panel, 0));
    ASSERT_EQ(panel.mapImage().size(), QSize(200, 150));
    panel.SetZoom(1);
    paint(panel);
    EXPECT_FALSE(panel.detailPending());
    EXPECT_TRUE(panel.detail().Image.isNull());
}

} // namespace
