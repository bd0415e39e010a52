#pragma once

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/DateUtils.h"
#include "tracks/CoordsUtils.h"
#include "tracks/FileManager.h"

class TGroup;


// The in-memory state of one monitored object: registry data, the last reported state and
// position, the positions of the last packet and the in-memory track. The 0/1 signals are named
// after the device's inputs; the comments give what the object manager stores them as.
class TControllableObject {
public:
    TControllableObject() = default;

    bool Connected = false;     // the device is connected to the server
    bool HadOnlineData = false; // a packet was applied since the database connected
    int32_t Number = 0;
    QString Name, ShortName;
    QString desc;
    TGroup *Group = nullptr; // the group it was last attached to (not owned)
    int32_t FuelConsW = 0, FuelConsS = 0;
    int32_t Level = 0;
    // The time of the last applied packet (the object's local time): unset until a packet is
    // applied, NaN when that packet carried no valid time. It is text only when shown.
    std::optional<TDateTime> PackTime;
    QString PCTime;
    int32_t BoardVoltage = 0;     // mV
    int32_t FuelLevel = 0;        // raw fuel sensor reading
    long double FuelLevelL = 0;   // litres, from the calibration table
    double Temperature = 0;       // degrees C
    int32_t TankCoverSensor = 0;  // OBJ_LOCOMOTIVEMOVE, locomotive moving
    int32_t TankCoverSensorL = 0; // TankCoverSensor when the object was loaded
    int32_t KungTrailer = 0;      // OBJ_WARNINGMODE, warning mode
    int32_t V24Gen = 0; // OBJ_ERRORAVTOPROTECT, 65 V breaker failure; g24 of the track records
    int32_t ExOut1 = 0; // OBJ_DIESELWORK, diesel running
    int32_t ExOut2 = 0; // OBJ_ABVOLTAGELESSMIN, accumulator below its minimum
    int32_t AlertBtn = 0;
    int32_t TankVolume = 0;           // litres
    int32_t TimeZone = 0;             // hours added to packet times
    std::vector<TCoordStamp> CCoords; // positions of the last packet
    TTrackView track;
    long double Speed = -1; // km/h, -1 until computed
    long double Lat = 0, Lng = 0;
    long double LastTextLat = 0, LastTextLng = 0; // 0 when the last packet had no position
    TDateTime TS = 0;
    int32_t UseEngineForPark = 0;
    int32_t Version = 0;

    // ShortName, or the number when it is empty.
    QString GetLabel() const;
    // The packet time as the grid shows it: empty before any packet, "нет данных" without a
    // valid time, otherwise the default date-time text.
    QString PackTimeText() const;
    // The packet time when there is a valid one.
    std::optional<TDateTime> validPackTime() const;

    // Sets the state fields from a device state string (short form below 20 bytes, long form
    // from 20 bytes on; fewer than 4 bytes only clear FuelLevel).
    void DecodeSostString(const QByteArray &SostStringB);

};
