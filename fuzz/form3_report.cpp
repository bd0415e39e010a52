// Form-3 reports of a device (the connection blocks as it holds them).
#include "FuzzCommon.h"

#include "programming/ProgrammingCodec.h"

using namespace programming;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray payload(reinterpret_cast<const char *>(data), qsizetype(size));
    TProgrammingParams current;
    ApplyDefaults(current);
    const TForm3Report r = DecodeForm3(payload, current);
    if (r.outcome != TReportOutcome::Ok) {
        if (!(r.params == current))
            fuzz::broken("a refused report changed the fields");
        return 0;
    }
    if (r.block < '1' || r.block > '4')
        fuzz::broken("a report of no known block was taken");
    if (payload.size() < 2 * r.data.size() + 6)
        fuzz::broken("more data bytes than the payload holds");
    const TProgrammingParams &p = r.params;
    if (p.IPEdit.size() > 15 || p.PortEdit.size() > 5 || p.IDEdit.size() > 4)
        fuzz::broken("a field longer than its places");
    for (const TSimSettings &s : p.sim)
        if (s.Login.size() > 10 || s.Pass.size() > 10 || s.InitStr.size() > 25 || s.Ussd.size() > 5)
            fuzz::broken("a SIM field longer than its places");
    if (p.CustomPrefixEdit.size() > 10)
        fuzz::broken("an own prefix longer than ten");
    if (p.PapChapComboBox < 0 || p.PapChapComboBox > 2 || p.BearerComboBox < 0 ||
        p.BearerComboBox > 2 || p.PrefServComboBox < 0 || p.PrefServComboBox > 1)
        fuzz::broken("a hidden setting off its list");
    return 0;
}
