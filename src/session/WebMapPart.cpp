#include "session/WebMapPart.h"

#include "app/Folders.h"
#include "app/Options.h"
#include "db/GroupManager.h"
#include "maps/MapObjManager.h"
#include "webmap/UHTTPserverUnit.h"
#include "webmap/WebMapBridge.h"
#include "webmap/WebMapScript.h"

#include <cstdlib>

TWebMapPart::TWebMapPart(TOptions &options, TDialogs &dialogs, TdmHTTPServer &server,
                         TWebMapBridge &bridge, TMapObjManager &items, QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs), m_server(server), m_bridge(bridge),
      m_items(items) {
    // A ready page gets the markers and the track chosen in the parts table; an error there
    // ends the bridge's polling with its log line.
    connect(&m_bridge, &TWebMapBridge::mapReady, this, [this] {
        createMarkers();
        for (int number : std::as_const(m_alarms))
            m_bridge.RunScript(webscript::marker_alarm(number, true));
        emit trackRedrawRequested();
        emit pageReady();
    });
    connect(&m_bridge, &TWebMapBridge::trackCleared, this, &TWebMapPart::trackCleared);
}

TWebMapPart::~TWebMapPart() = default;

void TWebMapPart::setRegistry(TManager *registry) {
    m_registry = registry;
    if (registry) {
        createMarkers();
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

QColor TWebMapPart::colourOf(int number) const {
    // The raster map's one colour rule: the active object, then live or stored data.
    const TManagedItem *item = m_items.Item(number);
    return item ? m_items.MarkerColour(*item, number == m_items.GetActiveObject()) : QColor();
}

void TWebMapPart::createMarkers() {
    QVector<TWebMapMarker> markers;
    if (m_registry)
        for (const TControllableObject *o : m_registry->FObjects)
            markers.push_back(
                TWebMapMarker{o->Lat, o->Lng, o->Number, o->ShortName, o->TS, colourOf(o->Number)});
    m_bridge.CreateMarkersOnMap(markers);
}

void TWebMapPart::markerAt(const TControllableObject &o) {
    m_bridge.MarkerAt(TWebMapMarker{o.Lat, o.Lng, o.Number, o.ShortName, o.TS, colourOf(o.Number)});
}

void TWebMapPart::recolour(int number) {
    if (const TControllableObject *o = m_registry ? m_registry->FindObject(number) : nullptr)
        if (o->Lat * o->Lng != 0)
            markerAt(*o);
}

void TWebMapPart::zoom(int steps) {
    for (int i = 0; i < std::abs(steps); ++i)
        steps > 0 ? m_bridge.ZoomIn() : m_bridge.ZoomOut();
}

void TWebMapPart::showAll() {
    m_bridge.ShowAll();
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
    m.Colour = colourOf(number);
    return m;
}

bool TWebMapPart::showSelected(int number) {
    return m_bridge.ShowSelectedObject(marker(number));
}

void TWebMapPart::clearTrack() {
    m_bridge.ClearWebMapTrack();
}

void TWebMapPart::setAlarm(int number, bool on) {
    if (on)
        m_alarms.insert(number);
    else
        m_alarms.remove(number);
    m_bridge.RunScript(webscript::marker_alarm(number, on));
}
