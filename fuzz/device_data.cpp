// Device data files (the downloaded day files): records read one after the other, with and
// without their states, the states decoded as the import does.
#include "FuzzCommon.h"

#include "online/ControllableObject.h"
#include "tracks/DeviceData.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const bool readState : {true, false}) {
        QBuffer stream(&bytes);
        stream.open(QIODevice::ReadOnly);
        TDeviceDataReader reader(stream);
        TDeviceRecord rec;
        TControllableObject obj;
        size_t records = 0;
        for (;;) {
            const TDeviceRead r = reader.next(rec, readState);
            if (r == TDeviceRead::End || r == TDeviceRead::TimeOnly)
                break;
            if (++records > size / TDeviceRecord::HeadSize + 1)
                fuzz::broken("more records than the file can hold");
            obj.TS = ShiftByTimeZone(rec.time, int(records % 25) - 12);
            if (r == TDeviceRead::Complete && readState)
                obj.DecodeSostString(rec.state);
            if (r != TDeviceRead::Complete)
                break;
        }
    }
    return 0;
}
