#include "maps/MapObjects.h"
#include "maps/MapObjManager.h"

#include "SmallMap.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPalette>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr long double Pi = std::numbers::pi_v<long double>;
const QRgb Blue = qRgb(0, 0, 255);
const QRgb Green = qRgb(0, 128, 0);
const QRgb Red = qRgb(255, 0, 0);
const QRgb Magenta = qRgb(255, 0, 255);

// Screen (sx, sy) of the 400 x 300 view shows image (sx + 100, sy + 150).
TPositionSnapshot atScreen(int sx, int sy, TDateTime t = 0) {
    TPositionSnapshot s;
    s.Coords = TSmallMap::geoAt(sx + 100, sy + 150);
    s.TimeStamp = t;
    return s;
}

int countColour(const QImage &img, QRgb c, const QRect &area) {
    int n = 0;
    const QRect r = area.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += img.pixel(x, y) == c;
    return n;
}

class MapObjectsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(map.open(QSize(400, 300))); }
    TMapPanel &panel() { return *map.panel; }

    TMarker *marker(int type, int size, const TPositionSnapshot &at, QRgb colour = Blue) {
        auto *m = panel().CreateObject<TMarker>();
        m->FSize = size;
        m->FColor = QColor(colour);
        m->SetObjType(type);
        m->FText = QStringLiteral("17");
        m->SetPosition(at);
        return m;
    }

    TSmallMap map;
};

// Each shape is coloured where it lies and absent where it does not; the arrow follows the
// heading, which grows clockwise on the screen.
TEST_F(MapObjectsTest, MarkerShapesAndHeading) {
    const struct {
        int type;
        long double angle;
        QPoint inside, outside; // offsets from the marker's point
    } cases[] = {
        {0, 0, {0, 0}, {11, 11}},     {1, 0, {0, -4}, {-9, -9}}, {2, 0, {8, 0}, {-6, 0}},
        {2, Pi / 2, {0, 8}, {0, -6}}, {2, Pi, {-8, 0}, {6, 0}},
    };
    for (const auto &c : cases) {
        panel().RemoveAll();
        TMarker *m = marker(c.type, 24, atScreen(200, 150));
        m->FAngle = c.angle;
        EXPECT_EQ(m->weight(), 500);
        const QImage out = map.paint();
        const QPoint P(200, 150);
        EXPECT_EQ(out.pixel(P + c.inside), Blue) << c.type << " " << double(c.angle);
        EXPECT_EQ(out.pixel(P + c.outside), TSmallMap::Ground) << c.type << " " << double(c.angle);
        // The thin white outline of the second pass.
        EXPECT_GT(countColour(out, qRgb(255, 255, 255), QRect(P - QPoint(20, 20), QSize(41, 41))),
                  0);
    }
    const TMarker *m = marker(0, 24, atScreen(10, 20));
    EXPECT_EQ(m->GetMetrics(), (TIntRect{98, 158, 122, 182}));
}

// A marker at 0°/0° is never drawn, not even as a border pointer.
TEST_F(MapObjectsTest, MarkerWithoutPositionIsNotDrawn) {
    marker(0, 24, TPositionSnapshot{});
    EXPECT_EQ(countColour(map.paint(), Blue, QRect(0, 0, 400, 300)), 0);
}

