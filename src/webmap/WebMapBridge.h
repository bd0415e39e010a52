#pragma once

#include "app/Options.h"
#include "webmap/WebMapList.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QVector>

#include <functional>

class TDialogs;

// What the bridge needs of the embedded browser. The widget implements it and reports its
// page-loaded event to TWebMapBridge::MapBrowserDocumentComplete and the page's script errors
// to TWebMapBridge::PageScriptError.
class TWebMapBrowser {
public:
    virtual ~TWebMapBrowser() = default;
    virtual void navigate(const QUrl &url) = 0;
    // The silent mode changed (the bridge itself decides which script errors are shown).
    virtual void setSilent(bool silent) {}
    // Runs a script in the current page. When done is set it is called later on the main
    // thread with the script's value, or an invalid QVariant when the page gave none.
    virtual void runJavaScript(const QString &script,
                               std::function<void(const QVariant &)> done = {}) = 0;
};

// One object's marker: position in minutes of arc (the page gets degrees), number, short name,
// time of its data, and its colour by the map's marker-colour rule (an invalid colour leaves
// the page's colour as it is).
struct TWebMapMarker {
    long double Lat = 0;
    long double Lng = 0;
    int Number = 0;
    QString ShortName;
    double TS = 0;
    QColor Colour = QColor();
};

// The index of the page to load: an index outside the list selects 0.
int ValidWebMapIndex(const QVector<TWebMapPath> &list, int index);
// The page's address on the local server: http://localhost:<port>/<Path>, "/google.html"
// with an empty list.
QUrl WebMapUrl(const QVector<TWebMapPath> &list, int index, int port);

// The main window's side of the web map, free of widgets: which page is loaded, whether it is
// ready, and the script calls. The readiness timer's handler is an ordinary method.
class TWebMapBridge : public QObject {
    Q_OBJECT
public:
    static constexpr int WaitInterval = 100;
    static constexpr int RepeatsPerLogLine = 100;

    // Script errors of the page are shown through dialogs (unless silent).
    TWebMapBridge(TOptions &options, TDialogs &dialogs, QObject *parent = nullptr);

    void setBrowser(TWebMapBrowser *browser) { m_browser = browser; }

    int CurrentWebServerPort = -1;
    bool InternetIsOK = false;
    bool WebMapInited = false;
    bool WebMapReady = false;
    int CurrentRepeat = 0;
    QTimer tmrWaitWebMap;

    // Calls a page function (arguments as in webscript::call). Dropped unless the web map is
    // in use and a page has loaded.
    void InvokeScript(const QString &name, const QVariantList &args = {});
    // The same for a ready-made call text (webscript::marker_at(...) and the like); an empty
    // text (a call with an unusable argument) is dropped.
    void RunScript(const QString &callText);

    void LoadWebMap(int WebMapIndex);
    // The map choice menu is rebuilt from lst (webMapMenuChanged); then DefaultWebMap is kept
    // while it is below lst's length, else 0.
    void UpdateWebMapListMenu(const QVector<TWebMapPath> &lst);
    // A web map chosen from the menu: its tag is the list index + 1. Sets UseGoogleMap and
    // DefaultWebMap and loads the page; the caller switches the views and applies the options.
    void miSelectInternetClick(int tag);
    void tbRefreshWebMapClick();
    void MapBrowserDocumentComplete();
    // One readiness poll (none while the web map is off). The answer arrives through the
    // browser's callback.
    void tmrWaitWebMapTimer();

    // An object chosen in the object grid (the caller checks the database connection): once the
    // page is ready and the position is known, centre on it and place its marker. True when
    // shown; the caller then makes it the active object.
    bool ShowSelectedObject(const TWebMapMarker &m);

    // "markers_clear", then "marker_at" for each of the objects (in the order given: the
    // manager's) whose position has latitude × longitude ≠ 0. Without a manager the caller
    // passes none, and only the old markers go.
    void CreateMarkersOnMap(const QVector<TWebMapMarker> &markers);
    // Places or moves one object's marker ("marker_at", the position in degrees).
    void MarkerAt(const TWebMapMarker &m);
    // The track state and the drawn track: trackCleared (the parts table and the raster rest
    // places are the session's), then "clear_park" and "clear_track".
    void ClearWebMapTrack();
    void CleanupCurrentTrack();
    // The tool buttons "+", "–" and "Все" while the web map is shown.
    void ZoomIn();
    void ZoomOut();
    void ShowAll();

    // A script error reported by the page (its message, the line and the script's address).
    // Always logged; shown once per error text while the browser is not silent.
    void PageScriptError(const QString &message, int line, const QString &source);
    // The browser's silent mode: WebMapSilent from each page load on, off while reloading.
    bool silent() const { return m_silent; }

signals:
    // The web maps of the choice menu, after its first item "Статическая карта": item i has
    // the caption captions[i] and the tag i + 1 (for miSelectInternetClick).
    void webMapMenuChanged(const QStringList &captions);
    // The page reported readiness (WebMapReady is set): the session places the markers
    // (CreateMarkersOnMap) and redraws the track chosen in the parts table. A slot that throws
    // ends the polling with its log line, and the page stays not ready.
    void mapReady();
    // ClearWebMapTrack began: the session empties its parts list and table and removes the
    // raster map's rest places.
    void trackCleared();

private:
    void readinessAnswer(quint64 serial, const QVariant &value);
    void setSilent(bool silent);
    void showScriptError(const QString &text);

    TOptions &m_options;
    TDialogs &m_dialogs;
    TWebMapBrowser *m_browser = nullptr;
    bool m_silent = false;
    QSet<QString> m_shownErrors; // each error text is shown once
    quint64 m_serial = 0;        // advances with every page load; stale answers are dropped
    bool m_pollPending = false;
    bool m_initPending = false; // the page loaded while the web map was off: no init yet
};
