#include "webmap/WebMapBridge.h"

#include "app/Logging.h"
#include "tracks/CoordsUtils.h"
#include "webmap/WebMapList.h"
#include "webmap/WebMapScript.h"

#include <exception>

namespace {
const QString kSender = QStringLiteral("WEB");
// The position the page is centred on after every load.
constexpr double kInitLat = 51.690754;
constexpr double kInitLng = 39.269037;

// The page takes degrees; the program keeps minutes of arc.
TGeoCoords degreesOf(const TWebMapMarker &m) {
    return MinutesToDegrees(TGeoCoords{m.Lat, m.Lng});
}
} // namespace

int ValidWebMapIndex(const QVector<TWebMapPath> &list, int index) {
    return index < 0 || index >= list.size() ? 0 : index;
}

QUrl WebMapUrl(const QVector<TWebMapPath> &list, int index, int port) {
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("localhost"));
    url.setPort(port);
    if (list.isEmpty()) {
        url.setPath(QStringLiteral("/google.html"));
    } else {
        QString p = list[ValidWebMapIndex(list, index)].Path;
        p.replace(QLatin1Char('\\'), QLatin1Char('/'));
        url.setPath(QLatin1Char('/') + p);
    }
    return url;
}

TWebMapBridge::TWebMapBridge(TOptions &options, QObject *parent)
    : QObject(parent), m_options(options) {
    tmrWaitWebMap.setInterval(WaitInterval);
    connect(&tmrWaitWebMap, &QTimer::timeout, this, &TWebMapBridge::tmrWaitWebMapTimer);
}

void TWebMapBridge::InvokeScript(const QString &name, const QVariantList &args) {
    RunScript(webscript::call(name, args));
}

void TWebMapBridge::RunScript(const QString &callText) {
    if (!m_options.UseGoogleMap || !InternetIsOK || !m_browser || callText.isEmpty())
        return;
    m_browser->runJavaScript(callText);
}

void TWebMapBridge::LoadWebMap(int WebMapIndex) {
    // Without a running server there is no address: a URL without its port would ask port 80,
    // that is some other program, for the page.
    if (m_browser && CurrentWebServerPort > 0)
        m_browser->navigate(WebMapUrl(m_options.WebMapList, WebMapIndex, CurrentWebServerPort));
    WebMapInited = true;
}

void TWebMapBridge::UpdateWebMapListMenu(const QVector<TWebMapPath> &lst) {
    QStringList captions;
    for (const TWebMapPath &p : lst)
        captions << p.Name;
    emit webMapMenuChanged(captions);
    m_options.DefaultWebMap = RevalidatedDefaultWebMap(lst, m_options.DefaultWebMap);
}

void TWebMapBridge::miSelectInternetClick(int tag) {
    m_options.UseGoogleMap = true;
    m_options.DefaultWebMap = RevalidatedDefaultWebMap(m_options.WebMapList, tag - 1);
    LoadWebMap(m_options.DefaultWebMap);
}

void TWebMapBridge::tbRefreshWebMapClick() {
    if (!m_options.UseGoogleMap)
        return;
    if (m_browser)
        m_browser->setSilent(false);
    InternetIsOK = false;
    WebMapReady = false;
    WebMapInited = false;
    // Answers of polls on the old page mean nothing for the new one.
    ++m_serial;
    m_pollPending = false;
    LoadWebMap(m_options.DefaultWebMap);
}

void TWebMapBridge::MapBrowserDocumentComplete() {
    InternetIsOK = true;
    if (m_browser)
        m_browser->setSilent(m_options.WebMapSilent);
    RunScript(webscript::init(kInitLat, kInitLng));
    CurrentRepeat = 0;
    ++m_serial;
    m_pollPending = false;
    tmrWaitWebMap.start();
}

void TWebMapBridge::tmrWaitWebMapTimer() {
    // The browser answers asynchronously; a tick while the last probe is still out is skipped.
    if (m_pollPending)
        return;
    if (!m_browser) {
        readinessAnswer(m_serial, false);
        return;
    }
    m_pollPending = true;
    const quint64 serial = m_serial;
    QPointer<TWebMapBridge> self(this);
    m_browser->runJavaScript(webscript::readyCheck(), [self, serial](const QVariant &v) {
        if (self)
            self->readinessAnswer(serial, v);
    });
}

void TWebMapBridge::readinessAnswer(quint64 serial, const QVariant &value) {
    if (serial != m_serial)
        return;
    m_pollPending = false;
    // Anything but a Boolean true means "not yet": no answer at all comes from a page that is
    // still being replaced or has no script context yet.
    const bool ready = value.typeId() == QMetaType::Bool && value.toBool();
    try {
        if (ready) {
            CreateMarkersOnMap();
            if (sgTrackClick)
                sgTrackClick();
            WebMapReady = true;
            tmrWaitWebMap.stop();
            LogOperations(QStringLiteral("Карта загружена (") + QString::number(CurrentRepeat) +
                              QLatin1Char(')'),
                          kSender, 20);
            emit mapReady();
            return;
        }
        ++CurrentRepeat;
        if (CurrentRepeat > RepeatsPerLogLine - 1) {
            CurrentRepeat = 0;
            LogOperations(QStringLiteral("Не удалось проверить готовность карты! Ждем дальше... "),
                          kSender, 0);
        }
    } catch (const std::exception &e) {
        // The page stays not ready until it is reloaded.
        tmrWaitWebMap.stop();
        LogOperations(QStringLiteral("Не удалось проверить готовность карты: ") +
                          QString::fromStdString(e.what()),
                      kSender, 0);
    }
}

bool TWebMapBridge::ShowSelectedObject(const TWebMapMarker &m) {
    if (!m_options.UseGoogleMap || !WebMapReady)
        return false;
    const TGeoCoords d = degreesOf(m);
    const double lat = double(d.Latitude);
    const double lng = double(d.Longitude);
    if (lat * lng == 0)
        return false;
    RunScript(webscript::go_to(lat, lng));
    RunScript(
        webscript::marker_at(lat, lng, m.Number, m.ShortName, webscript::markerCaption(m.TS)));
    return true;
}

void TWebMapBridge::CreateMarkersOnMap() {
    RunScript(webscript::markers_clear());
    if (managerExists && !managerExists())
        return;
    if (!markers)
        return;
    for (const TWebMapMarker &m : markers()) {
        const TGeoCoords d = degreesOf(m);
        const double lat = double(d.Latitude);
        const double lng = double(d.Longitude);
        if (lat * lng == 0)
            continue;
        RunScript(
            webscript::marker_at(lat, lng, m.Number, m.ShortName, webscript::markerCaption(m.TS)));
    }
}

void TWebMapBridge::MarkerAt(const TWebMapMarker &m) {
    const TGeoCoords d = degreesOf(m);
    RunScript(webscript::marker_at(double(d.Latitude), double(d.Longitude), m.Number, m.ShortName,
                                   webscript::markerCaption(m.TS)));
}

void TWebMapBridge::ClearWebMapTrack() {
    if (resetTrackParts)
        resetTrackParts();
    RunScript(webscript::clear_park());
    if (removeRasterParks)
        removeRasterParks();
    RunScript(webscript::clear_track());
}

void TWebMapBridge::CleanupCurrentTrack() {
    RunScript(webscript::cleanup_current_track());
}
