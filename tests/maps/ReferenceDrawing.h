#pragma once

// The map frame drawn the plain way, one object and one segment at a time: every point mapped
// to the screen in extended precision, a round-capped line per track segment, each marker's
// polygons stroked anew, the image stretched anew. It is the picture the panel's own frame
// must keep, so the tests compare the two, and the frame benchmark measures it as its
// baseline.

#include "maps/MapObjects.h"
#include "maps/MapViewport.h"

#include <QImage>
#include <QPainter>

class TMapPanel;

namespace reference {

// One object as the plain drawing shows it.
void drawObject(QPainter &canvas, const TMapViewport &view, const TMapObject &obj);

// The whole frame of the panel at its current view: white, the image stretched over the view,
// the visible objects in the panel's order. The panel must be ready and have been drawn once
// (its zoom and camera limits applied).
QImage drawFrame(const TMapPanel &panel);

} // namespace reference
