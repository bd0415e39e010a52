#pragma once

#include "webmap/WebMapBridge.h"

#include <QWebEngineView>

// The embedded browser of the web map: the bridge's way into the page.
class TWebMapView : public QWebEngineView, public TWebMapBrowser {
    Q_OBJECT
public:
    TWebMapView(TWebMapBridge &bridge, QWidget *parent = nullptr);

    void navigate(const QUrl &url) override;
    void setSilent(bool silent) override { m_silent = silent; }
    void runJavaScript(const QString &script,
                       std::function<void(const QVariant &)> done = {}) override;

    ~TWebMapView() override;

private:
    TWebMapBridge &m_bridge;
    bool m_silent = false;
};
