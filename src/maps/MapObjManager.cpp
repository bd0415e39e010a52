#include "maps/MapObjManager.h"

#include "maps/MapObjects.h"
#include "maps/MapPanel.h"
#include "tracks/CoordsUtils.h"

TMapObjManager::TMapObjManager(TMapPanel *panel) : FMapPanel(panel) {}

TMapObjManager::~TMapObjManager() {
    ManagedItems.clear();
    RemoveRestPlaces();
}

int TMapObjManager::IndexOf(int ANumber, bool create) {
    for (size_t i = 0; i < ManagedItems.size(); ++i)
        if (ManagedItems[i]->number() == ANumber)
            return static_cast<int>(i);
    if (!create || !FMapPanel)
        return -1;
    auto item = std::make_unique<TManagedItem>(ANumber, FDefaultMarkerColor, FDefaultTrackColor,
                                               FDefaultLostTrackColor, FMapPanel);
    // A new item shows what the "all" switches show.
    item->marker()->FisVisible = FVisualState & AllMarkers;
    item->track()->FisVisible = FVisualState & AllTracks;
    item->textLabel()->FisVisible = FVisualState & AllLabels;
    ManagedItems.push_back(std::move(item));
    return static_cast<int>(ManagedItems.size()) - 1;
}

bool TMapObjManager::isObjPresent(int ANumber) const {
    return Item(ANumber) != nullptr;
}

TManagedItem *TMapObjManager::Item(int ANumber) const {
    for (const auto &i : ManagedItems)
        if (i->number() == ANumber)
            return i.get();
    return nullptr;
}

TManagedItem *TMapObjManager::AddObject(int ANumber, const TDataRecord &Snapshot) {
    const int i = IndexOf(ANumber, true);
    if (i < 0)
        return nullptr;
    ManagedItems[static_cast<size_t>(i)]->SetCurrent(Snapshot);
    return ManagedItems[static_cast<size_t>(i)].get();
}

void TMapObjManager::Clear() {
    ManagedItems.clear();
    ActiveObjectIndex = -1;
}

void TMapObjManager::RemoveObject(int ANumber) {
    const int i = IndexOf(ANumber);
    if (i < 0)
        return;
    ManagedItems.erase(ManagedItems.begin() + i);
    if (ActiveObjectIndex == i)
        ActiveObjectIndex = -1;
    else if (ActiveObjectIndex > i)
        --ActiveObjectIndex;
}

void TMapObjManager::applyVisibility(TManagedItem &item, bool active) const {
    const int v = FVisualState;
    item.marker()->FisVisible = (v & AllMarkers) || ((v & ActiveMarker) && active);
    item.track()->FisVisible = (v & AllTracks) || ((v & ActiveTrack) && active);
    item.textLabel()->FisVisible = (v & AllLabels) || ((v & ActiveLabel) && active);
}

void TMapObjManager::SetVisualState(int Value) {
    FVisualState = Value;
    for (size_t i = 0; i < ManagedItems.size(); ++i)
        if (ManagedItems[i]->visible())
            applyVisibility(*ManagedItems[i], static_cast<int>(i) == ActiveObjectIndex);
}

void TMapObjManager::SetTrackType(int TrackType) {
    for (const auto &i : ManagedItems)
        i->track()->SetObjType(TrackType);
}

void TMapObjManager::setActiveLook(TManagedItem &item, bool active) {
    // The active object is drawn above the others.
    item.marker()->setWeight(active ? 501 : 500);
    item.textLabel()->setWeight(active ? 1001 : 1000);
    item.track()->setWeight(active ? 11 : 10);
    item.marker()->FColor = MarkerColour(item, active);
}

QColor TMapObjManager::MarkerColour(const TManagedItem &item, bool active) const {
    if (active)
        return FDefaultActiveMarkerColor;
    return item.FArchive ? FDefaultArchiveMarkerColor : FDefaultMarkerColor;
}

void TMapObjManager::SetColours(const QColor &marker, const QColor &track, const QColor &lostTrack,
                                const QColor &active, const QColor &archive) {
    FDefaultMarkerColor = marker;
    FDefaultTrackColor = track;
    FDefaultLostTrackColor = lostTrack;
    FDefaultActiveMarkerColor = active;
    FDefaultArchiveMarkerColor = archive;
    const int activeNumber = GetActiveObject();
    for (const auto &item : ManagedItems) {
        item->marker()->FColor = MarkerColour(*item, item->number() == activeNumber);
        item->track()->FColor = track;
        item->track()->FLostColor = lostTrack;
    }
}

