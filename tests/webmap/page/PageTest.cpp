// The web map in the real browser engine (offscreen), driven through the bridge and the local
// server as the program does it: a recording page receives exactly the calls the program makes;
// the shipped pages load without a network and draw what they are given. With
// ZARNEX_SCREENSHOT_DIR set, the web view with objects, tracks and a rest place is saved there.
#include "app/DateUtils.h"
#include "app/Folders.h"
#include "app/Logging.h"
#include "common/ScriptedDialogs.h"
#include "ui/WebMapView.h"
#include "webmap/UHTTPserverUnit.h"
#include "webmap/WebMapBridge.h"
#include "webmap/WebMapScript.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include <unistd.h>

namespace {

// 55°45'7"40 N, 37°23'34"07 E in minutes of arc and in the degrees the page must get.
constexpr long double kLatMin = 3345.1234L, kLngMin = 2243.5678L;
constexpr double kLatDeg = 55.752055555555556, kLngDeg = 37.392797222222222;

// The engine's sandbox refuses to run as root (test machines); set before any engine starts.
const bool kSandboxOff = [] {
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    return true;
}();

// Runs the event loop until cond holds or the time is up.
bool waitFor(const std::function<bool()> &cond, int ms = 30000) {
    QDeadlineTimer deadline(ms);
    while (!cond() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return cond();
}

// A page that records every call with the type and value of each argument. RECMapReady
// answers false falseAnswers times, then true; boom() fails on its line 4.
const char *const kRecordJs = R"(window.calls = []; window.readyAsked = 0;
window.RECMapReady = function () { return ++window.readyAsked > (window.falseAnswers || 0); };
window.boom = function () {
  return null.x;
};
['init', 'markers_clear', 'marker_at', 'go_to', 'clear_track', 'clear_park', 'begin_track',
 'end_track', 'put_point_ex', 'put_point', 'add_park', 'append_track_ex', 'append_track',
 'cleanup_current_track', 'zoom_in', 'zoom_out', 'fit_all'].forEach(function (n) {
  window[n] = function () {
    window.calls.push([n].concat(Array.prototype.map.call(arguments, function (a) {
      return [typeof a, a];
    })));
  };
});
)";

void writeFile(const QString &path, const QByteArray &data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// One web view on one served folder, with the bridge as the session has it.
class TWebMapHarness {
public:
    explicit TWebMapHarness(const QString &webServerDir, QVector<TWebMapPath> pages) {
        TFolders f;
        f.AppDir = QStringLiteral(ZARNEX_BIN_DIR "/");
        f.WebServerDir = webServerDir;
        SetFolders(f);
        log = std::make_shared<TOperationsLog>(tmp.filePath(QStringLiteral("log.txt")));
        InstallOperationsLog(log);
        options.UseGoogleMap = true;
        options.WebMapList = std::move(pages);
        options.DefaultWebMap = 0;
        bridge.CurrentWebServerPort =
            StartLocalWebServer(server, 30000 + int(getpid() % 20000), dialogs);
        view.resize(960, 640);
        view.show();
        QObject::connect(&view, &QWebEngineView::loadFinished, [this](bool ok) {
            loaded = ok;
            ++loads;
        });
    }
    ~TWebMapHarness() {
        server.StopServer();
        InstallOperationsLog(nullptr);
    }

    bool serverUp() const { return bridge.CurrentWebServerPort > 0; }

    // Loads page index and waits until it is ready (the bridge's own polling).
    bool loadReady(int index) {
        bridge.LoadWebMap(index);
        return waitFor([&] { return bridge.WebMapReady; });
    }

    QVariant eval(const QString &script) {
        std::optional<QVariant> result;
        view.page()->runJavaScript(script, [&](const QVariant &v) { result = v; });
        waitFor([&] { return result.has_value(); }, 10000);
        return result.value_or(QVariant());
    }
    QJsonValue evalJson(const QString &expression) {
        const QString text =
            eval(QStringLiteral("JSON.stringify(") + expression + QLatin1Char(')')).toString();
        return QJsonDocument::fromJson("[" + text.toUtf8() + "]").array().at(0);
    }
    // The operations log's WEB lines without their time stamps.
    QStringList webLog() {
        QStringList out;
        for (const QString &l : log->takeQueued())
            if (l.contains(QLatin1String("WEB:: ")))
                out << l.mid(l.indexOf(QLatin1String(" (")) + 1);
        return out;
    }

    QTemporaryDir tmp;
    std::shared_ptr<TOperationsLog> log;
    TdmHTTPServer server;
    TScriptedDialogs dialogs;
    TOptions options;
    TWebMapBridge bridge{options, dialogs};
    TWebMapView view{bridge};
    bool loaded = false;
    int loads = 0;
};

// ---- the recording page

class WebMapRecordingPage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        writeFile(dir.filePath(QStringLiteral("record.js")), kRecordJs);
        const QByteArray page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                                "<script src=\"record.js\"></script></head><body></body></html>";
        writeFile(dir.filePath(QStringLiteral("record.html")), page);
        QByteArray slow = page;
        slow.replace("<script src", "<script>window.falseAnswers = 250;</script><script src");
        writeFile(dir.filePath(QStringLiteral("slow.html")), slow);
        h = std::make_unique<TWebMapHarness>(
            dir.path() + QLatin1Char('/'),
            QVector<TWebMapPath>{{QStringLiteral("Запись"), QStringLiteral("record.html")},
                                 {QStringLiteral("Медленная"), QStringLiteral("slow.html")}});
        ASSERT_TRUE(h->serverUp());
    }
    void TearDown() override { h.reset(); }

