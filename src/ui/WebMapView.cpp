#include "ui/WebMapView.h"

TWebMapPage::TWebMapPage(TWebMapBridge &bridge, QObject *parent)
    : QWebEnginePage(parent), m_bridge(bridge) {}

void TWebMapPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                           const QString &message, int lineNumber,
                                           const QString &sourceID) {
    // Uncaught exceptions arrive here at error level ("Uncaught TypeError: ..."); a tile that
    // fails to load reports nothing.
    if (level == ErrorMessageLevel)
        m_bridge.PageScriptError(message, lineNumber, sourceID);
}

TWebMapView::TWebMapView(TWebMapBridge &bridge, QWidget *parent)
    : QWebEngineView(parent), m_bridge(bridge) {
    setPage(new TWebMapPage(bridge, this));
    connect(this, &QWebEngineView::loadFinished, &bridge, [&bridge](bool ok) {
        if (ok)
            bridge.MapBrowserDocumentComplete();
    });
    bridge.setBrowser(this);
}

TWebMapView::~TWebMapView() {
    m_bridge.setBrowser(nullptr);
}

void TWebMapView::navigate(const QUrl &url) {
    load(url);
}

void TWebMapView::runJavaScript(const QString &script, std::function<void(const QVariant &)> done) {
    if (done)
        page()->runJavaScript(script, [done = std::move(done)](const QVariant &v) { done(v); });
    else
        page()->runJavaScript(script);
}
