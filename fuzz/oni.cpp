// Object-settings files (".oni"): the object's settings and its calibration table.
#include "FuzzCommon.h"

#include "app/IniFile.h"
#include "db/ObjectRegistry.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    TIniFile ini;
    ini.fromBytes(bytes);
    TObjectRecord defaults;
    defaults.number = OniObjectNumber(ini);
    const TOniContents oni = ReadOni(ini, defaults);
    // Every point needs a key of its own, whatever Count says.
    if (qsizetype(oni.points.size()) > bytes.count('='))
        fuzz::broken("more calibration points than keys");
    const TObjectRecord &r = oni.record;
    if (!std::isfinite(r.tankVolume) || !std::isfinite(r.fuelConsW) || !std::isfinite(r.fuelConsS))
        fuzz::broken("a value that is no number");
    // The object's own drain rule: positive values only (the others are no rule).
    const TObjectDrainRule &d = r.drains;
    if ((d.litres && !(std::isfinite(*d.litres) && *d.litres > 0)) ||
        (d.windowMinutes && *d.windowMinutes <= 0) || (d.median && *d.median <= 0))
        fuzz::broken("a drain rule that is no rule");
    for (const TCalibrationPoint &p : oni.points)
        if (!std::isfinite(p.fuel))
            fuzz::broken("a calibration value that is no number");
    return 0;
}