    QJsonArray calls() { return h->evalJson(QStringLiteral("window.calls")).toArray(); }

    QTemporaryDir dir;
    std::unique_ptr<TWebMapHarness> h;
};

// One expected call: the name, then each argument as [type, value].
QJsonArray call(const char *name, std::initializer_list<QJsonValue> args = {}) {
    QJsonArray c{QString::fromLatin1(name)};
    for (const QJsonValue &a : args)
        c.append(QJsonArray{a.isDouble() ? QStringLiteral("number") : QStringLiteral("string"), a});
    return c;
}
QJsonValue str(const QString &s) {
    return QJsonValue(s);
}

TEST_F(WebMapRecordingPage, TheProgramsCallsArriveExactlyWithTheirArguments) {
    const QString name5 = QStringLiteral("Тепловоз \"5\" <b>\\ 2-я\nсекция");
    const TDateTime t0 = dt::encode(2024, 3, 7, 9, 5, 1, 0);
    const TWebMapMarker a{kLatMin, kLngMin, 5, name5, t0, QColor(0, 0, 255)};
    const TWebMapMarker noFix{0, 39 * 60, 6, QStringLiteral("ТЭМ2"), t0};
    const QString red = QStringLiteral("#ff0000"), blue = QStringLiteral("#0000ff");

    // Before the page has loaded, nothing reaches it.
    h->bridge.CreateMarkersOnMap({a, noFix});
    h->bridge.ClearWebMapTrack();
    ASSERT_TRUE(h->loadReady(0));
    // Readiness: the session places the markers (its parts table is empty: no track redraw).
    h->bridge.CreateMarkersOnMap({a, noFix});

    // The database is connected: markers again, the track state cleared.
    h->bridge.CreateMarkersOnMap({a, noFix});
    h->bridge.ClearWebMapTrack();

    // Object 5 chosen in the grid: centred, its marker in the active colour.
    TWebMapMarker active = a;
    active.Colour = QColor(255, 0, 0);
    ASSERT_TRUE(h->bridge.ShowSelectedObject(active));

    // Two packets of the active object: one with a position, one without.
    const TDateTime t1 = t0 + 10.0 / 86400;
    h->bridge.CleanupCurrentTrack();
    h->bridge.RunScript(webscript::append_track_ex(55.76, 37.4, QStringLiteral("5"),
                                                   dt::formatDateTime("dd.mm.yy hh:nn:ss", t1),
                                                   webscript::speedText(41.6)));
    h->bridge.MarkerAt({55.76L * 60, 37.4L * 60, 5, name5, t1, QColor(255, 0, 0)});
    h->bridge.CleanupCurrentTrack();
    h->bridge.MarkerAt({55.76L * 60, 37.4L * 60, 5, name5, t1 + 1.0 / 86400, QColor(255, 0, 0)});

    // A loaded track: movement, a stop, movement; then the row "Весь" of the parts table.
    const QString park =
        QStringLiteral("Объект: 5<br>Начало: 07.03.24 09:10:00<br>Окончание: 07.03.24 09:20:00<br>"
                       "Длительность: 0:10:00<br>");
    h->bridge.RunScript(webscript::clear_track());
    h->bridge.RunScript(webscript::clear_park());
    for (int pass = 0; pass < 2; ++pass) {
        h->bridge.RunScript(webscript::clear_track());
        h->bridge.RunScript(webscript::clear_park());
        h->bridge.RunScript(webscript::begin_track());
        h->bridge.RunScript(webscript::put_point_ex(55.7, 37.3, QStringLiteral("5"),
                                                    QStringLiteral("07.03.24 09:05:11"),
                                                    webscript::speedText(30)));
        h->bridge.RunScript(webscript::add_park(55.71, 37.31, park));
        h->bridge.RunScript(webscript::put_point(55.71, 37.31));
        h->bridge.RunScript(webscript::put_point_ex(55.72, 37.32, QStringLiteral("5"),
                                                    QStringLiteral("07.03.24 09:20:10"),
                                                    webscript::speedText(52.5)));
        h->bridge.RunScript(webscript::end_track());
    }
    h->bridge.RunScript(webscript::go_to(55.7, 37.3));

    // The demonstration object: its first record starts the live track, the second extends it;
    // each tick moves its marker twice (the redraw and the tick itself).
    const TDateTime td = dt::encode(2024, 3, 7, 10, 0, 0, 0);
    h->bridge.RunScript(webscript::append_track(51.5, 39.2));
    h->bridge.MarkerAt({51.5L * 60, 39.2L * 60, 1000, QStringLiteral("Демо"), td});
    h->bridge.RunScript(webscript::append_track_ex(51.501, 39.2, QStringLiteral("1000"),
                                                   QStringLiteral("07.03.24 10:00:02"),
                                                   webscript::speedText(55.6)));

    // Deleting object 5 (not active): the markers again; then 1000, the active one: the markers
    // and the track cleared.
    h->bridge.CreateMarkersOnMap({noFix, {51.501L * 60, 39.2L * 60, 1000, QString(), td}});
    h->bridge.CreateMarkersOnMap({noFix});
    h->bridge.ClearWebMapTrack();

    const QString caption0 = QStringLiteral("Данные от: 07.03.24 09:05:01");
    const QString caption1 = QStringLiteral("Данные от: 07.03.24 09:05:11");
    const QJsonArray marker5 = call("marker_at", {kLatDeg, kLngDeg, 5, name5, caption0, blue});
    const QJsonArray loaded[] = {
        call("clear_track"),
        call("clear_park"),
        call("begin_track"),
        call("put_point_ex", {55.7, 37.3, str("5"), str("07.03.24 09:05:11"), str("30 км/ч")}),
        call("add_park", {55.71, 37.31, park}),
        call("put_point", {55.71, 37.31}),
        call("put_point_ex", {55.72, 37.32, str("5"), str("07.03.24 09:20:10"), str("53 км/ч")}),
        call("end_track")};
    QJsonArray expected{
        call("init", {51.690754, 39.269037}),
        call("markers_clear"),
        marker5,
        call("markers_clear"),
        marker5,
        call("clear_park"),
        call("clear_track"),
        call("go_to", {kLatDeg, kLngDeg}),
        call("marker_at", {kLatDeg, kLngDeg, 5, name5, caption0, red}),
        call("cleanup_current_track"),
        call("append_track_ex", {55.76, 37.4, str("5"), str("07.03.24 09:05:11"), str("42 км/ч")}),
        call("marker_at", {55.76, 37.4, 5, name5, caption1, red}),
        call("cleanup_current_track"),
        call("marker_at", {55.76, 37.4, 5, name5, str("Данные от: 07.03.24 09:05:12"), red})};
    expected.append(call("clear_track"));
    expected.append(call("clear_park"));
    for (int pass = 0; pass < 2; ++pass)
        for (const QJsonArray &c : loaded)
            expected.append(c);
    for (const QJsonArray &c :
         {call("go_to", {55.7, 37.3}), call("append_track", {51.5, 39.2}),
          call("marker_at", {51.5, 39.2, 1000, str("Демо"), str("Данные от: 07.03.24 10:00:00")}),
          call("append_track_ex",
               {51.501, 39.2, str("1000"), str("07.03.24 10:00:02"), str("56 км/ч")}),
          call("markers_clear"),
          call("marker_at", {51.501, 39.2, 1000, str(""), str("Данные от: 07.03.24 10:00:00")}),
          call("markers_clear"), call("clear_park"), call("clear_track")})
        expected.append(c);

    const QJsonArray got = calls();
    ASSERT_EQ(got.size(), expected.size()) << QJsonDocument(got).toJson().toStdString();
    for (int i = 0; i < got.size(); ++i)
        EXPECT_EQ(got.at(i), expected.at(i))
            << "call " << i << ": " << QJsonDocument(got.at(i).toArray()).toJson().toStdString();
    // The page was asked once whether it is ready, after init.
    EXPECT_EQ(h->eval(QStringLiteral("window.readyAsked")).toInt(), 1);
    EXPECT_TRUE(h->dialogs.calls.empty());
}

