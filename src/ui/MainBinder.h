#pragma once

#include <QObject>

class QAction;
class TClientSession;
class TfmArrowIndicators;
class TfmAutoConnectToServer;
class TDownloadProgressForm;
class TfmMain;
class TfmOptions;
class TfrmProgressInput;
class TManager;
class TUpdateDBForm;
class TWebMapView;
enum class TSessionCommand;

// Binds the main window's actions and widgets to the session: commands go to the session's
// methods, the session's state comes back to the widgets. It holds no behaviour of its own;
// the dialogs it opens only collect a choice the session then acts on.
class TMainBinder : public QObject {
    Q_OBJECT
public:
    TMainBinder(TfmMain &main, TClientSession &session, TfmArrowIndicators *arrows,
                TfmOptions *optionsForm);
    ~TMainBinder() override;

private:
    void bindStatus();
    void bindCommands();
    void bindMap();
    void bindRegistry(TManager *registry);
    void bindObjectRegistry();
    void bindTracks();
    void bindFuel(); // MainBinderFuel.cpp
    void loadTrack();
    void bindDownload();
    // The download dialog (preset > 0: for that object), then the download it asks for.
    void askDownload(int preset);
    void applyCommandStates();
    void showGauges();
    void showUpdate(bool atConnect);
    void purge();
    void fillMapSelectMenu();
    void showWebView(bool web);
    // Runs a command through the session's error guard.
    void onAction(QAction *action, void (TMainBinder::*handler)());
    template <class F> void onTriggered(QAction *action, F &&f);

    TfmMain &m_main;
    TClientSession &m_session;
    TfmArrowIndicators *m_arrows;
    TfmOptions *m_optionsForm;
    TfmAutoConnectToServer *m_autoConnectForm = nullptr;
    TUpdateDBForm *m_updateForm = nullptr;
    TWebMapView *m_webView = nullptr; // owned by the window's map area once shown
    TfrmProgressInput *m_progressForm = nullptr;
    TDownloadProgressForm *m_downloadForm = nullptr;
};
