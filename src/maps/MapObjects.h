#pragma once

#include "app/DateUtils.h"
#include "app/GeoTypes.h"

class QPainter;
class TMapPanel;

// A rectangle as the map layer measures it: right and bottom are one past the last pixel.
struct TIntRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int width() const { return Right - Left; }
    int height() const { return Bottom - Top; }
    bool operator==(const TIntRect &) const = default;
};

// Everything drawn over a raster map. The panel owns its objects and draws the visible ones
// in ascending weight, so heavier objects lie on top; an object learns its panel when it is
// added to it. Markers, labels, tracks and symbols derive from this class.
class TMapObject {
public:
    explicit TMapObject(int weight = 0) : FWeight(weight) {}
    virtual ~TMapObject() = default;
    TMapObject(const TMapObject &) = delete;
    TMapObject &operator=(const TMapObject &) = delete;

    // Bounding rectangle in image pixels.
    virtual TIntRect GetMetrics() const = 0;
    // Draws on the panel's off-screen surface; the panel's conversions place it.
    virtual void Draw(QPainter &canvas) = 0;
    // Recomputes the image position with the panel's current binding (a new map was opened);
    // tracks override it to update each point.
    virtual void UpdateCoords();

    int weight() const { return FWeight; }
    // Re-sorts the owning panel's list.
    void setWeight(int weight);
    TMapPanel *mapPanel() const { return FMapPanel; }

    TDateTime FDateTime = 0;
    TMapCoords FMapCoords;
    TGeoCoords FGeoCoords;
    bool FisVisible = true;

protected:
    int FWeight;
    TMapPanel *FMapPanel = nullptr;

private:
    friend class TMapPanel;
};