// An alarmed marker flashes: lit, it and a ring around it take the alarm colour, and so does
// its border pointer; dark, it is drawn as any other marker. Through the map object manager
// only the alarmed objects' markers light up.
TEST_F(MapObjectsTest, AnAlarmedMarkerFlashesInTheAlarmColour) {
    const QRgb alarm = TMarker::alarmColour().rgb();
    const QPoint P(200, 150);
    TMarker *m = marker(0, 24, atScreen(P.x(), P.y()));
    m->FAlarm = true;
    for (const bool lit : {true, false}) {
        SCOPED_TRACE(lit ? "lit" : "dark");
        m->FAlarmLit = lit;
        const QImage out = map.paint();
        EXPECT_EQ(out.pixel(P), lit ? alarm : Blue);
        // The ring lies outside the marker's own circle.
        const QRect ring(P.x() + 14, P.y() - 3, 12, 7);
        EXPECT_EQ(countColour(out, alarm, ring) > 0, lit);
        EXPECT_EQ(countColour(out, Blue, QRect(P - QPoint(30, 30), QSize(61, 61))) > 100, !lit);
    }
    m->FAlarmLit = true;
    m->SetPosition(atScreen(-30, 150));
    EXPECT_EQ(map.paint().pixel(3, 150), alarm);

    panel().RemoveAll();
    TMapObjManager items(&panel());
    for (int n : {5, 6})
        items.AddObject(n, TDataRecord{0, TSmallMap::geoAt(200 + 40 * n, 300), false});
    items.SetAlarm(6, true);
    items.SetAlarm(77, true); // no such object
    items.SetAlarmLit(true);
    EXPECT_FALSE(items.Item(5)->marker()->FAlarmLit);
    EXPECT_TRUE(items.Item(6)->marker()->FAlarmLit);
    items.SetAlarmLit(false);
    EXPECT_FALSE(items.Item(6)->marker()->FAlarmLit);
    items.SetAlarm(6, false);
    items.SetAlarmLit(true);
    EXPECT_FALSE(items.Item(6)->marker()->FAlarmLit);
}

// Within the view widened by the marker's size the marker itself is drawn (here entirely off
// the image); beyond it a border pointer appears only when the panel asks for pointers.
TEST_F(MapObjectsTest, PointerOnlyBeyondTheWidenedView) {
    const QRect leftStrip(0, 0, 30, 300);
    TMarker *m = marker(2, 24, atScreen(-20, 150));
    EXPECT_EQ(countColour(map.paint(), Blue, leftStrip), 0);

    m->SetPosition(atScreen(-30, 150));
    const QImage out = map.paint();
    EXPECT_GT(countColour(out, Blue, leftStrip), 20);
    EXPECT_EQ(out.pixel(3, 150), Blue); // the arrow's tip reaches the border

    panel().FShowPointerToNotVisObj = false;
    EXPECT_EQ(countColour(map.paint(), Blue, leftStrip), 0);
}

// The pointer sits on the edge towards the object, its tip on the border, its caption beside it.
TEST_F(MapObjectsTest, BorderPointerGeometry) {
    TMarker *m = marker(2, 20, atScreen(200, 150));
    const TMapViewport view = panel().viewport();
    const QFontMetrics fm(QFont(QStringLiteral("times"), 8));
    const int tw = 5 + fm.boundingRect(QRect(), Qt::AlignLeft | Qt::AlignTop, m->FText).width();
    const struct {
        QPoint object;
        QPoint point, tip;
    } cases[] = {
        {{5000, 150}, {390, 150}, {400, 150}},
        {{-5000, 150}, {10, 150}, {0, 150}},
        {{200, -5000}, {200, 10}, {200, 0}},
        {{200, 5000}, {200, 290}, {200, 300}},
    };
    for (const auto &c : cases) {
        const TMarker::TBorderPointer bp = m->borderPointer(view, c.object);
        EXPECT_EQ(bp.Point, c.point) << c.object.x() << "," << c.object.y();
        ASSERT_EQ(bp.Arrow.size(), 7);
        EXPECT_EQ(bp.Arrow[0], c.tip) << c.object.x() << "," << c.object.y();
        EXPECT_EQ(bp.Octagon.size(), 8);
    }
    EXPECT_EQ(m->borderPointer(view, QPoint(5000, 150)).Caption, QPoint(400 - 20 - tw, 150));
    EXPECT_EQ(m->borderPointer(view, QPoint(-5000, 150)).Caption, QPoint(20 + tw, 150));

    // Drawn: the arrow near the right border and the caption's frame in tooltip colour.
    m->SetPosition(atScreen(900, 150));
    const QImage out = map.paint();
    EXPECT_EQ(out.pixel(394, 150), Blue);
    const QPoint T = m->borderPointer(view, QPoint(900, 150)).Caption;
    const QRgb tip = QGuiApplication::palette().color(QPalette::ToolTipBase).rgb();
    EXPECT_GT(countColour(out, tip, QRect(T - QPoint(tw / 2, 4), QSize(tw, 8))), 0);
}