TEST_F(WebMapRecordingPage, NothingIsCalledWhileTheWebMapIsOff) {
    h->options.UseGoogleMap = false;
    h->bridge.LoadWebMap(0);
    ASSERT_TRUE(waitFor([&] { return h->loads == 1; }));
    const TWebMapMarker a{kLatMin, kLngMin, 5, QStringLiteral("a"), 0};
    // Whatever the program does meanwhile, including the readiness ticks.
    for (int i = 0; i < 3; ++i)
        h->bridge.tmrWaitWebMapTimer();
    h->bridge.CreateMarkersOnMap({a});
    h->bridge.ClearWebMapTrack();
    h->bridge.MarkerAt(a);
    h->bridge.CleanupCurrentTrack();
    h->bridge.ZoomIn();
    h->bridge.ShowAll();
    h->bridge.InvokeScript(QStringLiteral("boom"));
    EXPECT_FALSE(h->bridge.ShowSelectedObject(a));
    h->bridge.tbRefreshWebMapClick();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls(), QJsonArray());
    EXPECT_EQ(h->eval(QStringLiteral("window.readyAsked")).toInt(), 0);
    EXPECT_FALSE(h->bridge.WebMapReady);
    EXPECT_TRUE(h->dialogs.calls.empty());
}

TEST_F(WebMapRecordingPage, ReadinessAfter250FalseAnswersLogsTwiceThenLoadedWith50) {
    h->bridge.LoadWebMap(1);
    // The polls are driven here, not by the 100 ms timer: 251 of them would take 25 s.
    ASSERT_TRUE(waitFor([&] { return h->loads == 1; }));
    h->bridge.tmrWaitWebMap.stop();
    for (int i = 0; i < 251 && !h->bridge.WebMapReady; ++i) {
        const int before = h->bridge.CurrentRepeat;
        h->bridge.tmrWaitWebMapTimer();
        ASSERT_TRUE(waitFor([&] {
            return h->bridge.WebMapReady || h->bridge.CurrentRepeat != before;
        })) << "poll "
            << i;
    }
    EXPECT_TRUE(h->bridge.WebMapReady);
    EXPECT_EQ(h->eval(QStringLiteral("window.readyAsked")).toInt(), 251);
    EXPECT_EQ(
        h->webLog(),
        (QStringList{
            QStringLiteral("(0) WEB:: Не удалось проверить готовность карты! Ждем дальше... "),
            QStringLiteral("(0) WEB:: Не удалось проверить готовность карты! Ждем дальше... "),
            QStringLiteral("(20) WEB:: Карта загружена (50)")}));
}

