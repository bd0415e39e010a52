#pragma once

#include "app/DateUtils.h"
#include "app/GeoTypes.h"
#include "maps/UObjData.h"

#include <QColor>
#include <QPointer>
#include <QString>

#include <cstdint>

#include "maps/MapPanel.h" // QPointer needs the whole class
class TMarker;
class TMapLabel;
class TTrack;

struct TObjectDescription {
    int32_t Number = 0;
    QString Name;
};

// One monitored object on the raster map: its latest record and the marker, name label and
// track that show it. Feeding a record moves the marker and the label, turns the marker along
// the direction of travel and extends the track. The map objects belong to the panel; the item
// takes them off the panel when it goes (the panel must outlive the item or go first).
class TManagedItem {
public:
    static constexpr int MarkerSize = 24;
    static constexpr int LabelSize = 10;
    static constexpr int TrackWidth = 3;
    static constexpr int HeadingArrow = 2;
    // Smaller moves on the image (pixels) keep the marker's heading.
    static constexpr float MinHeadingMove = 3.0f;

    TManagedItem(int32_t ANumber, const QColor &MarkerColor, const QColor &TrackColor,
                 const QColor &LostTrackColor, TMapPanel *AMapPanel);
    ~TManagedItem();
    TManagedItem(const TManagedItem &) = delete;
    TManagedItem &operator=(const TManagedItem &) = delete;

    // Takes a new record: speed, heading, marker and label position, a new track point.
    void SetCurrent(const TDataRecord &Value);
    const TDataRecord &current() const { return FCurrent; }
    TDataRecord &current() { return FCurrent; }
    // The on-line processing moves the current record directly: the marker and the label go
    // there and turn, the track and the speed are left to the track display.
    void MoveCurrent(const TGeoCoords &coords, TDateTime time);

    void SetVisible(bool Value);
    bool visible() const { return FVisible; }
    // Stamps the connection or disconnection time with the current time.
    void SetConnected(bool Value);
    bool connected() const { return FConnected; }
    TDateTime lastConnected() const { return FLastConnected; }
    TDateTime lastDisconnected() const { return FLastDisconnected; }
    void setLastDisconnected(TDateTime value) { FLastDisconnected = value; }

    TObjectDescription &description() { return FDescription; }
    const TObjectDescription &description() const { return FDescription; }
    int32_t number() const { return FDescription.Number; }
    TTrack *track() const { return FTrack; }
    TMarker *marker() const { return FMarker; }
    TMapLabel *textLabel() const { return FTextLabel; }
    TMapPanel *mapPanel() const { return FMapPanel; }
    long double speed() const { return FSpeed; } // km/h, -1 while unknown
    TGeoCoords prevCoords() const { return FPrevCoords; }

    // Shows stored rather than live data (its marker is coloured accordingly).
    bool FArchive = false;

private:
    void turnMarker(const TGeoCoords &to);

    TObjectDescription FDescription;
    TTrack *FTrack = nullptr;
    TMarker *FMarker = nullptr;
    TMapLabel *FTextLabel = nullptr;
    TGeoCoords FPrevCoords; // where the heading was last computed
    bool FConnected = false;
    QPointer<TMapPanel> FMapPanel;
    TDataRecord FCurrent;
    bool FVisible = true;
    TDateTime FLastConnected = 0;
    TDateTime FLastDisconnected = 0;
    long double FSpeed = -1;
};