// Lines: a black outline under each segment, a lost segment (by its end point) in the lost
// colour; points: discs at the points only.
TEST_F(MapObjectsTest, TrackLinesAndPoints) {
    auto *t = panel().CreateObject<TTrack>();
    EXPECT_EQ(t->weight(), 10);
    t->FSize = 3;
    t->FColor = QColor(Green);
    t->FLostColor = QColor(Red);
    t->AddPoint(atScreen(50, 100, 1));
    t->AddPoint(atScreen(150, 100, 2));
    TPositionSnapshot lost = atScreen(250, 100, 3);
    lost.GPSLost = true;
    t->AddPoint(lost);

    QImage out = map.paint();
    EXPECT_EQ(out.pixel(100, 100), Green);
    EXPECT_EQ(out.pixel(200, 100), Red);
    EXPECT_EQ(out.pixel(100, 98), qRgb(0, 0, 0)); // outline beyond the coloured width
    EXPECT_EQ(out.pixel(100, 102), qRgb(0, 0, 0));
    EXPECT_EQ(out.pixel(100, 95), TSmallMap::Ground);
    EXPECT_EQ(t->GetMetrics(), (TIntRect{150, 250, 350, 250}));

    // A marker at the same place lies on top (heavier).
    marker(0, 10, atScreen(100, 100));
    EXPECT_EQ(map.paint().pixel(100, 100), Blue);
    panel().RemoveObject(panel().objects().back().get());

    t->SetObjType(1);
    out = map.paint();
    EXPECT_EQ(out.pixel(50, 100), Green);
    EXPECT_EQ(out.pixel(252, 101), Green);
    EXPECT_EQ(out.pixel(100, 100), TSmallMap::Ground);
    EXPECT_EQ(countColour(out, Red, QRect(0, 0, 400, 300)), 0);

    t->FisVisible = false;
    EXPECT_EQ(countColour(map.paint(), Green, QRect(0, 0, 400, 300)), 0);
}

// Drawing needs nothing but the viewport: objects that belong to no panel, drawn with the
// panel's viewport over the same ground, give the panel's picture pixel for pixel; the
// viewport's options decide the border pointer and the rest place's picture.
TEST_F(MapObjectsTest, ObjectsDrawFromTheViewportAlone) {
    TMapViewport view = panel().viewport();
    std::vector<std::unique_ptr<TMapObject>> loose;
    const auto place = [&](TMapObject *o, const TPositionSnapshot &at) {
        o->FGeoCoords = at.Coords;
        o->FMapCoords = view.GeoToMap(at.Coords);
    };
    for (int onPanel = 1; onPanel >= 0; --onPanel) {
        const auto make = [&]<class T>(T *) -> T * {
            if (onPanel)
                return panel().CreateObject<T>();
            loose.push_back(std::make_unique<T>());
            return static_cast<T *>(loose.back().get());
        };
        auto *t = make((TTrack *)nullptr);
        t->FSize = 2;
        t->FColor = QColor(Green);
        // Off the panel the track places its points through a layer of its own.
        if (!onPanel)
            t->setLayer(std::make_shared<TMapLayer>(view.converter()));
        for (int i = 0; i < 4; ++i) {
            TPositionSnapshot s = atScreen(40 + 90 * i, 250 - 60 * i, i);
            s.GPSLost = i == 2;
            t->AddPoint(s);
        }
        auto *inView = make((TMarker *)nullptr);
        inView->FSize = 20;
        inView->FColor = QColor(Blue);
        inView->SetObjType(1);
        place(inView, atScreen(120, 80));
        auto *offView = make((TMarker *)nullptr);
        offView->FSize = 16;
        offView->FColor = QColor(Magenta);
        offView->FText = QStringLiteral("42");
        place(offView, atScreen(700, -200));
        auto *l = make((TMapLabel *)nullptr);
        l->FSize = 9;
        l->FText = QStringLiteral("Объект 3");
        place(l, atScreen(250, 200));
        auto *c = make((TMapControlPoint *)nullptr);
        place(c, atScreen(300, 120));
        c->SetObjType(TMapControlPoint::RestPlace);
    }
    const QImage expected = map.paint();
    const auto drawLoose = [&](const TMapViewport &v) {
        QImage out(v.size(), QImage::Format_RGB32);
        out.fill(TSmallMap::Ground);
        QPainter p(&out);
        for (const auto &o : loose)
            o->Draw(p, v);
        return out;
    };
    EXPECT_TRUE(drawLoose(view) == expected);
    EXPECT_GT(countColour(expected, Magenta, QRect(0, 0, 400, 300)), 20); // the pointer is there
    EXPECT_GT(countColour(expected, Red, QRect(0, 0, 400, 300)), 20);     // the lost segment
    const QRect glyph(300 - 7, 120 - 7, 15, 15);
    EXPECT_GT(countColour(expected, QColor(0, 0, 192).rgb(), glyph), 20);

    view.setShowPointerToNotVisObj(false);
    EXPECT_EQ(countColour(drawLoose(view), Magenta, QRect(0, 0, 400, 300)), 0);
    // The rest place took its picture from the viewport when first drawn.
    const auto *rest = static_cast<const TMapControlPoint *>(loose.back().get());
    EXPECT_EQ(rest->FGliph.size(), panel().parkedImage().size());
}