TEST_F(WebMapRecordingPage, AScriptErrorIsShownOnceOrOnlyLoggedAsSilentModeSays) {
    for (const bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent" : "not silent");
        h->dialogs.calls.clear();
        h->webLog();
        h->options.WebMapSilent = silent;
        h->bridge.tbRefreshWebMapClick();
        ASSERT_TRUE(waitFor([&] { return h->bridge.WebMapReady; }));
        h->webLog();
        h->bridge.InvokeScript(QStringLiteral("boom"));
        h->bridge.InvokeScript(QStringLiteral("boom"));
        h->bridge.InvokeScript(QStringLiteral("markers_clear")); // later calls still run
        QStringList logged;
        ASSERT_TRUE(waitFor([&] {
            logged += h->webLog();
            return logged.size() >= 2 && calls().size() == 2 &&
                   (silent || !h->dialogs.calls.empty());
        }));
        waitFor([] { return false; }, 300); // a second box would have come by now
        const QString url =
            QStringLiteral("http://localhost:%1/record.js").arg(h->bridge.CurrentWebServerPort);
        const QString error =
            QStringLiteral("Uncaught TypeError: Cannot read properties of null (reading 'x')");
        logged += h->webLog();
        ASSERT_EQ(logged.size(), 2);
        EXPECT_EQ(logged.at(0), QStringLiteral("(0) WEB:: Ошибка сценария Web-карты: ") + error +
                                    QStringLiteral(" (строка 4, ") + url + QLatin1Char(')'));
        if (silent) {
            EXPECT_TRUE(h->dialogs.calls.empty());
        } else {
            EXPECT_EQ(h->dialogs.messages(),
                      QStringList{QStringLiteral("Ошибка сценария Web-карты: ") + error +
                                  QStringLiteral("\r\nСтрока: 4\r\nСтраница: ") + url});
        }
    }
}

