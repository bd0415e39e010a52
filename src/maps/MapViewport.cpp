#include "maps/MapViewport.h"

#include <algorithm>
#include <cmath>

long double truncSnap(long double v) {
    constexpr long double eps = 1e-9L;
    return std::trunc(v >= 0 ? v + eps : v - eps);
}

namespace {

// Nearest integer, halves to even.
long double roundEven(long double v) {
    return std::nearbyint(v);
}

} // namespace

TMapViewport::TMapViewport(const QSize &size, const TMapCoords &camera, long double zoom,
                           const TCoordsConverter &converter)
    : m_size(size), m_camera(camera), m_zoom(zoom), m_scaling(1 / zoom), m_converter(converter),
      m_mapReady(true) {
    hoist();
}

void TMapViewport::setMapReady(bool ready) {
    m_mapReady = ready;
    hoist();
}

void TMapViewport::hoist() {
    const long double s = m_scaling;
    m_left = double(roundEven(m_camera.X - m_size.width() / 2.0L * s));
    m_top = double(roundEven(m_camera.Y - m_size.height() / 2.0L * s));
    m_scalingD = double(s);
    const TIntRect v = GetView();
    const QPoint tl = MapToScreen(TMapCoords{(long double)v.Left, (long double)v.Top});
    const QPoint br = MapToScreen(TMapCoords{(long double)v.Right, (long double)v.Bottom});
    m_screenView = TIntRect{tl.x(), tl.y(), br.x(), br.y()};
}

TMapCoords TMapViewport::ScreenToMap(const QPoint &p) const {
    const long double s = m_scaling;
    return TMapCoords{m_camera.X - truncSnap(m_size.width() / 2.0L * s) + p.x() * s,
                      m_camera.Y - truncSnap(m_size.height() / 2.0L * s) + p.y() * s};
}

TGeoCoords TMapViewport::ScreenToGeo(int X, int Y) const {
    if (!m_mapReady)
        return {};
    const long double s = m_scaling;
    const TMapCoords m{m_camera.X - (m_size.width() / 2.0L - X) * s,
                       m_camera.Y - (m_size.height() / 2.0L - Y) * s};
    return m_converter.MapToGeo(m);
}

QPoint TMapViewport::MapToScreen(const TMapCoords &coords) const {
    if (!m_mapReady)
        return {};
    const long double s = m_scaling;
    const long double left = roundEven(m_camera.X - m_size.width() / 2.0L * s);
    const long double top = roundEven(m_camera.Y - m_size.height() / 2.0L * s);
    return QPoint(int(truncSnap((coords.X - left) / s)), int(truncSnap((coords.Y - top) / s)));
}

TMapCoords TMapViewport::GeoToMap(const TGeoCoords &coords) const {
    return m_converter.GeoToMap(coords);
}

TIntRect TMapViewport::GetView() const {
    const long double s = m_scaling;
    const long double hw = m_size.width() * s / 2, hh = m_size.height() * s / 2;
    return TIntRect{int(roundEven(m_camera.X - hw)), int(roundEven(m_camera.Y - hh)),
                    int(roundEven(m_camera.X + hw)), int(roundEven(m_camera.Y + hh))};
}

void TMapViewport::MoveCamera(int dx, int dy) {
    m_camera.X += truncSnap(dx * m_scaling);
    m_camera.Y += truncSnap(dy * m_scaling);
    hoist();
}

void TMapViewport::LimitCamera(const QSize &imageSize) {
    const long double hw = std::trunc(m_size.width() * m_scaling / 2);
    const long double hh = std::trunc(m_size.height() * m_scaling / 2);
    m_camera.X = std::max(m_camera.X, hw);
    m_camera.Y = std::max(m_camera.Y, hh);
    // For an image smaller than the view this limit wins.
    m_camera.X = std::min(m_camera.X, imageSize.width() - hw);
    m_camera.Y = std::min(m_camera.Y, imageSize.height() - hh);
    hoist();
}
