#pragma once

#include "app/DateUtils.h"
#include "app/GeoTypes.h"
#include "maps/MapLayer.h"
#include "maps/MapViewport.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QString>

#include <array>
#include <memory>
#include <vector>

class QPainter;

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
// in ascending weight, so heavier objects lie on top. An object is given the panel's layer
// when it is added to it (TMapPanel::CreateObject) and places itself through the layer's
// binding; it never calls the panel. Drawing needs nothing but the frame's viewport, so an
// object draws the same on any QPainter, with or without a panel. Markers, labels, tracks and
// symbols derive from it.
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
    // Recomputes the image position with the layer's current binding (a new map was opened);
    // tracks override it to update each point.
    virtual void UpdateCoords();
    // Non-zero when the object's picture depends on nothing but this stamp and the view, so
    // that a frame may keep what it drew while the stamp stays the same (tracks); 0 for
    // objects drawn anew in every frame.
    virtual quint64 pictureStamp() const { return 0; }

    int weight() const { return FWeight; }
    // The layer's order is restored before the next frame.
    void setWeight(int weight);

    // The layer the object places itself through (its panel's, once added to one).
    void setLayer(std::shared_ptr<TMapLayer> layer);
    const TMapLayer *layer() const { return m_layer.get(); }

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
    // The image position of a position with the layer's binding; (0, 0) without a layer.
    TMapCoords place(const TGeoCoords &coords) const;

    int FWeight;
    int FObjType = 0;
    std::shared_ptr<TMapLayer> m_layer;
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
    // An alarm (a fuel drain nobody has confirmed yet): while FAlarmLit the marker takes the
    // alarm colour inside a ring of it, and its border pointer the same colour; the caller
    // switches FAlarmLit on a timer, so the marker flashes.
    bool FAlarm = false;
    bool FAlarmLit = false;
    static QColor alarmColour() { return QColor(255, 140, 0); }

private:
    // The colour the marker is drawn in now.
    QColor currentColour() const { return FAlarm && FAlarmLit ? alarmColour() : FColor; }
    // The arrow's vertices relative to its point, worked out again only when the angle or the
    // size changes.
    const std::array<QPoint, 4> &arrowOffsets() const;
    mutable std::array<QPoint, 4> m_arrow{};
    mutable long double m_arrowAngle = 0;
    mutable int m_arrowSize = -1;
    // The border pointer as last drawn, while its point, the view, the size, the colour and
    // the text stay the same.
    struct TPointerCache {
        bool valid = false;
        QPoint P;
        TIntRect view;
        int size = 0;
        QRgb colour = 0;
        QString text;
        TBorderPointer bp;
        QByteArray arrowKey, captionKey;
        QPolygon arrow, octagon; // relative to the pointer point and the caption centre
        QRect textRect, captionBox;
    };
    TPointerCache m_pointer;
};

// A sequence of track points, drawn as lines (type 0) or as points (any other type).
class TTrack : public TMapObject {
public:
    static constexpr int DefaultWeight = 10;
    TTrack();

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
    void Clear();
    int Count() const { return int(FPoints.size()); }
    const TTrackPoint &Point(int Index) const { return FPoints.at(size_t(Index)); }
    const std::vector<TTrackPoint> &points() const { return FPoints; }
    TPositionSnapshot PointPosition(int Index) const;
    // First point with exactly this latitude and longitude, or -1.
    int GetPointIndex(const TGeoCoords &Coords) const;
    // A point with exactly this time, by binary search over the sorted list, or -1.
    int GetPointIndex(TDateTime DateTime) const;

    quint64 pictureStamp() const override;

    bool DisableSort = false;

private:
    void sortByTime();
    void changed();
    void drawLines(QPainter &canvas, const TMapViewport &view);
    void drawPoints(QPainter &canvas, const TMapViewport &view);

    std::vector<TTrackPoint> FPoints;
    // The points' image positions in double precision, as every frame reads them.
    std::vector<double> m_xy;
    quint64 m_revision; // changes with every change of the points
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
// is the parked one (the layer's when the type is set on a layer, else the viewport's at the
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