// ---- the shipped pages, from the program folder, with Leaflet beside them

class WebMapShippedPage : public ::testing::TestWithParam<const char *> {};

// Point i of object 6's live track as the program's redraw sends it: the first one follows no
// point with a fix (append_track), the others come with their data.
void liveAppend(TWebMapBridge &b, int i) {
    const double lat = 51.675 + i * 0.0008, lng = 39.30 + i * 0.0016;
    const TDateTime t = dt::encode(2024, 3, 7, 10, 0, 0, 0) + i * 5 / 86400.0;
    if (i == 0)
        b.RunScript(webscript::append_track(lat, lng));
    else
        b.RunScript(webscript::append_track_ex(lat, lng, QStringLiteral("6"),
                                               dt::formatDateTime("dd.mm.yy hh:nn:ss", t),
                                               webscript::speedText(60)));
}

// Markers, a loaded track with a stop and a live track of 20 packets, as the program draws them.
void drawScene(TWebMapBridge &b, const QString &caption) {
    const TDateTime t0 = dt::encode(2024, 3, 7, 9, 0, 0, 0);
    b.CreateMarkersOnMap(
        {{51.675L * 60, 39.25L * 60, 5, QStringLiteral("Тепловоз 5"), t0, QColor(0, 0, 255)},
         {51.675L * 60, 39.3L * 60, 6, caption, t0, QColor(0, 0, 0)},
         {0, 39L * 60, 7, QStringLiteral("без позиции"), t0}});
    b.RunScript(webscript::clear_track());
    b.RunScript(webscript::clear_park());
    b.RunScript(webscript::begin_track());
    const auto timeText = [&](int s) {
        return dt::formatDateTime("dd.mm.yy hh:nn:ss", t0 + s / 86400.0);
    };
    for (int i = 0; i < 12; ++i)
        b.RunScript(webscript::put_point_ex(51.70 - i * 0.0015, 39.20 + i * 0.003,
                                            QStringLiteral("5"), timeText(i * 10),
                                            webscript::speedText(38 + i)));
    b.RunScript(webscript::add_park(
        51.682, 39.236,
        QStringLiteral("Объект: 5<br>Начало: 07.03.24 09:02:00<br>Окончание: 07.03.24 "
                       "09:32:00<br>Длительность: 0:30:00<br>")));
    b.RunScript(webscript::put_point(51.682, 39.236));
    for (int i = 0; i < 8; ++i)
        b.RunScript(webscript::put_point_ex(51.682 - i * 0.001, 39.236 + i * 0.002,
                                            QStringLiteral("5"), timeText(1920 + i * 10),
                                            webscript::speedText(45)));
    b.RunScript(webscript::end_track());
    // The live track of object 6: each packet's redraw follows cleanup_current_track.
    for (int i = 0; i < 20; ++i) {
        b.CleanupCurrentTrack();
        liveAppend(b, i);
        b.MarkerAt({(51.675 + i * 0.0008) * 60, (39.30 + i * 0.0016) * 60, 6, caption,
                    t0 + (3600 + i * 5) / 86400.0, QColor(255, 0, 0)});
    }
}

