#include "maps/UManagedItem.h"

#include "maps/MapObjects.h"
#include "tracks/CoordsUtils.h"

#include "../maps/SmallMap.h"

#include <QGuiApplication>
#include <QPalette>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double Pi = std::numbers::pi;

TDataRecord recordAt(long double x, long double y, TDateTime t, bool lost = false) {
    TDataRecord r;
    r.FTimeStamp = t;
    r.FCoords = TSmallMap::geoAt(x, y);
    r.FGPSLost = lost;
    return r;
}

bool onPanel(const TMapPanel &panel, const TMapObject *obj) {
    const auto &list = panel.objects();
    return std::any_of(list.begin(), list.end(), [obj](const auto &p) { return p.get() == obj; });
}

class ManagedItemTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(map.open(QSize(400, 300))); }
    std::unique_ptr<TManagedItem> makeItem(int number = 42) {
        return std::make_unique<TManagedItem>(number, QColor(0, 0, 255), QColor(0, 128, 0),
                                              QColor(255, 0, 0), map.panel.get());
    }
    TSmallMap map;
};

// A new item puts a heading arrow, a label and a line track of the item's colours on the
// panel; they leave the panel with the item.
TEST_F(ManagedItemTest, CreatesItsMapObjectsAndRemovesThem) {
    auto item = makeItem(42);
    EXPECT_EQ(item->number(), 42);
    EXPECT_EQ(map.panel->objects().size(), 3u);
    const TMarker *m = item->marker();
    EXPECT_EQ(m->FSize, 24);
    EXPECT_EQ(m->objType(), 2);
    EXPECT_EQ(m->FText, QStringLiteral("42"));
    EXPECT_EQ(m->FColor, QColor(0, 0, 255));
    const TMapLabel *l = item->textLabel();
    const QPalette pal = QGuiApplication::palette();
    EXPECT_EQ(l->FSize, 10);
    EXPECT_EQ(l->FText, QStringLiteral("42"));
    EXPECT_EQ(l->FColor, pal.color(QPalette::ToolTipText));
    EXPECT_EQ(l->FBackColor, pal.color(QPalette::ToolTipBase));
    const TTrack *t = item->track();
    EXPECT_EQ(t->FSize, 3);
    EXPECT_EQ(t->objType(), 0);
    EXPECT_EQ(t->FColor, QColor(0, 128, 0));
    EXPECT_EQ(t->FLostColor, QColor(255, 0, 0));
    EXPECT_TRUE(item->visible() && m->FisVisible && l->FisVisible && t->FisVisible);
    EXPECT_FALSE(item->connected());
    EXPECT_EQ(item->speed(), -1);
    EXPECT_EQ(item->current().FTimeStamp, 0);

    auto other = makeItem(7);
    item.reset();
    EXPECT_EQ(map.panel->objects().size(), 3u);
    EXPECT_TRUE(onPanel(*map.panel, other->marker()));
    // A panel that goes first leaves nothing for the item to remove.
    map.panel.reset();
    other.reset();
}

// Records 1 ms apart keep the speed, 2 ms apart set it; the initial empty record gives none.
TEST_F(ManagedItemTest, SpeedFromWholeMilliseconds) {
    auto item = makeItem();
    const TDateTime t0 = dt::encode(2026, 3, 4, 10, 0, 0);
    item->SetCurrent(recordAt(300, 300, t0));
    EXPECT_EQ(item->speed(), -1);
    item->SetCurrent(recordAt(301, 300, dt::encode(2026, 3, 4, 10, 0, 0, 1)));
    EXPECT_EQ(item->speed(), -1);
    const TDataRecord third = recordAt(305, 300, dt::encode(2026, 3, 4, 10, 0, 0, 3));
    item->SetCurrent(third);
    const long double d = GeoDistance(third.FCoords, TSmallMap::geoAt(301, 300));
    EXPECT_GT(d, 10);
    EXPECT_NEAR(double(item->speed()), double(d * 3600 / 2), 1e-6);
    // Going back in time counts the distance over the absolute difference.
    item->SetCurrent(recordAt(300, 300, dt::encode(2026, 3, 4, 10, 0, 0, 13)));
    const long double back = GeoDistance(third.FCoords, TSmallMap::geoAt(300, 300));
    EXPECT_NEAR(double(item->speed()), double(back * 3600 / 10), 1e-6);
}

