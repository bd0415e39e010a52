#pragma once

#include "app/DateUtils.h"
#include "app/GeoTypes.h"
#include "maps/MapViewport.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QString>

#include <vector>

class QPainter;
class TMapPanel;

// A position with its time and the flags that travel with it.
struct TPositionSnapshot {
    TDateTime TimeStamp = 0;
    TGeoCoords Coords; // minutes of arc
    int Status = 0;
    bool GPSLost = false;
    bool Parked = false;
};

struct TTrackPoint {
    TDateTime DateTime = 0;
    TGeoCoords GeoCoords;
    int Status = 0;
    bool GPSLost = false;
    bool Parked = false;
    TMapCoords MapCoords; // image pixels with the binding of the moment
};

// Everything drawn over a raster map. The panel owns its objects and draws the visible ones
// in ascending weight, so heavier objects lie on top; an object learns its panel when it is
// added to it (TMapPanel::CreateObject), and uses it only to place itself and to keep the
// panel's order. Drawing needs nothing but the frame's viewport, so an object draws the same
// on any QPainter, with or without a panel. Markers, labels, tracks and symbols derive from it.
class TMapObject {
public:
    explicit TMapObject(int weight = 0) : FWeight(weight) {}
    virtual ~TMapObject() = default;
    TMapObject(const TMapObject &) = delete;
    TMapObject &operator=(const TMapObject &) = delete;

    // Bounding rectangle in image pixels.
    virtual TIntRect GetMetrics() const = 0;
    // Draws in screen pixels as the viewport places it (the panel's off-screen surface).
    virtual void Draw(QPainter &canvas, const TMapViewport &view) = 0;
    // Recomputes the image position with the panel's current binding (a new map was opened);
    // tracks override it to update each point.
    virtual void UpdateCoords();

    int weight() const { return FWeight; }
    // Re-sorts the owning panel's list.
    void setWeight(int weight);
    TMapPanel *mapPanel() const { return FMapPanel; }

    // Time and position; setting it places the object on the open map (0, 0 without one).
    TPositionSnapshot GetPosition() const;
    void SetPosition(const TPositionSnapshot &position);

    int objType() const { return FObjType; }
    // The drawing variant; symbols load their glyph here.
    virtual void SetObjType(int value) { FObjType = value; }

    TDateTime FDateTime = 0;
    TMapCoords FMapCoords;
    TGeoCoords FGeoCoords;
    int FSize = 0;
    long double FAngle = 0; // radians, screen orientation: 0 = right, clockwise positive
    QColor FColor = Qt::black;
    QColor FLostColor = Qt::red;
    bool FisVisible = true;

protected:
    int FWeight;
    int FObjType = 0;
    TMapPanel *FMapPanel = nullptr;

private:
    friend class TMapPanel;
};

// An object's marker: a circle (type 0), a triangle (1) or a heading arrow (2). Off the view,
// when the viewport asks for it, a block arrow on the view's border points towards it with the
// marker's text beside it.
class TMarker : public TMapObject {
public:
    static constexpr int DefaultWeight = 500;
    TMarker() : TMapObject(DefaultWeight) {}

    TIntRect GetMetrics() const override;
    void Draw(QPainter &canvas, const TMapViewport &view) override;

    // The geometry of the border pointer for screen point P on the view's border (all in
    // screen pixels).
    struct TBorderPointer {
        QPoint Point;     // where the arrow sits on the border
        QPolygon Arrow;   // seven vertices; the first is the tip
        QPoint Caption;   // centre of the caption
        QPolygon Octagon; // the caption's frame
        QRect TextRect;   // the caption's text box
    };
    TBorderPointer borderPointer(const TMapViewport &view, const QPoint &P) const;
    // The marker's own shape at screen point P for the current type.
    QPolygon shape(const QPoint &P) const;

    QString FText;
};

// A sequence of track points, drawn as lines (type 0) or as points (any other type).
class TTrack : public TMapObject {
public:
    static constexpr int DefaultWeight = 10;
    TTrack() : TMapObject(DefaultWeight) {}

    TIntRect GetMetrics() const override;
    void Draw(QPainter &canvas, const TMapViewport &view) override;
    void UpdateCoords() override;

    // Appends a point; an older point than the last re-sorts the list by time unless an
    // insertion block is open.
    void AddPoint(const TPositionSnapshot &APositionSnapshot);
    // For bulk loading: no sorting until the block ends, then one sort.
    void InsertionBlockStart() { DisableSort = true; }
    void InsertionBlockEnd();
    void RemovePoint(int Index);
    void Clear() { FPoints.clear(); }
    int Count() const { return int(FPoints.size()); }
    const TTrackPoint &Point(int Index) const { return FPoints.at(size_t(Index)); }
    TPositionSnapshot PointPosition(int Index) const;
    // First point with exactly this latitude and longitude, or -1.
    int GetPointIndex(const TGeoCoords &Coords) const;
    // A point with exactly this time, by binary search over the sorted list, or -1.
    int GetPointIndex(TDateTime DateTime) const;

    std::vector<TTrackPoint> FPoints;
    bool DisableSort = false;

private:
    void sortByTime();
};

// A text callout whose tip is at the position (object names, the picked-point information).
class TMapLabel : public TMapObject {
public:
    static constexpr int DefaultWeight = 1000;
    TMapLabel() : TMapObject(DefaultWeight) {}

    TIntRect GetMetrics() const override;
    void Draw(QPainter &canvas, const TMapViewport &view) override;
    // The callout's ten vertices and the text box at screen point P.
    QPolygon callout(const QPoint &P, QRect *textRect = nullptr) const;

    QString FText;
    QColor FBackColor = Qt::white;
};

// A symbol drawn as a picture centred on its position; type 4 is the rest place, whose picture
// is the parked one (the panel's when the type is set on a panel, else the viewport's at the
// first drawing).
class TMapControlPoint : public TMapObject {
public:
    static constexpr int DefaultWeight = 100;
    static constexpr int RestPlace = 4;
    TMapControlPoint() : TMapObject(DefaultWeight) {}

    TIntRect GetMetrics() const override;
    void Draw(QPainter &canvas, const TMapViewport &view) override;
    void SetObjType(int value) override;

    QImage FGliph;
    bool FDrawRadius = false;

private:
    void loadGlyph(const QImage &parked);
    bool m_glyphLoaded = false;
};