// Out-of-order points re-sort the track unless a block is open; lookups by time and by
// position; the box of an empty track.
TEST_F(MapObjectsTest, TrackOrderAndLookup) {
    auto *t = panel().CreateObject<TTrack>();
    EXPECT_EQ(t->GetMetrics(), (TIntRect{268435455, 268435455, 0, 0}));
    EXPECT_EQ(t->GetPointIndex(TDateTime(5)), -1);
    t->AddPoint(atScreen(1, 1, 5));
    EXPECT_EQ(t->GetPointIndex(TDateTime(5)), 0);
    EXPECT_EQ(t->GetPointIndex(TDateTime(5.0001)), -1);

    t->AddPoint(atScreen(3, 3, 7));
    t->AddPoint(atScreen(2, 2, 6));
    ASSERT_EQ(t->Count(), 3);
    EXPECT_EQ(t->Point(1).DateTime, 6);
    EXPECT_EQ(t->Point(2).DateTime, 7);
    EXPECT_EQ(t->GetPointIndex(TDateTime(7)), 2);
    EXPECT_EQ(t->GetPointIndex(atScreen(2, 2).Coords), 1);
    EXPECT_EQ(t->GetPointIndex(atScreen(9, 9).Coords), -1);

    t->InsertionBlockStart();
    t->AddPoint(atScreen(0, 0, 1));
    t->AddPoint(atScreen(4, 4, 3));
    EXPECT_EQ(t->Point(3).DateTime, 1); // as added while the block is open
    t->InsertionBlockEnd();
    EXPECT_FALSE(t->DisableSort);
    std::vector<double> times;
    for (int i = 0; i < t->Count(); ++i)
        times.push_back(t->Point(i).DateTime);
    EXPECT_EQ(times, (std::vector<double>{1, 3, 5, 6, 7}));
    EXPECT_NEAR(double(t->Point(0).MapCoords.X), 100, 1e-6);

    TPositionSnapshot s = atScreen(5, 5, 8);
    s.Status = 3;
    s.Parked = true;
    t->AddPoint(s);
    const TPositionSnapshot back = t->PointPosition(5);
    EXPECT_EQ(back.Status, 3);
    EXPECT_TRUE(back.Parked);
    t->RemovePoint(0);
    EXPECT_EQ(t->Count(), 5);
    t->Clear();
    EXPECT_EQ(t->Count(), 0);
}

// Objects made before a map exists sit at (0, 0) and are placed when the map opens.
TEST(MapObjectsNoMap, PlacedWhenTheMapOpens) {
    TSmallMap map;
    auto *m = map.panel->CreateObject<TMarker>();
    auto *t = map.panel->CreateObject<TTrack>();
    const TPositionSnapshot s{1, TSmallMap::geoAt(120, 240)};
    m->SetPosition(s);
    t->AddPoint(s);
    EXPECT_EQ(m->FMapCoords.X, 0);
    EXPECT_EQ(t->Point(0).MapCoords.X, 0);
    ASSERT_TRUE(map.open(QSize(400, 300)));
    EXPECT_NEAR(double(m->FMapCoords.X), 120, 1e-6);
    EXPECT_NEAR(double(m->FMapCoords.Y), 240, 1e-6);
    EXPECT_NEAR(double(t->Point(0).MapCoords.Y), 240, 1e-6);
    EXPECT_EQ(m->GetPosition().TimeStamp, 1);
}