// The marker turns only after a move of more than 3 image pixels from where it last turned.
TEST_F(ManagedItemTest, HeadingFollowsTheMoveOnTheImage) {
    auto item = makeItem();
    const struct {
        long double x, y;
        double angle;
    } steps[] = {
        {300, 300, 0},          // the first position only becomes the reference
        {300, 304, Pi / 2},     // 4 pixels down the screen
        {298, 304, Pi / 2},     // 2 pixels: kept
        {296, 304, Pi},         // 4 pixels from the last turn
        {296, 300, -Pi / 2},    // up
        {301, 305, Pi / 4},     // down and right
        {297, 301, 5 * Pi / 4}, // left and up: atan plus pi
    };
    TDateTime t = dt::encode(2026, 3, 4, 10, 0, 0);
    for (const auto &s : steps) {
        t += 1.0 / 86400;
        item->SetCurrent(recordAt(s.x, s.y, t));
        EXPECT_NEAR(double(item->marker()->FAngle), s.angle, 1e-6)
            << double(s.x) << "," << double(s.y);
    }
}

// A record moves marker and label with its time and extends the track with its flags; the
// drawn arrow points the way the object went.
TEST_F(ManagedItemTest, RecordMovesMarkerLabelAndTrack) {
    auto item = makeItem();
    const TDateTime t0 = dt::encode(2026, 3, 4, 10, 0, 0);
    item->SetCurrent(recordAt(200, 300, t0));
    TDataRecord r = recordAt(300, 300, t0 + 1.0 / 1440, true);
    r.Status = 5;
    item->SetCurrent(r);

    EXPECT_EQ(item->current().FTimeStamp, r.FTimeStamp);
    EXPECT_TRUE(item->current().FGPSLost);
    for (const TMapObject *o : {static_cast<const TMapObject *>(item->marker()),
                                static_cast<const TMapObject *>(item->textLabel())}) {
        EXPECT_NEAR(double(o->FMapCoords.X), 300, 1e-6);
        EXPECT_NEAR(double(o->FMapCoords.Y), 300, 1e-6);
        EXPECT_EQ(o->FDateTime, r.FTimeStamp);
    }
    const TTrack *t = item->track();
    ASSERT_EQ(t->Count(), 2);
    EXPECT_TRUE(t->Point(1).GPSLost);
    EXPECT_EQ(t->Point(1).Status, 5);
    EXPECT_EQ(t->Point(1).DateTime, r.FTimeStamp);

    // Screen = image - (100, 150): the arrow at (200, 150) points right, over a lost segment.
    QImage out = map.paint();
    EXPECT_EQ(out.pixel(209, 150), qRgb(0, 0, 255));
    EXPECT_EQ(out.pixel(150, 150), qRgb(255, 0, 0));

    item->SetVisible(false);
    EXPECT_FALSE(item->marker()->FisVisible || item->track()->FisVisible ||
                 item->textLabel()->FisVisible);
    out = map.paint();
    EXPECT_EQ(out.pixel(209, 150), TSmallMap::Ground);
    EXPECT_EQ(out.pixel(150, 150), TSmallMap::Ground);
}

TEST_F(ManagedItemTest, ConnectionStamps) {
    auto item = makeItem();
    const TDateTime before = dt::now();
    item->SetConnected(true);
    EXPECT_TRUE(item->connected());
    EXPECT_GE(item->lastConnected(), before - 1e-8);
    EXPECT_EQ(item->lastDisconnected(), 0);
    item->SetConnected(false);
    EXPECT_FALSE(item->connected());
    EXPECT_GE(item->lastDisconnected(), item->lastConnected());
}

} // namespace
