#include "ui/WebMapView.h"

#include <QWebEnginePage>

TWebMapView::TWebMapView(TWebMapBridge &bridge, QWidget *parent)
    : QWebEngineView(parent), m_bridge(bridge) {
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
