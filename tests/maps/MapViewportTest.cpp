#include "maps/MapViewport.h"

#include "SmallMap.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The small sheet's binding: one image pixel is a tenth of a minute of arc either way.
TCoordsConverter plainBinding() {
    TControlPoints points;
    for (const QPoint &p : {QPoint(0, 0), QPoint(600, 0), QPoint(600, 600), QPoint(0, 600)})
        points.append(TControlPoint{p, TSmallMap::geoAt(p.x(), p.y())});
    return TCoordsConverter(points);
}

struct TScreenToMap {
    QPoint screen;
    TMapCoords image;
};
struct TMapToScreen {
    TMapCoords image;
    QPoint screen;
};

// Worked by hand. Reading a point off the screen cuts the view's corner towards zero, placing
// one rounds it (halves to even) and cuts the result towards zero; where the two corners differ
// a point read and placed again moves by `shift` (for the screen points the round trip uses).
struct TViewCase {
    const char *name;
    QSize size;
    TMapCoords camera;
    long double zoom;
    std::vector<TScreenToMap> reads;
    std::vector<TMapToScreen> places;
    TIntRect view, screenView;
    QPoint shift;
    TMapCoords geoCorner; // the image point ScreenToGeo reads at screen (0, 0), uncut
    QPoint move;          // MoveCamera by these screen pixels...
    TMapCoords moved;     // ...gives this camera
};

const TViewCase viewCases[] = {
    {"zoom 2, whole half-view",
     {300, 200},
     {500, 400},
     2,
     {{{0, 0}, {425, 350}}, {{150, 100}, {500, 400}}, {{17, 123}, {433.5L, 411.5L}}},
     {{{575, 450}, {300, 200}}, {{433.9L, 411.9L}, {17, 123}}, {{424.9L, 349.9L}, {0, 0}}},
     {425, 350, 575, 450},
     {0, 0, 300, 200},
     {0, 0},
     {425, 350},
     {10, -7},
     {505, 397}},
    {"odd size, corner on a half pixel rounding to even",
     {301, 201},
     {100, 100},
     1,
     {{{0, 0}, {-50, 0}}, {{300, 200}, {250, 200}}},
     {{{-50, 0}, {0, 0}}, {{250, 200}, {300, 200}}, {{-50.5L, 0}, {0, 0}}},
     {-50, 0, 250, 200},
     {0, 0, 300, 200},
     {0, 0},
     {-50.5L, -0.5L},
     {10, -7},
     {110, 93}},
    {"odd size, cut and rounded corners a pixel apart",
     {301, 201},
     {101, 101},
     1,
     {{{0, 0}, {-49, 1}}},
     {{{-50, 0}, {0, 0}}, {{-49, 1}, {1, 1}}},
     {-50, 0, 252, 202},
     {0, 0, 302, 202},
     {1, 1},
     {-49.5L, 0.5L},
     {-3, 4},
     {98, 105}},
    {"zoom 1/3, products meant to be whole",
     {300, 200},
     {500, 400},
     1.0L / 3,
     {{{0, 0}, {50, 100}}, {{17, 5}, {101, 115}}},
     {{{101, 115}, {17, 5}}, {{950, 700}, {300, 200}}},
     {50, 100, 950, 700},
     {0, 0, 300, 200},
     {0, 0},
     {50, 100},
     {10, -7},
     {530, 379}},
    {"zoom 4, camera between pixels, negatives cut towards zero",
     {100, 80},
     {10.3L, 20.7L},
     4,
     {{{0, 0}, {-1.7L, 10.7L}}, {{40, 20}, {8.3L, 15.7L}}},
     {{{8.3L, 15.7L}, {41, 18}}, {{-3.1L, 0}, {-4, -44}}, {{23, 31}, {100, 80}}},
     {-2, 11, 23, 31},
     {0, 0, 100, 80},
     {1, -2},
     {-2.2L, 10.7L},
     {10, -7},
     {12.3L, 19.7L}},
};

TEST(MapViewport, ConversionsTable) {
    const TCoordsConverter binding = plainBinding();
    for (const TViewCase &c : viewCases) {
        SCOPED_TRACE(c.name);
        TMapViewport v(c.size, c.camera, c.zoom, binding);
        ASSERT_TRUE(v.isMapReady());
        EXPECT_EQ(v.scalingFactor(), 1 / c.zoom);
        for (const TScreenToMap &r : c.reads) {
            const TMapCoords m = v.ScreenToMap(r.screen);
            EXPECT_NEAR(double(m.X), double(r.image.X), 1e-9) << r.screen.x();
            EXPECT_NEAR(double(m.Y), double(r.image.Y), 1e-9) << r.screen.y();
        }
        for (const TMapToScreen &p : c.places)
            EXPECT_EQ(v.MapToScreen(p.image), p.screen)
                << double(p.image.X) << "," << double(p.image.Y);
        EXPECT_EQ(v.GetView(), c.view);
        EXPECT_EQ(v.ScreenView(), c.screenView);

        // Screen to image and back, away from the view's first row and column.
        for (const QPoint s : {QPoint(3, 5), QPoint(40, 20), QPoint(99, 79)})
            EXPECT_EQ(v.MapToScreen(v.ScreenToMap(s)), s + c.shift) << s.x() << "," << s.y();

        // Through the earth: the position read off the screen is bound to the uncut image point,
        // and binding it again lands there.
        const TGeoCoords g = v.ScreenToGeo(0, 0);
        const TGeoCoords expected = TSmallMap::geoAt(c.geoCorner.X, c.geoCorner.Y);
        EXPECT_NEAR(double(g.Latitude), double(expected.Latitude), 1e-6);
        EXPECT_NEAR(double(g.Longitude), double(expected.Longitude), 1e-6);
        const TMapCoords back = v.GeoToMap(g);
        EXPECT_NEAR(double(back.X), double(c.geoCorner.X), 1e-6);
        EXPECT_NEAR(double(back.Y), double(c.geoCorner.Y), 1e-6);

        TMapViewport moved = v;
        moved.MoveCamera(c.move.x(), c.move.y());
        EXPECT_NEAR(double(moved.camera().X), double(c.moved.X), 1e-9);
        EXPECT_NEAR(double(moved.camera().Y), double(c.moved.Y), 1e-9);
        EXPECT_DOUBLE_EQ(double(v.camera().X), double(c.camera.X)); // a copy moved, not v
    }
}

