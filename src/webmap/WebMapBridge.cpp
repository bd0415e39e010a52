#include "webmap/WebMapBridge.h"

#include "app/Dialogs.h"
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

QString markerScript(double lat, double lng, const TWebMapMarker &m) {
    return webscript::marker_at(lat, lng, m.Number, m.ShortName, webscript::markerCaption(m.TS),
                                webscript::colourText(m.Colour));
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

TWebMapBridge::TWebMapBridge(TOptions &options, TDialogs &dialogs, QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs) {
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

void TWebMapBridge::setSilent(bool silent) {
    m_silent = silent;
    if (m_browser)
        m_browser->setSilent(silent);
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
    setSilent(false);
    InternetIsOK = false;
    WebMapReady = false;
    WebMapInited = false;
    // Answers of polls on the old page mean nothing for the new one.
    ++m_serial;
    m_pollPending = false;
    m_initPending = false;
    LoadWebMap(m_options.DefaultWebMap);
}

void TWebMapBridge::MapBrowserDocumentComplete() {
    InternetIsOK = true;
    setSilent(m_options.WebMapSilent);
    // A page loaded while the raster map is shown gets its init when the web map is back.
    m_initPending = !m_options.UseGoogleMap;
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
    // Nothing of the page is called while the web map is not in use; polling waits.
    if (!m_options.UseGoogleMap)
        return;
    if (m_initPending) {
        m_initPending = false;
        RunScript(webscript::init(kInitLat, kInitLng));
    }
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
    if (!ready) {
        ++CurrentRepeat;
        if (CurrentRepeat > RepeatsPerLogLine - 1) {
            CurrentRepeat = 0;
            LogOperations(QStringLiteral("Не удалось проверить готовность карты! Ждем дальше... "),
                          kSender, 0);
        }
        return;
    }
    // The session places the markers and redraws the chosen track on mapReady; it needs the
    // page ready for that. Should it fail, the page stays not ready until it is reloaded.
    WebMapReady = true;
    tmrWaitWebMap.stop();
    try {
        emit mapReady();
    } catch (const std::exception &e) {
        WebMapReady = false;
        LogOperations(QStringLiteral("Не удалось проверить готовность карты: ") +
                          QString::fromStdString(e.what()),
                      kSender, 0);
        return;
    }
    LogOperations(QStringLiteral("Карта загружена (") + QString::number(CurrentRepeat) +
                      QLatin1Char(')'),
                  kSender, 20);
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
    RunScript(markerScript(lat, lng, m));
    return true;
}

void TWebMapBridge::CreateMarkersOnMap(const QVector<TWebMapMarker> &markers) {
    RunScript(webscript::markers_clear());
    for (const TWebMapMarker &m : markers) {
        const TGeoCoords d = degreesOf(m);
        const double lat = double(d.Latitude);
        const double lng = double(d.Longitude);
        if (lat * lng == 0)
            continue;
        RunScript(markerScript(lat, lng, m));
    }
}

void TWebMapBridge::MarkerAt(const TWebMapMarker &m) {
    const TGeoCoords d = degreesOf(m);
    RunScript(markerScript(double(d.Latitude), double(d.Longitude), m));
}

void TWebMapBridge::ClearWebMapTrack() {
    emit trackCleared();
    RunScript(webscript::clear_park());
    RunScript(webscript::clear_track());
}

void TWebMapBridge::CleanupCurrentTrack() {
    RunScript(webscript::cleanup_current_track());
}

void TWebMapBridge::ZoomIn() {
    RunScript(webscript::zoom_in());
}

void TWebMapBridge::ZoomOut() {
    RunScript(webscript::zoom_out());
}

void TWebMapBridge::ShowAll() {
    RunScript(webscript::fit_all());
}

void TWebMapBridge::PageScriptError(const QString &message, int line, const QString &source) {
    LogOperations(QStringLiteral("Ошибка сценария Web-карты: ") + message +
                      QStringLiteral(" (строка ") + QString::number(line) + QStringLiteral(", ") +
                      source + QLatin1Char(')'),
                  kSender, 0);
    if (m_silent)
        return;
    const QString text = QStringLiteral("Ошибка сценария Web-карты: ") + message +
                         QStringLiteral("\r\nСтрока: ") + QString::number(line) +
                         QStringLiteral("\r\nСтраница: ") + source;
    if (m_shownErrors.contains(text))
        return;
    m_shownErrors.insert(text);
    // The browser reports from inside its own dispatch: the box waits for the event loop.
    QMetaObject::invokeMethod(
        this, [this, text] { showScriptError(text); }, Qt::QueuedConnection);
}

void TWebMapBridge::showScriptError(const QString &text) {
    m_dialogs.message(text, QStringLiteral("Web-карта"), TMsgIcon::Error);
}
