#pragma once

// The session's web-map part: the local web-map server, the page chosen from the settings or
// the map-type menu, and the objects' markers on it. What the page shows of tracks comes from
// the track display through the same bridge.

#include <QColor>
#include <QObject>
#include <QSet>

struct TOptions;
class TDialogs;
class TControllableObject;
class TManager;
class TMapObjManager;
class TWebMapBridge;
class TdmHTTPServer;
struct TWebMapMarker;

class TWebMapPart : public QObject {
    Q_OBJECT
public:
    TWebMapPart(TOptions &options, TDialogs &dialogs, TdmHTTPServer &server, TWebMapBridge &bridge,
                TMapObjManager &items, QObject *parent = nullptr);
    ~TWebMapPart() override;

    // The page's side, for the embedded browser.
    TWebMapBridge &bridge() { return m_bridge; }
    void setRegistry(TManager *registry);

    // The local web-map server on the settings' port or the next free one; the chosen web map
    // is loaded when the settings use it.
    void startWebMap();
    // "Выбрать тип карты": a web map of the list (tag = index + 1), or the raster map.
    void selectWebMap(int tag);
    void selectStaticMap();
    // "Очистить Web-карту".
    void refreshWebMap();
    // The settings window's "OK": the web map is loaded when it was not requested yet.
    void settingsAccepted();
    bool webMapShown() const;

    // Every registered object's marker again (the registry or a label changed).
    void createMarkers();
    void markerAt(const TControllableObject &o);
    // The object's marker again in its colour (it became or stopped being the active one, or
    // its connection changed).
    void recolour(int number);
    // The tool buttons "+", "–" and "Все" while the web map is shown.
    void zoom(int steps);
    void showAll();
    // The grid's object: once the page is ready and its position known, centred and marked.
    bool showSelected(int number);
    // The loaded track, its rest places and the parts table go.
    void clearTrack();
    // An object's marker flashes (a fuel drain not yet confirmed) or stops; a page loaded
    // later is told again.
    void setAlarm(int number, bool on);

signals:
    // The web map (true) or the raster map is to be shown.
    void webViewRequested(bool web);
    // A page became ready and has the markers: the chosen object is shown on it again.
    void pageReady();
    // ... and the track chosen in the parts table.
    void trackRedrawRequested();
    // The page's track was cleared: the parts table and the raster map's rest places go too.
    void trackCleared();

private:
    TWebMapMarker marker(int number) const;
    QColor colourOf(int number) const;

    TOptions &m_options;
    TDialogs &m_dialogs;
    TdmHTTPServer &m_server;
    TWebMapBridge &m_bridge;
    TMapObjManager &m_items;
    TManager *m_registry = nullptr;
    QSet<int> m_alarms;
};