TEST_P(WebMapShippedPage, LoadsOfflineBecomesReadyAndDrawsMarkersTracksAndRestPlaces) {
    const QString page = QString::fromLatin1(GetParam());
    ASSERT_TRUE(QFile::exists(QStringLiteral(ZARNEX_BIN_DIR "/webmap/leaflet/leaflet.js")));
    TWebMapHarness h(QStringLiteral(ZARNEX_BIN_DIR "/webmap/"), {{QStringLiteral("Карта"), page}});
    ASSERT_TRUE(h.serverUp());
    ASSERT_TRUE(h.loadReady(0)) << "loaded: " << h.loaded;
    EXPECT_EQ(h.webLog().filter(QStringLiteral("Карта загружена")).size(), 1);

    // A caption of quotes, angle brackets and a line break is the label's text, and no script.
    const QString nasty = QStringLiteral(
        "ТЭМ2 \"6\" <img src=x onerror=\"window.pwned=1\"></span><b>x</b>\n2-я секция");
    drawScene(h.bridge, nasty);
    const QJsonObject s =
        h
            .evalJson(QStringLiteral(
                "(function () { var w = window.webMap, m = w.markers['6'];"
                " return { markers: w.markerLayer.getLayers().length,"
                "   labels: Array.prototype.map.call(document.querySelectorAll('.wm-label'),"
                "     function (e) { return e.textContent; }),"
                "   colour6: getComputedStyle(m.dot).backgroundColor,"
                "   at6: [m.marker.getLatLng().lat, m.marker.getLatLng().lng],"
                "   title6: m.icon.title,"
                "   injected: document.querySelectorAll('#map b, #map img:not(.leaflet-tile)')"
                "     .length + (window.pwned ? 100 : 0),"
                "   track: w.track.getLatLngs().length, trackDots: w.trackPoints.getLayers()"
                "     .length, parks: w.parkLayer.getLayers().length,"
                "   parkText: Array.prototype.map.call(w.parkLayer.getLayers()[0].getPopup()"
                "     .getContent().childNodes, function (n) {"
                "       return n.nodeName === 'BR' ? '\\n' : n.textContent; }).join(''),"
                "   parkMarkup: w.parkLayer.getLayers()[0].getPopup().getContent()"
                "     .querySelectorAll('*').length,"
                "   live: w.live.getLatLngs().length, liveDots: w.livePoints.getLayers().length,"
                "   tiles: w.tileLayer ? w.tileLayer._url : '',"
                "   attribution: document.querySelector('.leaflet-control-attribution')"
                "     .textContent,"
                "   scale: document.querySelector('.leaflet-control-scale-line').textContent,"
                "   graticule: !!document.querySelector('canvas.wm-graticule') }; })()"))
            .toObject();
    EXPECT_EQ(s.value(QStringLiteral("markers")).toInt(), 2);
    const QJsonArray labels = s.value(QStringLiteral("labels")).toArray();
    ASSERT_EQ(labels.size(), 2);
    EXPECT_EQ(labels.at(0).toString(), QStringLiteral("Тепловоз 5"));
    EXPECT_EQ(labels.at(1).toString(), nasty);
    EXPECT_EQ(s.value(QStringLiteral("title6")).toString(),
              nasty + QStringLiteral("\nДанные от: 07.03.24 10:01:35"));
    EXPECT_EQ(s.value(QStringLiteral("injected")).toInt(), 0);
    EXPECT_EQ(s.value(QStringLiteral("colour6")).toString(), QStringLiteral("rgb(255, 0, 0)"));
    const QJsonArray at6 = s.value(QStringLiteral("at6")).toArray();
    EXPECT_NEAR(at6.at(0).toDouble(), 51.675 + 19 * 0.0008, 1e-9);
    EXPECT_NEAR(at6.at(1).toDouble(), 39.30 + 19 * 0.0016, 1e-9);
    // 12 + 8 points with their data, and the stop's position between them.
    EXPECT_EQ(s.value(QStringLiteral("track")).toInt(), 21);
    EXPECT_EQ(s.value(QStringLiteral("trackDots")).toInt(), 20);
    EXPECT_EQ(s.value(QStringLiteral("parks")).toInt(), 1);
    EXPECT_EQ(s.value(QStringLiteral("parkText")).toString(),
              QStringLiteral("Объект: 5\nНачало: 07.03.24 09:02:00\nОкончание: 07.03.24 "
                             "09:32:00\nДлительность: 0:30:00"));
    EXPECT_EQ(s.value(QStringLiteral("parkMarkup")).toInt(), 3); // the three <br>
    // The live track kept every packet's point.
    EXPECT_EQ(s.value(QStringLiteral("live")).toInt(), 20);
    EXPECT_EQ(s.value(QStringLiteral("liveDots")).toInt(), 19);
    EXPECT_TRUE(s.value(QStringLiteral("tiles")).toString().startsWith(QLatin1String("https://")));
    EXPECT_FALSE(s.value(QStringLiteral("attribution")).toString().isEmpty());
    EXPECT_TRUE(s.value(QStringLiteral("scale")).toString().contains(QStringLiteral("м")));
    EXPECT_TRUE(s.value(QStringLiteral("graticule")).toBool());

    // A redraw that starts at the last drawn point draws it again instead of doubling it; one
    // of the whole track (a packet without positions redraws from time 0) leaves the track as
    // it is; a cleanup without appends changes nothing.
    const auto liveCount = [&] {
        return h.eval(QStringLiteral("webMap.live.getLatLngs().length")).toInt();
    };
    const auto nextPoint = [&] {
        h.bridge.RunScript(webscript::append_track_ex(51.70, 39.34, QStringLiteral("6"),
                                                      QStringLiteral("07.03.24 10:01:40"),
                                                      webscript::speedText(60)));
    };
    h.bridge.CleanupCurrentTrack();
    liveAppend(h.bridge, 19);
    nextPoint();
    EXPECT_EQ(liveCount(), 21);
    h.bridge.CleanupCurrentTrack();
    for (int i = 0; i < 20; ++i)
        liveAppend(h.bridge, i);
    nextPoint();
    EXPECT_EQ(liveCount(), 21);
    EXPECT_EQ(h.eval(QStringLiteral("webMap.livePoints.getLayers().length")).toInt(), 20);
    h.bridge.CleanupCurrentTrack();
    EXPECT_EQ(liveCount(), 21);

    // The tool buttons: "+" and "–" step the zoom, "Все" shows everything drawn.
    const int zoom = h.eval(QStringLiteral("webMap.map.getZoom()")).toInt();
    h.bridge.ZoomIn();
    EXPECT_TRUE(waitFor(
        [&] { return h.eval(QStringLiteral("webMap.map.getZoom()")).toInt() == zoom + 1; }));
    h.bridge.ZoomOut();
    EXPECT_TRUE(
        waitFor([&] { return h.eval(QStringLiteral("webMap.map.getZoom()")).toInt() == zoom; }));
    h.bridge.ZoomOut();
    EXPECT_TRUE(waitFor(
        [&] { return h.eval(QStringLiteral("webMap.map.getZoom()")).toInt() == zoom - 1; }));
    h.bridge.RunScript(webscript::go_to(10, 10));
    h.bridge.ShowAll();
    EXPECT_TRUE(waitFor([&] {
        return h
            .eval(QStringLiteral("(function () { var b = webMap.map.getBounds(), w = webMap;"
                                 " return b.contains(w.track.getBounds()) &&"
                                 " b.contains(w.live.getBounds()) &&"
                                 " b.contains(w.markers['5'].marker.getLatLng()); })()"))
            .toBool();
    }));

    // A drain's alarm: object 6's marker flashes (its dot animated in the alarm colour), also
    // once the markers are placed again; a marker placed later picks up its alarm; stopping it
    // leaves the marker's own look.
    const auto alarmed = [&] {
        return h.evalJson(QStringLiteral(
            "Object.keys(webMap.markers).sort().map(function (k) {"
            " var m = webMap.markers[k]; return k + (m.icon.classList.contains('wm-alarm') &&"
            " getComputedStyle(m.dot).animationName === 'wm-flash' ? '!' : ''); })"));
    };
    h.bridge.RunScript(webscript::marker_alarm(6, true));
    h.bridge.RunScript(webscript::marker_alarm(8, true));
    EXPECT_EQ(alarmed(), (QJsonArray{"5", "6!"}));
    drawScene(h.bridge, QStringLiteral("ТЭМ2"));
    h.bridge.MarkerAt({51.68L * 60, 39.31L * 60, 8, QStringLiteral("8"), 0});
    EXPECT_EQ(alarmed(), (QJsonArray{"5", "6!", "8!"}));
    h.bridge.RunScript(webscript::marker_alarm(6, false));
    h.bridge.RunScript(webscript::marker_alarm(8, false));
    EXPECT_EQ(alarmed(), (QJsonArray{"5", "6", "8"}));

    // Clearing leaves an empty map.
    h.bridge.ClearWebMapTrack();
    h.bridge.CreateMarkersOnMap({});
    EXPECT_EQ(h.evalJson(QStringLiteral(
                  "[webMap.track.getLatLngs().length, webMap.trackPoints.getLayers().length,"
                  " webMap.live.getLatLngs().length, webMap.parkLayer.getLayers().length,"
                  " webMap.markerLayer.getLayers().length]")),
              (QJsonArray{0, 0, 0, 0, 0}));
    EXPECT_TRUE(h.dialogs.calls.empty()); // no script error on the way
}

