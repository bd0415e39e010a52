#include "session/LiveObjects.h"

#include "app/Options.h"
#include "db/GroupManager.h"
#include "db/TrackImport.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "maps/MapPanel.h"
#include "session/MapInteraction.h"
#include "session/OnlineProcessor.h"
#include "session/ServerMessages.h"
#include "session/WebMapPart.h"

TLiveObjects::TLiveObjects(TOptions &options, TMapPanel &panel, TMapObjManager &items,
                           TWebMapPart &webMap, TServerController &server, TMapInteraction &map,
                           TSelection &selection, QObject *parent)
    : QObject(parent), m_options(options), m_panel(panel), m_items(items), m_webMap(webMap),
      m_server(server), m_map(map), m_selection(selection) {
    m_items.SetVisualState(TMapObjManager::AllMarkers | TMapObjManager::ActiveTrack);
    applyColours();
}

void TLiveObjects::setRegistry(TManager *registry) {
    m_registry = registry;
    if (!registry)
        return;
    m_map.removePickedLabel();
    m_items.Clear();
    for (const TControllableObject *o : registry->FObjects)
        registerObject(*o);
    m_panel.Repaint();
}

void TLiveObjects::registerObject(const TControllableObject &o) {
    if (TManagedItem *item = m_items.Item(o.Number)) {
        item->description().Name = o.Name;
        return;
    }
    // Loaded from the registry: stored data until the server says otherwise. The item starts
    // with an empty track.
    TDataRecord r;
    r.FTimeStamp = o.TS;
    r.FCoords = TGeoCoords{o.Lat, o.Lng};
    r.Status = 1;
    if (TManagedItem *item = m_items.AddObject(o.Number, r)) {
        item->track()->Clear();
        item->FArchive = true;
        item->marker()->FColor = m_items.MarkerColour(*item, false);
        item->description().Name = o.Name;
    }
}

void TLiveObjects::removeObject(int number) {
    m_items.RemoveObject(number);
}

void TLiveObjects::applyColours() {
    const auto fromBgr = [](int c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); };
    m_items.SetColours(fromBgr(m_options.MarkerColor), fromBgr(m_options.TrackColor),
                       fromBgr(m_options.LostTrackColor), fromBgr(m_options.ActiveMarkerColor),
                       fromBgr(m_options.ArchiveMarkerColor));
}

void TLiveObjects::selectObject(int number, int row) {
    m_selection.number = number;
    m_selection.row = row;
    if (m_registry)
        m_registry->setSelectedRow(row);
    m_server.EnDisControlOuts(number);
    emit gaugesChanged();
    if (!m_registry || !m_registry->isConnected())
        return;
    m_items.SetVisualState(m_items.visualState() & ~TMapObjManager::ActiveLabel);
    const int before = m_items.GetActiveObject();
    // Another object: the shown track and its table go, the program returns to on-line mode.
    if (number != before)
        emit activeObjectChanging(number);
    if (m_options.UseGoogleMap) {
        // The web map centres on the object and places its marker once it is ready; the one
        // before takes its usual colour again.
        if (m_webMap.showSelected(number)) {
            m_items.SetActiveObject(number);
            if (before != number)
                m_webMap.recolour(before);
        }
        return;
    }
    if (number != m_items.GetActiveObject())
        if (TManagedItem *i = m_items.Item(number))
            i->track()->Clear();
    m_items.SetActiveObject(number);
    m_map.followActive(true);
    m_panel.Repaint();
}

void TLiveObjects::reselect() {
    if (m_selection.number > 0)
        selectObject(m_selection.number, m_selection.row);
}

std::optional<TGaugeValues> TLiveObjects::gauges() const {
    if (!m_registry || m_selection.row < 1)
        return std::nullopt;
    return m_registry->gaugesFor(m_selection.row);
}

bool TLiveObjects::selectedOnLine() const {
    const TControllableObject *o =
        m_registry && m_selection.number > 0 ? m_registry->FindObject(m_selection.number) : nullptr;
    return o && o->Connected;
}

void TLiveObjects::onConnectionNews(int number, TConnectionNews news) {
    TManagedItem *item = m_items.Item(number);
    if (!item)
        return;
    // Connected objects show live data, disconnected ones stored data.
    item->SetConnected(news != TConnectionNews::Disconnected);
    item->FArchive = news == TConnectionNews::Disconnected;
    item->marker()->FColor = m_items.MarkerColour(*item, number == m_items.GetActiveObject());
    m_webMap.recolour(number);
}

void TLiveObjects::onAllObjectsDisconnected() {
    m_items.DisconnectAll();
}

void TLiveObjects::onPacketsApplied(const std::vector<TAppliedPacket> &applied) {
    for (const TAppliedPacket &a : applied) {
        if (!a.updating || !a.object)
            continue;
        const TControllableObject &o = *a.object;
        // The item's current record takes the object's position.
        if (TManagedItem *item = m_items.Item(o.Number))
            item->MoveCurrent(TGeoCoords{o.Lat, o.Lng}, o.TS);
        m_webMap.markerAt(o);
        if (!m_selection.archiveView && o.Number == m_items.GetActiveObject())
            m_map.followActive(false);
    }
    m_panel.RepaintLive();
    emit gaugesChanged();
}

void TLiveObjects::onFileImported(const TFileImportResult &r) {
    if (!r.positionUpdated)
        return;
    // The map item's current record follows the registered object.
    if (TManagedItem *item = m_items.Item(r.number))
        item->MoveCurrent(r.position, r.time);
}