// The callout's tip is at the position, its body above right in the back colour, the text
// inside it; the box it reports starts at the position.
TEST_F(MapObjectsTest, LabelCallout) {
    auto *l = panel().CreateObject<TMapLabel>();
    EXPECT_EQ(l->weight(), 1000);
    l->FSize = 10;
    l->FColor = QColor(Red);
    l->FBackColor = QColor(qRgb(255, 255, 200));
    l->FText = QStringLiteral("Номер объекта: 5\r\nДата: 01.02.2026");
    l->SetPosition(atScreen(100, 200));

    const QFontMetrics fm(QFont(QStringLiteral("times"), 10));
    const QRect ext = fm.boundingRect(QRect(), Qt::AlignLeft | Qt::AlignTop,
                                      QStringLiteral("Номер объекта: 5\nДата: 01.02.2026"));
    EXPECT_GT(ext.height(), fm.height()); // two lines
    const int w = ext.width() + 10, h = ext.height() + 10;
    const QPolygon poly = l->callout(QPoint(100, 200));
    ASSERT_EQ(poly.size(), 10);
    EXPECT_EQ(poly[7], QPoint(100, 200));
    EXPECT_EQ(poly[1], QPoint(100 + w + 15, 200 - h - 10));

    const QImage out = map.paint();
    EXPECT_EQ(out.pixel(100 + w + 12, 200 - 13), qRgb(255, 255, 200)); // body, right of the text
    EXPECT_EQ(out.pixel(100 + w + 25, 200 - 13), TSmallMap::Ground);
    EXPECT_GT(countColour(out, Red, QRect(125, 200 - h - 5, w - 15, h - 15 + fm.height())), 10);
    EXPECT_EQ(out.pixel(100 + w + 20, 200 - 20), qRgb(0, 0, 0)); // the right edge

    const TIntRect r = l->GetMetrics();
    EXPECT_EQ(r.Left, 200);
    EXPECT_EQ(r.Top, 350);
    EXPECT_EQ(r.width(), 10 + ext.width());
    EXPECT_EQ(r.height(), 10 + ext.height());
}

// The rest place shows the panel's parked picture centred on its position; white is clear.
TEST_F(MapObjectsTest, RestPlaceSymbol) {
    auto *c = panel().CreateObject<TMapControlPoint>();
    EXPECT_EQ(c->weight(), 100);
    c->SetObjType(TMapControlPoint::RestPlace);
    c->SetPosition(atScreen(200, 100));
    ASSERT_FALSE(c->FGliph.isNull());
    EXPECT_EQ(c->FGliph.size(), panel().parkedImage().size());
    EXPECT_EQ(c->GetMetrics(), (TIntRect{300, 250, 300, 250}));

    const QImage out = map.paint();
    const int gw = c->FGliph.width(), gh = c->FGliph.height();
    const QPoint origin(200 - gw / 2, 100 - gh / 2);
    int opaque = 0;
    for (int y = 0; y < gh; ++y)
        for (int x = 0; x < gw; ++x) {
            const QRgb g = c->FGliph.pixel(x, y);
            const QRgb o = out.pixel(origin + QPoint(x, y));
            if (qAlpha(g) == 255) {
                EXPECT_EQ(o, g | 0xFF000000u) << x << "," << y;
                ++opaque;
            } else if (qAlpha(g) == 0) {
                EXPECT_EQ(o, TSmallMap::Ground) << x << "," << y;
            }
        }
    EXPECT_GT(opaque, 20);
}

} // namespace

