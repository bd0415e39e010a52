#include "app/DateUtils.h"
#include "app/Logging.h"
#include "common/ScriptedDialogs.h"
#include "webmap/WebMapBridge.h"
#include "webmap/WebMapScript.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

namespace {

// 55°45'7"40 N, 37°23'34"07 E in minutes of arc, and the degrees the page must get for it (not
// minutes / 60, which differs in the sixth decimal).
constexpr long double kLatMin = 3345.1234L, kLngMin = 2243.5678L;
constexpr double kLatDeg = 55.752055555555556, kLngDeg = 37.392797222222222;

// The browser as the bridge sees it; readiness answers are given by the test.
class TFakeBrowser final : public TWebMapBrowser {
public:
    QStringList events; // "navigate <url>", "silent 0/1", "run <script>", "probe"
    std::deque<std::function<void(const QVariant &)>> probes;

    void navigate(const QUrl &url) override {
        events << QStringLiteral("navigate ") + url.toString();
    }
    void setSilent(bool s) override { events << QStringLiteral("silent %1").arg(int(s)); }
    void runJavaScript(const QString &script, std::function<void(const QVariant &)> done) override {
        if (done) {
            events << QStringLiteral("probe");
            probes.push_back(std::move(done));
        } else {
            events << QStringLiteral("run ") + script;
        }
    }
    void answer(const QVariant &v) {
        ASSERT_FALSE(probes.empty());
        auto f = std::move(probes.front());
        probes.pop_front();
        f(v);
    }
    QStringList scripts() const {
        QStringList out;
        for (const QString &e : events)
            if (e.startsWith(QLatin1String("run ")))
                out << e.mid(4);
        return out;
    }
};

class WebMapBridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        log = std::make_shared<TOperationsLog>(tmp.filePath(QStringLiteral("log.txt")));
        InstallOperationsLog(log);
        options.UseGoogleMap = true;
        options.WebMapSilent = true;
        options.WebMapList = {{QStringLiteral("Карта Google"), QStringLiteral("google.html")},
                              {QStringLiteral("Схема"), QStringLiteral("maps\\scheme.html")}};
        bridge.CurrentWebServerPort = 40123;
        bridge.setBrowser(&browser);
    }
    void TearDown() override { InstallOperationsLog(nullptr); }

    // The operations log's lines from sender WEB, without their time stamps.
    QStringList webLog() {
        QStringList out;
        for (const QString &l : log->takeQueued()) {
            const int i = l.indexOf(QLatin1String(" ("));
            if (l.contains(QLatin1String("WEB:: ")))
                out << l.mid(i + 1);
        }
        return out;
    }

    QTemporaryDir tmp;
    std::shared_ptr<TOperationsLog> log;
    TOptions options;
    TScriptedDialogs dialogs;
    TWebMapBridge bridge{options, dialogs};
    TFakeBrowser browser;
    QVector<TWebMapMarker> objects;
};

