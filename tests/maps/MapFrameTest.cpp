#include "FleetScene.h"
#include "ReferenceDrawing.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Pixels where two frames differ, and of them those that do not lie on the edge of a track's
// black outline in the plain frame.
struct TDifference {
    int pixels = 0;
    int offEdge = 0;
    QPoint first;
};

TDifference compare(const QImage &frame, const QImage &plain) {
    TDifference d;
    const QRgb black = qRgb(0, 0, 0);
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            if (frame.pixel(x, y) == plain.pixel(x, y))
                continue;
            if (d.pixels++ == 0)
                d.first = QPoint(x, y);
            bool edge = false;
            for (int j = -1; j <= 1 && !edge; ++j)
                for (int i = -1; i <= 1 && !edge; ++i)
                    edge = plain.valid(x + i, y + j) && plain.pixel(x + i, y + j) == black;
            d.offEdge += !edge;
        }
    return d;
}

// The panel's frame against the plain drawing of the same scene, pixel for pixel: the same
// image, the same objects in the same order, colours, lost stretches and visibility. Only
// along a track's edges may a few pixels fall the other way (the frame fills wide lines with
// its own sampling; the plain drawing strokes flattened curves). A frame drawn again without
// a change, and frames after each kind of change, must keep matching: a kept layer must never
// outlive what it shows.
class MapFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scene.openMap(QSize(640, 480), QSize(1600, 1200)));
        scene.addFleet(150, 1.3);
        scene.addActiveTrack(1, 6000);
        scene.objects->AddRestPlace(scene.geoAt(800, 600));
    }

    // Twice: the second frame is drawn from the layers the first one left.
    void expectSame(const std::string &what) {
        expectSameOnce(what);
        expectSameOnce(what + "-again");
    }
    void expectSameOnce(const std::string &what) {
        const QImage frame = scene.frame();
        const QImage plain = reference::drawFrame(*scene.panel);
        const TDifference d = compare(frame, plain);
        EXPECT_EQ(d.offEdge, 0) << what << ": first at " << d.first.x() << "," << d.first.y();
        EXPECT_LE(d.pixels, 60) << what;
        if (d.pixels != 0 && qEnvironmentVariableIsSet("MAP_FRAME_TEST_DUMP")) {
            frame.save(QString::fromStdString("/tmp/frame-" + what + ".png"));
            plain.save(QString::fromStdString("/tmp/plain-" + what + ".png"));
        }
    }

    TFleetScene scene;
};

TEST_F(MapFrameTest, SameAsThePlainDrawing) {
    TMapPanel &panel = *scene.panel;
    TMapObjManager &objects = *scene.objects;
    const struct {
        const char *name;
        long double zoom;
        int visualState;
        int trackType;
    } views[] = {
        {"fleet", 1, 288, 0},
        {"numbers and every track", 1, 288 | 2 | 512, 0},
        {"zoomed with pointers", 4, 288, 0},
        {"far out", 0.45L, 288, 0},
        {"track as points", 2, 288, TMapObjManager::PointTrack},
    };
    for (const auto &v : views) {
        SCOPED_TRACE(v.name);
        objects.SetVisualState(v.visualState);
        objects.SetTrackType(v.trackType);
        panel.SetZoom(v.zoom);
        panel.MoveCamera(TMapCoords{800, 600});
        expectSame(std::string(v.name) + "-first");

        // A packet of another object and one of the active object.
        TManagedItem *other = objects.Item(7);
        other->MoveCurrent(scene.geoAt(700, 500), scene.clock);
        TManagedItem *active = objects.Item(1);
        const TMapCoords last = active->track()->Point(active->track()->Count() - 1).MapCoords;
        active->SetCurrent(scene.record(double(last.X) + 9, double(last.Y) + 4, true));
        expectSame(std::string(v.name) + "-live");

        // The colours change, and the active object.
        objects.SetColours(QColor(200, 0, 200), QColor(0, 90, 200), QColor(250, 120, 0),
                           QColor(0, 0, 0), QColor(90, 90, 90));
        expectSame(std::string(v.name) + "-colours");
        objects.SetActiveObject(2);
        expectSame(std::string(v.name) + "-active");
        objects.SetActiveObject(1);
        expectSame(std::string(v.name) + "-back");

        // The camera moves.
        panel.MoveCamera(37, -21);
        expectSame(std::string(v.name) + "-moved");
    }
}

} // namespace
