// Track (day) files: read whole and windowed, ordered, cleaned and written back.
#include "FuzzCommon.h"

#include "tracks/FileManager.h"

#include <cstring>
#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The first 16 bytes choose the window; the rest is the file.
    if (size < 16)
        return 0;
    double b = 0, e = 0;
    std::memcpy(&b, data, 8);
    std::memcpy(&e, data + 8, 8);
    const QString file = fuzz::writeScratch(QStringLiteral("20260315.dat"), data + 16, size - 16);
    try {
        TTrackFile whole;
        whole.fname = file;
        whole.load();
        if (size_t(whole.coords.size()) != (size - 16) / TCoordData::RecordSize)
            fuzz::broken("records that are not in the file");
        TTrackFile window;
        window.fname = file;
        window.load(b, e);
        if (window.coords.size() > whole.coords.size())
            fuzz::broken("a window larger than the file");
        whole.sort();
        whole.unique();
        whole.save();
    } catch (const ETrackFileError &) {
    }
    return 0;
}
