#pragma once

#include "app/DateUtils.h"
#include "app/GeoTypes.h"

// One position record: the map keeps one per object as its current record, the track display
// builds one per shown point.
struct TDataRecord {
    TDateTime FTimeStamp = 0;
    TGeoCoords FCoords; // minutes of arc
    bool FGPSLost = false;
    // State flags that travel with the position (the "1, 0, 0, 0" state text of a freshly
    // loaded object, the demonstration flags); copied into snapshots and track points.
    int Status = 0;
};
