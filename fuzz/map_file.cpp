// Map description files and the binding of their calibration points.
#include "FuzzCommon.h"

#include "maps/CoordsConverter.h"
#include "maps/MapFileParser.h"

#include <cmath>
#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString file = fuzz::writeScratch(QStringLiteral("fuzz.map"), data, size);
    TMapDescription map;
    try {
        map = TMapFileParser::Parse(file);
    } catch (const std::exception &) {
        return 0;
    }
    // The parser reads thirty calibration lines and one corner list from the file.
    if (map.ControlPoints.size() > 30 + qsizetype(size / 12))
        fuzz::broken("more control points than the file has lines for");
    try {
        const TCoordsConverter binding(map.ControlPoints);
        const TMapCoords m = binding.GeoToMap(map.Boundaries.topleft);
        (void)binding.MapToGeo(m);
    } catch (const EMapBindingError &) {
    }
    return 0;
}