// The camera is held so that the view stays on the image; for an image smaller than the view
// the far edge wins.
TEST(MapViewport, CameraLimits) {
    const struct {
        QSize image;
        long double zoom;
        TMapCoords camera, limited;
    } cases[] = {
        {{400, 300}, 1, {0, 0}, {50, 40}},
        {{400, 300}, 1, {1000, 1000}, {350, 260}},
        {{400, 300}, 1, {200.5L, 150.5L}, {200.5L, 150.5L}},
        {{400, 300}, 3, {0, 0}, {16, 13}}, // half-view 16.67 x 13.33 image pixels, cut
        {{60, 50}, 1, {0, 0}, {10, 10}},
    };
    for (const auto &c : cases) {
        TMapViewport v(QSize(100, 80), c.camera, c.zoom);
        v.LimitCamera(c.image);
        EXPECT_DOUBLE_EQ(double(v.camera().X), double(c.limited.X)) << double(c.camera.X);
        EXPECT_DOUBLE_EQ(double(v.camera().Y), double(c.limited.Y)) << double(c.camera.Y);
    }
}

// Until the image is there, placing a point and reading a position give (0, 0); the view and
// reading image points work from size and camera alone, and the binding works once installed.
TEST(MapViewport, WithoutAReadyMap) {
    const TMapViewport empty;
    EXPECT_FALSE(empty.isMapReady());
    EXPECT_EQ(empty.MapToScreen({100, 100}), QPoint(0, 0));
    EXPECT_EQ(empty.size(), QSize(0, 0));
    EXPECT_EQ(empty.GetView(), TIntRect{});
    EXPECT_TRUE(empty.showPointerToNotVisObj());
    EXPECT_TRUE(empty.parkedImage().isNull());

    TMapViewport v(QSize(300, 200), TMapCoords{500, 400}, 2, plainBinding());
    v.setMapReady(false);
    EXPECT_EQ(v.MapToScreen({575, 450}), QPoint(0, 0));
    const TGeoCoords g = v.ScreenToGeo(10, 10);
    EXPECT_EQ(g.Latitude, 0);
    EXPECT_EQ(g.Longitude, 0);
    EXPECT_DOUBLE_EQ(double(v.ScreenToMap({0, 0}).X), 425);
    EXPECT_EQ(v.GetView(), (TIntRect{425, 350, 575, 450}));
    EXPECT_NEAR(double(v.GeoToMap(TSmallMap::geoAt(120, 240)).X), 120, 1e-6);
}

// The panel's viewport is its current view, and its own conversions are the viewport's.
TEST(MapViewport, PanelViewport) {
    TSmallMap map;
    ASSERT_TRUE(map.open(QSize(400, 300)));
    TMapPanel &panel = *map.panel;
    panel.SetZoom(2.5L);
    panel.MoveCamera(TMapCoords{250.3L, 333.7L});
    panel.FShowPointerToNotVisObj = false;

    const TMapViewport v = panel.viewport();
    EXPECT_EQ(v.size(), QSize(400, 300));
    EXPECT_EQ(v.zoom(), 2.5L);
    EXPECT_EQ(v.scalingFactor(), panel.scalingFactor());
    EXPECT_EQ(v.camera().X, 250.3L);
    EXPECT_TRUE(v.isMapReady());
    EXPECT_FALSE(v.showPointerToNotVisObj());
    EXPECT_EQ(v.parkedImage(), panel.parkedImage());
    for (const QPoint s : {QPoint(0, 0), QPoint(123, 45), QPoint(399, 299)}) {
        const TMapCoords m = panel.ScreenToMap(s);
        EXPECT_EQ(m.X, v.ScreenToMap(s).X);
        EXPECT_EQ(m.Y, v.ScreenToMap(s).Y);
        EXPECT_EQ(panel.MapToScreen(m), v.MapToScreen(m));
        EXPECT_EQ(panel.ScreenToGeo(s.x(), s.y()).Latitude, v.ScreenToGeo(s.x(), s.y()).Latitude);
    }
    EXPECT_EQ(panel.GetView(), v.GetView());

    // The panel's own camera moves follow the viewport's rule.
    TMapViewport moved = v;
    moved.MoveCamera(7, -9);
    panel.MoveCamera(7, -9);
    EXPECT_EQ(panel.cameraCoords().X, moved.camera().X);
    EXPECT_EQ(panel.cameraCoords().Y, moved.camera().Y);
}

} // namespace