TEST_F(WebMapBridgeTest, PageAddressesFollowTheListAndItsIndex) {
    const struct {
        int index;
        const char *url;
    } cases[] = {
        {0, "http://localhost:40123/google.html"},
        {1, "http://localhost:40123/maps/scheme.html"},
        {-1, "http://localhost:40123/google.html"},
        {2, "http://localhost:40123/google.html"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(WebMapUrl(options.WebMapList, c.index, 40123).toString(), QLatin1String(c.url));
    EXPECT_EQ(WebMapUrl({}, 3, 40123).toString(),
              QStringLiteral("http://localhost:40123/google.html"));
    EXPECT_EQ(WebMapListLine(options.WebMapList[0]), QStringLiteral("Карта Google [google.html]"));

    // The menu is rebuilt from a list; the default page index is checked against it.
    QStringList menu;
    QObject::connect(&bridge, &TWebMapBridge::webMapMenuChanged,
                     [&](const QStringList &captions) { menu = captions; });
    options.DefaultWebMap = 1;
    bridge.UpdateWebMapListMenu(options.WebMapList);
    EXPECT_EQ(menu, (QStringList{QStringLiteral("Карта Google"), QStringLiteral("Схема")}));
    EXPECT_EQ(options.DefaultWebMap, 1);
    bridge.UpdateWebMapListMenu({options.WebMapList[0]});
    EXPECT_EQ(menu, QStringList{QStringLiteral("Карта Google")});
    EXPECT_EQ(options.DefaultWebMap, 0);

    bridge.miSelectInternetClick(2); // tag 2 = the second page
    EXPECT_EQ(options.DefaultWebMap, 1);
    EXPECT_TRUE(bridge.WebMapInited);
    bridge.miSelectInternetClick(7);
    EXPECT_EQ(options.DefaultWebMap, 0);
    // No server found at start-up: the page is requested but nothing is asked of another port.
    bridge.CurrentWebServerPort = -1;
    bridge.LoadWebMap(0);
    EXPECT_TRUE(bridge.WebMapInited);
    bridge.CurrentWebServerPort = 40123;
    EXPECT_EQ(browser.events,
              (QStringList{QStringLiteral("navigate http://localhost:40123/maps/scheme.html"),
                           QStringLiteral("navigate http://localhost:40123/google.html")}));
}

TEST_F(WebMapBridgeTest, NoScriptRunsWithoutTheWebMapOrBeforeTheFirstLoad) {
    objects = {{51 * 60, 39 * 60, 5, QStringLiteral("a"), 0}};
    // Before any page has loaded, calls are dropped.
    bridge.CreateMarkersOnMap(objects);
    bridge.ClearWebMapTrack();
    bridge.InvokeScript(QStringLiteral("go_to"), {1.0, 2.0});
    EXPECT_TRUE(browser.scripts().isEmpty());

    options.UseGoogleMap = false;
    bridge.MapBrowserDocumentComplete();
    bridge.CreateMarkersOnMap(objects);
    bridge.CleanupCurrentTrack();
    bridge.ZoomIn();
    bridge.ShowAll();
    bridge.tmrWaitWebMapTimer(); // polling asks the page nothing either
    bridge.tbRefreshWebMapClick();
    EXPECT_TRUE(browser.scripts().isEmpty());
    EXPECT_FALSE(browser.events.contains(QStringLiteral("probe")));
    EXPECT_FALSE(browser.events.contains(QStringLiteral("silent 0"))); // refresh did nothing

    // Back on the web map, the page loaded meanwhile gets its init before the first probe.
    options.UseGoogleMap = true;
    browser.events.clear();
    bridge.tmrWaitWebMapTimer();
    EXPECT_EQ(browser.events,
              (QStringList{QStringLiteral("run ") + webscript::init(51.690754, 39.269037),
                           QStringLiteral("probe")}));
}

TEST_F(WebMapBridgeTest, ScriptErrorsAreShownOnceUnlessSilentAndAlwaysLogged) {
    const QString page = QStringLiteral("http://localhost:40123/js/webmap.js");
    const auto shownAfter = [&](const QString &message) {
        bridge.PageScriptError(message, 12, page);
        QCoreApplication::processEvents(); // the box waits for the event loop
        return dialogs.messages();
    };
    // WebMapSilent: the log only.
    bridge.MapBrowserDocumentComplete();
    EXPECT_TRUE(shownAfter(QStringLiteral("Uncaught TypeError: a")).isEmpty());
    EXPECT_EQ(webLog(), QStringList{QStringLiteral(
                            "(0) WEB:: Ошибка сценария Web-карты: Uncaught TypeError: a "
                            "(строка 12, http://localhost:40123/js/webmap.js)")});

    // Reloading switches the silent mode off until the page has loaded; then WebMapSilent off
    // keeps it off. Each text is shown once.
    options.WebMapSilent = false;
    bridge.tbRefreshWebMapClick();
    EXPECT_FALSE(bridge.silent());
    const QString shown = QStringLiteral("Ошибка сценария Web-карты: Uncaught TypeError: a\r\n"
                                         "Строка: 12\r\nСтраница: ") +
                          page;
    EXPECT_EQ(shownAfter(QStringLiteral("Uncaught TypeError: a")), QStringList{shown});
    bridge.MapBrowserDocumentComplete();
    EXPECT_EQ(shownAfter(QStringLiteral("Uncaught TypeError: a")), QStringList{shown});
    EXPECT_EQ(shownAfter(QStringLiteral("Uncaught TypeError: b")).size(), 2);
    EXPECT_EQ(dialogs.calls.back().caption, QStringLiteral("Web-карта"));
    EXPECT_EQ(dialogs.calls.back().icon, TMsgIcon::Error);
    EXPECT_EQ(webLog().size(), 3);
}

TEST_F(WebMapBridgeTest, LoadedPageGetsInitThenReadinessPlacesMarkers) {
    objects = {
        {kLatMin, kLngMin, 5, QStringLiteral("Тепловоз \"5\""), dt::encode(2024, 3, 7, 9, 5, 1, 0)},
        {0, 39 * 60, 6, QStringLiteral("без позиции"), 0},
        {55 * 60, 37 * 60, 7, QStringLiteral("b"), 0, QColor(0, 0, 0)}};
    // The session answers readiness with the markers (and its track redraw).
    int readyCalls = 0;
    QObject::connect(&bridge, &TWebMapBridge::mapReady, [&] {
        EXPECT_TRUE(bridge.WebMapReady);
        ++readyCalls;
        bridge.CreateMarkersOnMap(objects);
    });

    bridge.LoadWebMap(options.DefaultWebMap);
    bridge.MapBrowserDocumentComplete();
    EXPECT_TRUE(bridge.InternetIsOK);
    EXPECT_TRUE(bridge.tmrWaitWebMap.isActive());
    EXPECT_EQ(bridge.tmrWaitWebMap.interval(), 100);
    EXPECT_EQ(browser.events.mid(1, 2),
              (QStringList{QStringLiteral("silent 1"),
                           QStringLiteral("run ") + webscript::init(51.690754, 39.269037)}));

    // 250 "not yet" answers, then ready.
    for (int i = 0; i < 250; ++i) {
        bridge.tmrWaitWebMapTimer();
        bridge.tmrWaitWebMapTimer(); // a tick while the probe is out asks nothing more
        browser.answer(false);
    }
    EXPECT_FALSE(bridge.WebMapReady);
    EXPECT_EQ(readyCalls, 0);
    bridge.tmrWaitWebMapTimer();
    browser.answer(true);

    EXPECT_TRUE(bridge.WebMapReady);
    EXPECT_FALSE(bridge.tmrWaitWebMap.isActive());
    EXPECT_EQ(readyCalls, 1);
    EXPECT_EQ(
        webLog(),
        (QStringList{
            QStringLiteral("(0) WEB:: Не удалось проверить готовность карты! Ждем дальше... "),
            QStringLiteral("(0) WEB:: Не удалось проверить готовность карты! Ждем дальше... "),
            QStringLiteral("(20) WEB:: Карта загружена (50)")}));
    EXPECT_EQ(browser.scripts().mid(1),
              (QStringList{
                  webscript::markers_clear(),
                  webscript::marker_at(kLatDeg, kLngDeg, 5, QStringLiteral("Тепловоз \"5\""),
                                       QStringLiteral("Данные от: 07.03.24 09:05:01")),
                  webscript::marker_at(55, 37, 7, QStringLiteral("b"), webscript::markerCaption(0),
                                       QStringLiteral("#000000"))}));
    EXPECT_EQ(browser.events.count(QStringLiteral("probe")), 251);
}

TEST_F(WebMapBridgeTest, OnlyABooleanTrueIsReadyAndAFailingStepEndsPolling) {
    bridge.MapBrowserDocumentComplete();
    // No answer (a page between documents) or a value that is not a Boolean: not ready yet.
    for (const QVariant &v : {QVariant(), QVariant(QStringLiteral("true")), QVariant(1)}) {
        bridge.tmrWaitWebMapTimer();
        browser.answer(v);
    }
    EXPECT_EQ(bridge.CurrentRepeat, 3);
    EXPECT_TRUE(bridge.tmrWaitWebMap.isActive());
    EXPECT_FALSE(bridge.WebMapReady);
    EXPECT_TRUE(webLog().isEmpty());

    // A step of the ready page that fails ends the polling; the page stays not ready.
    const auto failing = QObject::connect(&bridge, &TWebMapBridge::mapReady,
                                          [] { throw std::runtime_error("трек недоступен"); });
    bridge.tmrWaitWebMapTimer();
    browser.answer(true);
    EXPECT_FALSE(bridge.tmrWaitWebMap.isActive());
    EXPECT_FALSE(bridge.WebMapReady);
    EXPECT_EQ(webLog(), QStringList{QStringLiteral(
                            "(0) WEB:: Не удалось проверить готовность карты: трек недоступен")});
    QObject::disconnect(failing);
}

TEST_F(WebMapBridgeTest, ReloadDropsStaleAnswers) {
    // A probe of the old page answering after "Очистить Web-карту" means nothing.
    bridge.MapBrowserDocumentComplete();
    bridge.tmrWaitWebMapTimer();
    browser.events.clear();
    bridge.tbRefreshWebMapClick();
    EXPECT_EQ(browser.events,
              (QStringList{QStringLiteral("silent 0"),
                           QStringLiteral("navigate http://localhost:40123/google.html")}));
    EXPECT_FALSE(bridge.InternetIsOK);
    EXPECT_TRUE(bridge.WebMapInited); // the reload requested the page again
    browser.answer(true);
    EXPECT_FALSE(bridge.WebMapReady);
    EXPECT_TRUE(webLog().isEmpty());

    // The new page loads and answers.
    bridge.MapBrowserDocumentComplete();
    bridge.tmrWaitWebMapTimer();
    browser.answer(true);
    EXPECT_TRUE(bridge.WebMapReady);
    EXPECT_EQ(webLog(), QStringList{QStringLiteral("(20) WEB:: Карта загружена (0)")});
}

TEST_F(WebMapBridgeTest, ClearingTheTrackRunsItsStepsInOrder) {
    bridge.MapBrowserDocumentComplete();
    browser.events.clear();
    // The session's part (parts table, raster rest places) comes first, then the page's.
    QObject::connect(&bridge, &TWebMapBridge::trackCleared,
                     [&] { browser.events << QStringLiteral("session"); });
    bridge.ClearWebMapTrack();
    EXPECT_EQ(browser.events, (QStringList{QStringLiteral("session"),
                                           QStringLiteral("run ") + webscript::clear_park(),
                                           QStringLiteral("run ") + webscript::clear_track()}));

    // Without a manager the session passes no markers: only the old ones are removed.
    browser.events.clear();
    bridge.CreateMarkersOnMap({});
    EXPECT_EQ(browser.scripts(), QStringList{webscript::markers_clear()});
    // A call with an unusable number never reaches the page.
    bridge.RunScript(webscript::go_to(std::nan(""), 1));
    EXPECT_EQ(browser.scripts().size(), 1);
}

TEST_F(WebMapBridgeTest, SelectedObjectIsShownOnlyOnAReadyPageWithAPosition) {
    const TWebMapMarker m{kLatMin, kLngMin, 5, QStringLiteral("a"), 0};
    bridge.MapBrowserDocumentComplete();
    EXPECT_FALSE(bridge.ShowSelectedObject(m)); // loaded, not ready yet
    bridge.tmrWaitWebMapTimer();
    browser.answer(true);
    browser.events.clear();

    EXPECT_FALSE(bridge.ShowSelectedObject({0, 39 * 60, 6, QStringLiteral("b"), 0}));
    EXPECT_TRUE(browser.events.isEmpty());
    EXPECT_TRUE(bridge.ShowSelectedObject(m));
    EXPECT_EQ(browser.scripts(),
              (QStringList{webscript::go_to(kLatDeg, kLngDeg),
                           webscript::marker_at(kLatDeg, kLngDeg, 5, QStringLiteral("a"),
                                                webscript::markerCaption(0))}));
    options.UseGoogleMap = false;
    EXPECT_FALSE(bridge.ShowSelectedObject(m));
}

} // namespace
