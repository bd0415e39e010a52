#pragma once

#include "app/Options.h"
#include "webmap/WebMapList.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QVector>

#include <functional>

// What the bridge needs of the embedded browser. The widget implements it and reports its
// page-loaded event to TWebMapBridge::MapBrowserDocumentComplete.
class TWebMapBrowser {
public:
    virtual ~TWebMapBrowser() = default;
    virtual void navigate(const QUrl &url) = 0;
    // Suppresses (true) or allows the browser's script-error messages.
    virtual void setSilent(bool silent) = 0;
    // Runs a script in the current page. When done is set it is called later on the main
    // thread with the script's value, or an invalid QVariant when the page gave none.
    virtual void runJavaScript(const QString &script,
                               std::function<void(const QVariant &)> done = {}) = 0;
};

// One object's marker: position in minutes of arc (the page gets degrees), number, short name,
// time of its data.
struct TWebMapMarker {
    long double Lat = 0;
    long double Lng = 0;
    int Number = 0;
    QString ShortName;
    double TS = 0;
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

    explicit TWebMapBridge(TOptions &options, QObject *parent = nullptr);

    void setBrowser(TWebMapBrowser *browser) { m_browser = browser; }

    int CurrentWebServerPort = -1;
    bool InternetIsOK = false;
    bool WebMapInited = false;
    bool WebMapReady = false;
    int CurrentRepeat = 0;
    QTimer tmrWaitWebMap;

    // Hooks into the other subsystems; unset ones do nothing.
    std::function<bool()> managerExists;             // the object manager is there
    std::function<QVector<TWebMapMarker>()> markers; // all objects in manager order
    std::function<void()> sgTrackClick;              // redraws the track chosen in the parts table
    std::function<void()> resetTrackParts;           // empties the parts list, resets its table
    std::function<void()> removeRasterParks;         // the raster map's rest places

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
    // One readiness poll. The answer arrives through the browser's callback.
    void tmrWaitWebMapTimer();

    // An object chosen in the object grid (the caller checks the database connection): once the
    // page is ready and the position is known, centre on it and place its marker. True when
    // shown; the caller then makes it the active object.
    bool ShowSelectedObject(const TWebMapMarker &m);

    void CreateMarkersOnMap();
    // Places or moves one object's marker ("marker_at", the position in degrees).
    void MarkerAt(const TWebMapMarker &m);
    void ClearWebMapTrack();
    void CleanupCurrentTrack();

signals:
    // The web maps of the choice menu, after its first item "Статическая карта": item i has
    // the caption captions[i] and the tag i + 1 (for miSelectInternetClick).
    void webMapMenuChanged(const QStringList &captions);
    // The page reported readiness and has its markers.
    void mapReady();

private:
    void readinessAnswer(quint64 serial, const QVariant &value);

    TOptions &m_options;
    TWebMapBrowser *m_browser = nullptr;
    quint64 m_serial = 0; // advances with every page load; stale answers are dropped
    bool m_pollPending = false;
};