namespace {

// Objects need no panel: they place themselves through the layer they share (the binding of
// the open map), follow a new binding when asked to, and a weight change is noted on the
// layer for whoever keeps them in order.
TEST(MapObjectsLayer, PlacedThroughTheirLayerAlone) {
    TControlPoints points;
    for (const QPoint &p : {QPoint(0, 0), QPoint(600, 0), QPoint(600, 600), QPoint(0, 600)})
        points.append(TControlPoint{p, TSmallMap::geoAt(p.x(), p.y())});
    auto layer = std::make_shared<TMapLayer>(TCoordsConverter(points));
    TMarker marker;
    TTrack track;
    marker.setLayer(layer);
    track.setLayer(layer);
    const TPositionSnapshot at{1, TSmallMap::geoAt(120, 240)};
    marker.SetPosition(at);
    track.AddPoint(at);
    EXPECT_NEAR(double(marker.FMapCoords.X), 120, 1e-6);
    EXPECT_NEAR(double(track.Point(0).MapCoords.Y), 240, 1e-6);

    // A sheet twice as large in pixels for the same area.
    for (TControlPoint &p : points)
        p.MapCoords *= 2;
    layer->setBinding(TCoordsConverter(points));
    marker.UpdateCoords();
    track.UpdateCoords();
    EXPECT_NEAR(double(marker.FMapCoords.X), 240, 1e-6);
    EXPECT_NEAR(double(track.Point(0).MapCoords.Y), 480, 1e-6);

    EXPECT_FALSE(layer->takeOrderChanged());
    marker.setWeight(7);
    EXPECT_TRUE(layer->takeOrderChanged());
    EXPECT_FALSE(layer->takeOrderChanged());
}

} // namespace

#include "maps/WideLines.h"

namespace {

// Wide lines filled straight into an image cover what the painter's round-capped lines cover,
// but for a few pixels on their edges, also where they leave the image; a line without length
// draws nothing, as the painter's.
TEST(WideLines, CoverWhatThePainterCovers) {
    const struct {
        const char *name;
        int width;
        std::vector<QPoint> points;
    } cases[] = {
        {"short zigzag", 3, {{20, 20}, {22, 21}, {23, 23}, {25, 22}, {27, 26}, {28, 26}}},
        {"long diagonal", 5, {{5, 90}, {95, 7}}},
        {"square corner", 3, {{10, 10}, {80, 10}, {80, 80}}},
        {"a point again", 5, {{40, 40}, {40, 40}, {60, 45}, {60, 45}}},
        {"across every edge", 5, {{-300, 50}, {400, 60}, {50, -400}, {60, 500}}},
        {"from far away", 3, {{-20000, -19950}, {20000, 20050}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QImage painted(100, 100, QImage::Format_RGB32), filled(100, 100, QImage::Format_RGB32);
        painted.fill(Qt::white);
        filled.fill(Qt::white);
        {
            QPainter p(&painted);
            p.setPen(QPen(Qt::black, c.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            for (size_t i = 1; i < c.points.size(); ++i)
                p.drawLine(c.points[i - 1], c.points[i]);
        }
        {
            QPainter p(&filled);
            ASSERT_EQ(TWideLines::target(p), &filled);
            TWideLines(filled, c.width).draw(c.points.data(), c.points.size(), qRgb(0, 0, 0));
        }
        int covered = 0, differing = 0, inside = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) {
                const bool a = painted.pixel(x, y) == qRgb(0, 0, 0);
                covered += a;
                if (a == (filled.pixel(x, y) == qRgb(0, 0, 0)))
                    continue;
                ++differing;
                // A differing pixel lies on the edge: some neighbour is covered and some not.
                int black = 0, white = 0;
                for (int j = -1; j <= 1; ++j)
                    for (int i = -1; i <= 1; ++i)
                        if (painted.valid(x + i, y + j))
                            (painted.pixel(x + i, y + j) == qRgb(0, 0, 0) ? black : white)++;
                inside += black == 0 || white == 0;
            }
        EXPECT_GT(covered, 0);
        EXPECT_EQ(inside, 0);
        EXPECT_LE(differing, covered / 50 + 1);
    }
    // A painter with a transform is left to draw for itself.
    QImage img(10, 10, QImage::Format_RGB32);
    QPainter p(&img);
    p.translate(1, 0);
    EXPECT_EQ(TWideLines::target(p), nullptr);
}

} // namespace
