#include "session/WebMapPart.h"

#include "app/Folders.h"
#include "app/Options.h"
#include "db/GroupManager.h"
#include "maps/MapObjManager.h"
#include "webmap/UHTTPserverUnit.h"
#include "webmap/WebMapBridge.h"

TWebMapPart::TWebMapPart(TOptions &options, TDialogs &dialogs, TdmHTTPServer &server,
                         TWebMapBridge &bridge, TMapObjManager &items, QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs), m_server(server), m_bridge(bridge),
      m_items(items) {
    // What the page shows of the registry.
    m_bridge.managerExists = [this] { return m_registry != nullptr; };
    m_bridge.markers = [this] {
        QVector<TWebMapMarker> out;
        if (m_registry)
            for (const TControllableObject *o : m_registry->FObjects)
                out.push_back(TWebMapMarker{o->Lat, o->Lng, o->Number, o->ShortName, o->TS});
        return out;
    };
    m_bridge.sgTrackClick = [this] { emit trackRedrawRequested(); };
    m_bridge.resetTrackParts = [this] { emit trackCleared(); };
    connect(&m_bridge, &TWebMapBridge::mapReady, this, &TWebMapPart::pageReady);
}

TWebMapPart::~TWebMapPart() {
    m_bridge.managerExists = nullptr;
    m_bridge.markers = nullptr;
    m_bridge.sgTrackClick = nullptr;
    m_bridge.resetTrackParts = nullptr;
}

void TWebMapPart::setRegistry(TManager *registry) {
    m_registry = registry;
    if (registry) {
        m_bridge.CreateMarkersOnMap();
        m_bridge.ClearWebMapTrack();
    }
}

void TWebMapPart::startWebMap() {
    m_bridge.InternetIsOK = false;
    m_bridge.WebMapInited = false;
    m_server.DocumentRoot = WebServerDir();
    m_bridge.CurrentWebServerPort =
        StartLocalWebServer(m_server, m_options.WebServerPort, m_dialogs);
    m_bridge.UpdateWebMapListMenu(m_options.WebMapList);
    if (m_options.UseGoogleMap) {
        emit webViewRequested(true); // the browser is there before the page is asked for
        m_bridge.LoadWebMap(m_options.DefaultWebMap);
    }
}

void TWebMapPart::selectWebMap(int tag) {
    emit webViewRequested(true);
    m_bridge.miSelectInternetClick(tag);
}

void TWebMapPart::selectStaticMap() {
    emit webViewRequested(false);
}

void TWebMapPart::refreshWebMap() {
    m_bridge.tbRefreshWebMapClick();
}

void TWebMapPart::settingsAccepted() {
    if (m_options.UseGoogleMap && !m_bridge.WebMapInited)
        m_bridge.LoadWebMap(m_options.DefaultWebMap);
}

bool TWebMapPart::webMapShown() const {
    return m_options.UseGoogleMap;
}

void TWebMapPart::createMarkers() {
    m_bridge.CreateMarkersOnMap();
}

void TWebMapPart::markerAt(const TControllableObject &o) {
    m_bridge.MarkerAt(TWebMapMarker{o.Lat, o.Lng, o.Number, o.ShortName, o.TS});
}

TWebMapMarker TWebMapPart::marker(int number) const {
    TWebMapMarker m;
    m.Number = number;
    if (const TManagedItem *item = m_items.Item(number)) {
        m.Lat = item->current().FCoords.Latitude;
        m.Lng = item->current().FCoords.Longitude;
        m.TS = item->current().FTimeStamp;
    }
    if (const TControllableObject *o = m_registry ? m_registry->FindObject(number) : nullptr)
        m.ShortName = o->ShortName;
    return m;
}

bool TWebMapPart::showSelected(int number) {
    return m_bridge.ShowSelectedObject(marker(number));
}

void TWebMapPart::clearTrack() {
    m_bridge.ClearWebMapTrack();
}
