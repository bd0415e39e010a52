#pragma once

// GPX 1.1, the exchange form every map and GIS program reads: a divided track as one track
// with a segment per movement part and a waypoint per stop (at the stop's first position with
// a fix). Points without a fix are left out; times are written in UTC.

#include <QByteArray>
#include <QString>

#include <vector>

#include "tracks/TrackAnalysis.h"

// The UTF-8 document.
QByteArray TrackToGpx(const std::vector<TCoordData> &track, const ArrayTracks &parts,
                      int objectNumber);
