#pragma once

#include "app/GeoTypes.h"
#include "maps/CoordsConverter.h"

#include <QImage>
#include <QPoint>
#include <QSize>

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

// Cuts towards zero, forgiving the last bits of a product that is meant to be whole
// (3 / (1/3) must give 3, not 2): the screen and image arithmetic of the map layer.
long double truncSnap(long double v);

// One frame's view of a raster map: the view's size in screen pixels, the camera (the image
// point at the view's centre), the zoom (screen pixels per image pixel), the open map's
// binding, and the drawing options that every map object obeys. The panel builds one per frame
// and hands it to each object's Draw, so that drawing depends on nothing but the viewport and
// the object; tests build their own. Copying is cheap (the binding and the picture are
// implicitly shared).
//
// The conversions reproduce the panel's integer rules exactly: reading a point off the screen
// cuts the view's corner towards zero, placing a point rounds it (halves to even), so where
// half the view is not a whole number of image pixels the two differ by up to one image pixel.
class TMapViewport {
public:
    // An empty view without a map.
    TMapViewport() = default;
    // A view on a ready map bound by converter; zoom must be positive.
    TMapViewport(const QSize &size, const TMapCoords &camera, long double zoom,
                 const TCoordsConverter &converter = {});

    QSize size() const { return m_size; }
    TMapCoords camera() const { return m_camera; }
    long double zoom() const { return m_zoom; }
    // Image pixels per screen pixel: 1 / zoom.
    long double scalingFactor() const { return m_scaling; }
    const TCoordsConverter &converter() const { return m_converter; }

    // Whether the map's image is there; without it MapToScreen and ScreenToGeo give (0, 0).
    bool isMapReady() const { return m_mapReady; }
    void setMapReady(bool ready);

    QPoint MapToScreen(const TMapCoords &coords) const;
    // MapToScreen for many points in one frame: the view's corner and scale worked out once
    // (when the viewport is built or its camera moves), each point in double precision. Gives
    // MapToScreen's pixel for any image point of a map (the snapping to whole pixels is far
    // coarser than the difference of precision).
    QPoint toScreen(double x, double y) const {
        if (!m_mapReady)
            return {};
        return QPoint(snapToInt((x - m_left) / m_scalingD), snapToInt((y - m_top) / m_scalingD));
    }
    TMapCoords ScreenToMap(const QPoint &p) const;
    TGeoCoords ScreenToGeo(int X, int Y) const;
    // Through the binding alone: works as soon as a map's binding is installed.
    TMapCoords GeoToMap(const TGeoCoords &coords) const;
    // The visible part of the image, in image pixels.
    TIntRect GetView() const;
    // The visible part of the image mapped back to the screen, the frame objects clip against.
    TIntRect ScreenView() const { return m_screenView; }

    // Moves the camera by a distance in screen pixels (whole image pixels, cut towards zero).
    void MoveCamera(int dx, int dy);
    // Holds the camera so that the view stays on an image of this size; for an image smaller
    // than the view the far edge wins.
    void LimitCamera(const QSize &imageSize);

    // Markers beyond the view show a pointer on the view's border.
    bool showPointerToNotVisObj() const { return m_showPointerToNotVisObj; }
    void setShowPointerToNotVisObj(bool on) { m_showPointerToNotVisObj = on; }
    // The picture of parked points and rest places.
    const QImage &parkedImage() const { return m_parkedImage; }
    void setParkedImage(const QImage &image) { m_parkedImage = image; }

private:
    static int snapToInt(double v) {
        constexpr double eps = 1e-9;
        return int(v >= 0 ? v + eps : v - eps);
    }
    // The per-frame values of the conversions, recomputed whenever the camera moves.
    void hoist();

    QSize m_size{0, 0};
    TMapCoords m_camera;
    long double m_zoom = 1;
    long double m_scaling = 1;
    TCoordsConverter m_converter;
    bool m_mapReady = false;
    bool m_showPointerToNotVisObj = true;
    QImage m_parkedImage;
    double m_left = 0, m_top = 0; // the view's corner as MapToScreen rounds it
    double m_scalingD = 1;
    TIntRect m_screenView;
};
