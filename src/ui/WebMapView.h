#pragma once

#include "webmap/WebMapBridge.h"

#include <QWebEnginePage>
#include <QWebEngineView>

// The web map's page: hands the page's script errors to the bridge, which shows or only logs
// them as the silent mode says.
class TWebMapPage : public QWebEnginePage {
    Q_OBJECT
public:
    TWebMapPage(TWebMapBridge &bridge, QObject *parent = nullptr);

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int lineNumber, const QString &sourceID) override;

private:
    TWebMapBridge &m_bridge;
};

// The embedded browser of the web map: the bridge's way into the page.
class TWebMapView : public QWebEngineView, public TWebMapBrowser {
    Q_OBJECT
public:
    TWebMapView(TWebMapBridge &bridge, QWidget *parent = nullptr);
    ~TWebMapView() override;

    void navigate(const QUrl &url) override;
    void runJavaScript(const QString &script,
                       std::function<void(const QVariant &)> done = {}) override;

private:
    TWebMapBridge &m_bridge;
};