void TMapObjManager::SetActiveObject(int ANumber) {
    if (ActiveObjectIndex >= 0 && ActiveObjectIndex < static_cast<int>(ManagedItems.size())) {
        TManagedItem &prev = *ManagedItems[static_cast<size_t>(ActiveObjectIndex)];
        setActiveLook(prev, false);
        if (prev.visible())
            applyVisibility(prev, false);
    }
    const int i = IndexOf(ANumber);
    if (i < 0)
        return; // the previous index stays recorded
    TManagedItem &item = *ManagedItems[static_cast<size_t>(i)];
    setActiveLook(item, true);
    const int v = FVisualState;
    item.marker()->FisVisible = v & (ActiveMarker | AllMarkers);
    item.track()->FisVisible = v & (ActiveTrack | AllTracks);
    item.textLabel()->FisVisible = v & (ActiveLabel | AllLabels);
    ActiveObjectIndex = i;
}

int TMapObjManager::GetActiveObject() const {
    if (ActiveObjectIndex < 0 || ActiveObjectIndex >= static_cast<int>(ManagedItems.size()))
        return -1;
    return ManagedItems[static_cast<size_t>(ActiveObjectIndex)]->number();
}

void TMapObjManager::ClearTracks() {
    for (const auto &i : ManagedItems)
        i->track()->Clear();
}

void TMapObjManager::SetAlarm(int ANumber, bool on) {
    if (TManagedItem *item = Item(ANumber)) {
        item->marker()->FAlarm = on;
        item->marker()->FAlarmLit = on && m_alarmLit;
    }
}

void TMapObjManager::SetAlarmLit(bool lit) {
    m_alarmLit = lit;
    for (const auto &item : ManagedItems)
        item->marker()->FAlarmLit = lit && item->marker()->FAlarm;
}

void TMapObjManager::DisconnectAll() {
    for (const auto &i : ManagedItems) {
        i->SetConnected(false);
        i->FArchive = true;
        i->setLastDisconnected(0);
    }
}

void TMapObjManager::AddRestPlace(const TGeoCoords &Coords) {
    if (!FMapPanel)
        return;
    TMapControlPoint *p = FMapPanel->CreateObject<TMapControlPoint>();
    p->SetObjType(TMapControlPoint::RestPlace);
    TPositionSnapshot s;
    s.Coords = Coords;
    p->SetPosition(s);
    MapRestPlaces.push_back(p);
}

void TMapObjManager::RemoveRestPlaces() {
    if (FMapPanel)
        for (TMapControlPoint *p : MapRestPlaces)
            FMapPanel->RemoveObject(p);
    MapRestPlaces.clear();
}

bool TMapObjManager::GetObjInCoords(const TMapCoords &MapCoords, int &ObjNum,
                                    TPositionSnapshot &Position, int IncludeObjFlag) const {
    ObjNum = -1;
    const long double zoom = FMapPanel ? FMapPanel->GetZoom() : 0;
    if (zoom <= 0)
        return false;
    const long double t = FObjPickTolerance / zoom;
    auto near = [&](const TMapCoords &c) {
        return PlaneDistance(c.X, c.Y, MapCoords.X, MapCoords.Y) < t;
    };
    for (const auto &item : ManagedItems) {
        if (!item->visible())
            continue;
        if ((IncludeObjFlag & (ActiveLabel | AllLabels)) && item->textLabel()->FisVisible &&
            near(item->textLabel()->FMapCoords)) {
            Position = item->textLabel()->GetPosition();
            ObjNum = item->number();
            return true;
        }
        if ((IncludeObjFlag & (ActiveMarker | AllMarkers)) && item->marker()->FisVisible &&
            near(item->marker()->FMapCoords)) {
            Position = item->marker()->GetPosition();
            ObjNum = item->number();
            return true;
        }
        const TTrack *tr = item->track();
        if ((IncludeObjFlag & (ActiveTrack | AllTracks)) && tr->FisVisible && tr->Count() > 0) {
            for (int k = 0; k < tr->Count(); ++k) {
                const TTrackPoint &p = tr->Point(k);
                if (near(p.MapCoords)) {
                    Position.TimeStamp = p.DateTime;
                    Position.Coords = p.GeoCoords;
                    Position.Status = p.Status;
                    Position.GPSLost = p.GPSLost;
                    ObjNum = item->number();
                    return true;
                }
            }
        }
    }
    return false;
}
