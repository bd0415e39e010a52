#include "app/Folders.h"
#include "app/Logging.h"
#include "common/ScriptedDialogs.h"
#include "webmap/UHTTPserverUnit.h"
#include "webmap/WebMapBridge.h"
#include "webmap/WebMapScript.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QWebEnginePage>

#include <gtest/gtest.h>

#include <optional>

#include <unistd.h>

namespace {

// The browser side as the program's widget will do it, over a page without a view.
class TPageBrowser final : public TWebMapBrowser {
public:
    explicit TPageBrowser(QWebEnginePage &page) : m_page(page) {}
    void navigate(const QUrl &url) override { m_page.load(url); }
    void setSilent(bool) override {}
    void runJavaScript(const QString &script, std::function<void(const QVariant &)> done) override {
        if (done)
            m_page.runJavaScript(script, [done](const QVariant &v) { done(v); });
        else
            m_page.runJavaScript(script);
    }

private:
    QWebEnginePage &m_page;
};

// Runs the event loop until cond holds or the time is up.
bool waitFor(const std::function<bool()> &cond, int ms = 30000) {
    QDeadlineTimer deadline(ms);
    while (!cond() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return cond();
}

QVariant evaluate(QWebEnginePage &page, const QString &script) {
    std::optional<QVariant> result;
    page.runJavaScript(script, [&](const QVariant &v) { result = v; });
    waitFor([&] { return result.has_value(); }, 10000);
    return result.value_or(QVariant());
}

TEST(WebMapPage, ShippedPageLoadsBecomesReadyAndShowsNamesAsText) {
    // The engine's sandbox refuses to run as root (test machines).
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QTemporaryDir tmp;
    TFolders f;
    f.AppDir = QStringLiteral(ZARNEX_SOURCE_DIR "/");
    f.WebServerDir = QStringLiteral(ZARNEX_SOURCE_DIR "/webmap/");
    SetFolders(f);
    auto log = std::make_shared<TOperationsLog>(tmp.filePath(QStringLiteral("log.txt")));
    InstallOperationsLog(log);

    TdmHTTPServer server;
    TScriptedDialogs dialogs;
    TOptions options;
    options.UseGoogleMap = true;
    options.WebMapList = {{QStringLiteral("Карта Google"), QStringLiteral("google.html")}};
    TWebMapBridge bridge(options);
    bridge.CurrentWebServerPort =
        StartLocalWebServer(server, 30000 + int(getpid() % 20000), dialogs);
    ASSERT_GT(bridge.CurrentWebServerPort, 0);

    const QString nasty = QStringLiteral("Тепловоз \"7\" </text><b>x</b>\\\n");
    bridge.markers = [&] {
        return QVector<TWebMapMarker>{{51.5L * 60, 39.25L * 60, 7, nasty, 45000.5}};
    };

    QWebEnginePage page;
    TPageBrowser browser(page);
    bridge.setBrowser(&browser);
    bool loaded = false;
    QObject::connect(&page, &QWebEnginePage::loadFinished, [&](bool ok) {
        loaded = ok;
        if (ok)
            bridge.MapBrowserDocumentComplete();
    });
    bridge.LoadWebMap(options.DefaultWebMap);

    ASSERT_TRUE(waitFor([&] { return bridge.WebMapReady; })) << "loaded: " << loaded;
    EXPECT_TRUE(log->takeQueued().filter(QStringLiteral("Карта загружена")).size() == 1);

    // Markers were placed by readiness; the name arrived intact and as text only.
    ASSERT_TRUE(waitFor([&] {
        return evaluate(page, QStringLiteral("Object.keys(webMapState.markers).length")).toInt() ==
               1;
    }));
    const QJsonObject m =
        QJsonDocument::fromJson(
            evaluate(page, QStringLiteral("JSON.stringify(webMapState.markers['7'])"))
                .toString()
                .toUtf8())
            .object();
    EXPECT_EQ(m.value(QStringLiteral("name")).toString(), nasty);
    EXPECT_DOUBLE_EQ(m.value(QStringLiteral("lat")).toDouble(), 51.5);
    EXPECT_EQ(m.value(QStringLiteral("caption")).toString(), webscript::markerCaption(45000.5));
    EXPECT_EQ(evaluate(page, QStringLiteral("document.querySelectorAll('b').length")).toInt(), 0);

    // The track and stop functions exist and take their arguments.
    bridge.RunScript(webscript::begin_track());
    bridge.RunScript(webscript::put_point_ex(51.5, 39.25, QStringLiteral("7"), QStringLiteral("t"),
                                             webscript::speedText(40)));
    bridge.RunScript(webscript::put_point(51.6, 39.3));
    bridge.RunScript(webscript::end_track());
    bridge.RunScript(webscript::add_park(51.6, 39.3, QStringLiteral("с<br>по <i>x</i>")));
    bridge.RunScript(webscript::append_track_ex(51.7, 39.4, QStringLiteral("7"),
                                                QStringLiteral("t"), webscript::speedText(1)));
    bridge.RunScript(webscript::append_track(51.8, 39.5));
    bridge.RunScript(webscript::go_to(51.6, 39.3));
    const QString probe = QStringLiteral(
        "[webMapState.track.length, webMapState.live.length, webMapState.parks.length,"
        " webMapState.parks[0].lines.length, document.querySelectorAll('i').length,"
        " webMapState.center.lat].join(' ')");
    EXPECT_TRUE(waitFor([&] {
        return evaluate(page, probe).toString() == QStringLiteral("2 2 1 2 0 51.6");
    })) << evaluate(page, probe).toString().toStdString();

    bridge.CleanupCurrentTrack();
    bridge.ClearWebMapTrack();
    bridge.CreateMarkersOnMap();
    bridge.markers = {};
    bridge.CreateMarkersOnMap();
    const QString after = QStringLiteral(
        "[webMapState.track.length, webMapState.live.length, webMapState.parks.length,"
        " Object.keys(webMapState.markers).length].join(' ')");
    EXPECT_TRUE(waitFor([&] {
        return evaluate(page, after).toString() == QStringLiteral("0 0 0 0");
    })) << evaluate(page, after).toString().toStdString();

    bridge.setBrowser(nullptr);
    InstallOperationsLog(nullptr);
}

} // namespace
