#pragma once

// Device data files: the day files an object's device records on board and the server keeps.
// A plain sequence of records, little-endian, without header or separators:
//   0  time      TDateTime (IEEE double), before the object's time-zone shift
//   8  latitude  80-bit extended, minutes of arc, in a 16-byte slot (6 zero bytes after it)
//  24  longitude 80-bit extended, minutes of arc, in a 16-byte slot
//  40  L         length of the state string (0..255)
//  41  state     L bytes, as the device state string
// The file ends where the stream ends; its last record may be cut short.

#include <QByteArray>
#include <QIODevice>

#include "app/DateUtils.h"
#include "app/GeoTypes.h"

struct TDeviceRecord {
    static constexpr int HeadSize = 41; // time, position and the length byte

    TDateTime time = 0;
    TGeoCoords position;
    QByteArray state;

    // The record's bytes (the state is cut at 255 bytes).
    QByteArray toBytes() const;
};

// How much of the next record the stream held.
enum class TDeviceRead {
    End,          // nothing, or the time cut short
    TimeOnly,     // the time, but the position cut short
    PositionOnly, // time and position, but the length byte or the state cut short
    Complete,
};

// Reads records one after the other from the stream's current position.
class TDeviceDataReader {
public:
    explicit TDeviceDataReader(QIODevice &stream) : m_stream(stream) {}
    // With readState false the state bytes are skipped unread, and a record counts as complete
    // once its length byte was read.
    TDeviceRead next(TDeviceRecord &record, bool readState = true);

private:
    QIODevice &m_stream;
};

// A device time shifted by the object's time zone: (t * 24 + hours) / 24 for a time after
// 1899-12-30, (t * 24 - hours) / 24 otherwise.
TDateTime ShiftByTimeZone(TDateTime t, int hours);