INSTANTIATE_TEST_SUITE_P(Pages, WebMapShippedPage, ::testing::Values("google.html", "yandex.html"),
                         [](const auto &info) { return std::string(info.param).substr(0, 6); });

TEST(WebMapPages, TheTwoPagesDifferOnlyInTheirTileLayer) {
    QStringList tiles;
    for (const char *name : {"google.html", "yandex.html"}) {
        QFile f(QStringLiteral(ZARNEX_BIN_DIR "/webmap/") + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
        const QString text = QString::fromUtf8(f.readAll());
        EXPECT_TRUE(text.contains(QLatin1String("src=\"js/webmap.js\""))) << name;
        const int at = text.indexOf(QLatin1String("url: '"));
        ASSERT_GE(at, 0) << name;
        tiles << text.mid(at, text.indexOf(QLatin1Char('\''), at + 6) - at);
    }
    EXPECT_NE(tiles.at(0), tiles.at(1));
}

// The web view as an operator sees it without a network.
TEST(WebMapScreenshot, WebViewWithObjectsTracksAndARestPlace) {
    const QString dir = qEnvironmentVariable("ZARNEX_SCREENSHOT_DIR");
    if (dir.isEmpty())
        GTEST_SKIP() << "ZARNEX_SCREENSHOT_DIR not set";
    TWebMapHarness h(QStringLiteral(ZARNEX_BIN_DIR "/webmap/"),
                     {{QStringLiteral("Карта Google"), QStringLiteral("google.html")}});
    ASSERT_TRUE(h.serverUp());
    ASSERT_TRUE(h.loadReady(0));
    drawScene(h.bridge, QStringLiteral("ТЭМ2 №6"));
    h.bridge.ShowAll();
    // The result of a call that returns a page object would be converted at length: void.
    h.eval(QStringLiteral("void webMap.parkLayer.getLayers()[0].openPopup()"));
    waitFor([] { return false; }, 1500); // painted
    QDir().mkpath(dir);
    EXPECT_TRUE(h.view.grab().save(dir + QStringLiteral("/webmap-offline.png")));
}

} // namespace
