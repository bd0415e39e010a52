#pragma once

#include "maps/CoordsConverter.h"

#include <QImage>

#include <utility>

// What the map objects of one panel share with it: the open map's binding, through which
// each object places itself on the image, the picture of parked points and rest places, and a
// mark that some object's weight changed, so that the drawing order must be restored before
// the next frame. The panel owns it, installs a new binding when a map opens and keeps its
// objects in order; an object holds it from the moment it is added, and needs nothing of the
// panel itself. Objects that belong to no panel may share a layer of their own.
class TMapLayer {
public:
    TMapLayer() = default;
    explicit TMapLayer(const TCoordsConverter &binding) : m_binding(binding) {}

    const TCoordsConverter &binding() const { return m_binding; }
    void setBinding(const TCoordsConverter &binding) { m_binding = binding; }

    // White is transparent.
    const QImage &parkedImage() const { return m_parkedImage; }
    void setParkedImage(const QImage &image) { m_parkedImage = image; }

    void markOrderChanged() { m_orderChanged = true; }
    // Whether the order changed since the last call.
    bool takeOrderChanged() { return std::exchange(m_orderChanged, false); }

private:
    TCoordsConverter m_binding;
    QImage m_parkedImage;
    bool m_orderChanged = false;
};
