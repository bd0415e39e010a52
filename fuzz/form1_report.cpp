// Form-1 reports of a device (the equipment parameters).
#include "FuzzCommon.h"

#include "programming/ProgrammingCodec.h"

#include <cmath>

using namespace programming;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray payload(reinterpret_cast<const char *>(data), qsizetype(size));
    TProgrammingParams current;
    ApplyDefaults(current);
    const TForm1Report r = DecodeForm1(payload, current);
    if (r.outcome != TReportOutcome::Ok) {
        if (!(r.params == current))
            fuzz::broken("a refused report changed the fields");
        return 0;
    }
    if (payload.size() < Form1MinSize)
        fuzz::broken("a report shorter than nine bytes was taken");
    const TProgrammingParams &p = r.params;
    if (p.cbTimeSr < 0 || p.cbTimeSr >= TimeSrItems().size() || p.cbEngTempMin < 0 ||
        p.cbEngTempMin >= EngTempItems().size() || p.cbEngTempMax < 0 ||
        p.cbEngTempMax >= EngTempItems().size() || p.cbRecalcCoof < 0 ||
        p.cbRecalcCoof >= RecalcCoofItems().size())
        fuzz::broken("an index off its pick list");
    if (p.tbAKB < 0 || p.tbAKB > AkbMax || p.tbTMAS < 0 || p.tbTMAS > TmasMax)
        fuzz::broken("a track bar beyond its range");
    double v = 0;
    if (!ParseFloat(p.edAKB, v) || !ParseFloat(p.edTMASmin, v) || !ParseFloat(p.edTMASmax, v))
        fuzz::broken("a shown value that is no number");
    return 0;
}
