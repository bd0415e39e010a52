#pragma once

// One managed item per monitored object on the raster map: which markers, labels and tracks are
// visible, which object is the active (highlighted) one, and what lies under a click.

#include <QColor>

#include <memory>
#include <vector>

#include "app/GeoTypes.h"
#include "maps/UManagedItem.h"

class TMapPanel;
class TMapControlPoint;
struct TPositionSnapshot;

class TMapObjManager {
public:
    // Visibility bits (also what GetObjInCoords may pick).
    enum : int {
        ActiveLabel = 0x001,
        AllLabels = 0x002,
        ActiveMarker = 0x010,
        AllMarkers = 0x020,
        ActiveTrack = 0x100,
        AllTracks = 0x200,
    };
    // SetTrackType: tracks drawn as points instead of lines.
    static constexpr int PointTrack = 0x10000000;

    explicit TMapObjManager(TMapPanel *panel);
    ~TMapObjManager();

    std::vector<std::unique_ptr<TManagedItem>> ManagedItems;
    long double FObjPickTolerance = 5.0; // screen pixels
    int ActiveObjectIndex = -1;

    QColor FDefaultMarkerColor{0, 0, 255};
    QColor FDefaultTrackColor{0, 128, 0};
    QColor FDefaultLostTrackColor{255, 0, 0};
    QColor FDefaultActiveMarkerColor{255, 0, 0};
    QColor FDefaultArchiveMarkerColor{0, 0, 0};

    // The one marker-colour rule: the active object stands out, then live or stored data.
    QColor MarkerColour(const TManagedItem &item, bool active) const;
    // New colours (the settings changed): the defaults, every marker and every track.
    void SetColours(const QColor &marker, const QColor &track, const QColor &lostTrack,
                    const QColor &active, const QColor &archive);

    // The item's index, -1 when there is none (or a new item when create is set).
    int IndexOf(int ANumber, bool create = false);
    bool isObjPresent(int ANumber) const;
    TManagedItem *Item(int ANumber) const;
    // Finds or creates the item and makes the record its current one.
    TManagedItem *AddObject(int ANumber, const TDataRecord &Snapshot);
    // Every item off the map (the registry is loaded again).
    void Clear();
    // One object's item off the map (the object left the registry); the active object stays
    // the same one.
    void RemoveObject(int ANumber);

    int visualState() const { return FVisualState; }
    void SetVisualState(int Value);
    void SetTrackType(int TrackType);
    void SetActiveObject(int ANumber);
    int GetActiveObject() const;
    void ClearTracks();
    // An object's marker flashes (an alarm) or stops; SetAlarmLit switches every flashing
    // marker between its alarm look and its own. An unknown number changes nothing.
    void SetAlarm(int ANumber, bool on);
    void SetAlarmLit(bool lit);
    void DisconnectAll();
    void AddRestPlace(const TGeoCoords &Coords);
    void RemoveRestPlaces();
    const std::vector<TMapControlPoint *> &restPlaces() const { return MapRestPlaces; }

    // What lies within the pick tolerance of an image point; the flags are visibility bits.
    bool GetObjInCoords(const TMapCoords &MapCoords, int &ObjNum, TPositionSnapshot &Position,
                        int IncludeObjFlag) const;

private:
    void applyVisibility(TManagedItem &item, bool active) const;
    void setActiveLook(TManagedItem &item, bool active);

    TMapPanel *FMapPanel;
    int FVisualState = AllMarkers | ActiveTrack; // 288
    bool m_alarmLit = true;
    std::vector<TMapControlPoint *> MapRestPlaces;
};
