#include "maps/MapObjManager.h"

#include "maps/MapObjects.h"
#include "maps/MapPanel.h"

#include "../maps/SmallMap.h"

#include <gtest/gtest.h>

namespace {

TDataRecord recordAt(long double x, long double y, TDateTime t = 1) {
    TDataRecord r;
    r.FTimeStamp = t;
    r.FCoords = TSmallMap::geoAt(x, y);
    return r;
}

class MapObjManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(map.open(QSize(400, 300)));
        mgr = std::make_unique<TMapObjManager>(map.panel.get());
        mgr->AddObject(1, recordAt(100, 100));
        mgr->AddObject(2, recordAt(100, 100)); // the same place
        mgr->AddObject(3, recordAt(200, 150));
    }
    TSmallMap map;
    std::unique_ptr<TMapObjManager> mgr;
};

} // namespace

TEST_F(MapObjManagerTest, VisualStateAndTheActiveObject) {
    EXPECT_EQ(mgr->visualState(), 288);
    EXPECT_TRUE(mgr->Item(1)->marker()->FisVisible);
    EXPECT_FALSE(mgr->Item(1)->track()->FisVisible);
    EXPECT_FALSE(mgr->Item(1)->textLabel()->FisVisible);

    mgr->SetActiveObject(2);
    EXPECT_EQ(mgr->GetActiveObject(), 2);
    EXPECT_EQ(mgr->Item(2)->marker()->weight(), 501); // drawn above object 1 at the same place
    EXPECT_EQ(mgr->Item(1)->marker()->weight(), 500);
    EXPECT_EQ(mgr->Item(2)->marker()->FColor, mgr->FDefaultActiveMarkerColor);
    EXPECT_TRUE(mgr->Item(2)->track()->FisVisible);

    // 272: only the active object's marker and track.
    mgr->SetVisualState(272);
    EXPECT_TRUE(mgr->Item(2)->marker()->FisVisible);
    EXPECT_TRUE(mgr->Item(2)->track()->FisVisible);
    EXPECT_FALSE(mgr->Item(1)->marker()->FisVisible);
    EXPECT_FALSE(mgr->Item(3)->marker()->FisVisible);

    // An unknown number takes the highlight away; the index stays recorded.
    mgr->Item(2)->FArchive = true;
    mgr->SetActiveObject(99);
    EXPECT_EQ(mgr->Item(2)->marker()->weight(), 500);
    EXPECT_EQ(mgr->Item(2)->marker()->FColor, mgr->FDefaultArchiveMarkerColor);
    EXPECT_FALSE(mgr->Item(2)->marker()->FisVisible);

    mgr->DisconnectAll();
    for (int n : {1, 2, 3}) {
        EXPECT_FALSE(mgr->Item(n)->connected());
        EXPECT_TRUE(mgr->Item(n)->FArchive);
    }
}

TEST_F(MapObjManagerTest, PickingWithinTheToleranceAtTheZoom) {
    map.panel->SetZoom(2.0); // tolerance 5 screen pixels = 2.5 image pixels
    int n = 0;
    TPositionSnapshot pos;
    const int all = 819;
    EXPECT_TRUE(mgr->GetObjInCoords(TMapCoords{200 + 2.4L, 150}, n, pos, all));
    EXPECT_EQ(n, 3);
    EXPECT_FALSE(mgr->GetObjInCoords(TMapCoords{200 + 2.6L, 150}, n, pos, all));
    EXPECT_EQ(n, -1);
    // Markers only when asked for.
    EXPECT_FALSE(mgr->GetObjInCoords(TMapCoords{200, 150}, n, pos, 0x200));
    // A visible track point is found too.
    mgr->SetActiveObject(3);
    mgr->AddObject(3, recordAt(250, 150, 2));
    EXPECT_TRUE(mgr->GetObjInCoords(TMapCoords{200, 151}, n, pos, 0x100));
    EXPECT_EQ(n, 3);
    EXPECT_DOUBLE_EQ(pos.TimeStamp, 1);
}

TEST_F(MapObjManagerTest, RestPlacesAndTracks) {
    const size_t before = map.panel->objects().size();
    mgr->AddRestPlace(TSmallMap::geoAt(50, 50));
    mgr->AddRestPlace(TSmallMap::geoAt(60, 50));
    EXPECT_EQ(map.panel->objects().size(), before + 2);
    mgr->RemoveRestPlaces();
    EXPECT_EQ(map.panel->objects().size(), before);
    mgr->AddObject(1, recordAt(120, 100, 2));
    EXPECT_GT(mgr->Item(1)->track()->Count(), 0);
    mgr->ClearTracks();
    EXPECT_EQ(mgr->Item(1)->track()->Count(), 0);
    mgr->Clear();
    EXPECT_EQ(map.panel->objects().size(), before - 9);
}
