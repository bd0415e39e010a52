#pragma once

#include <QObject>

class QAction;
class TClientSession;
class TDataRuns;
class TDatabasePart;
class TDemoObject;
class TDrainsPart;
class TLiveObjects;
class TMaintenance;
class TMapInteraction;
class TRegistryEdits;
class TTrackDisplay;
class TWebMapPart;
class TfmArrowIndicators;
class TfmAutoConnectToServer;
class TDownloadProgressForm;
class TfmMain;
class TfmOptions;
class TfmProgramming;
class TfmData;
class TfmObjectsSetData;
class TReportsPart;
class TfrmProgressInput;
class TManager;
class TUpdateDBForm;
class TWebMapView;
enum class TSessionCommand;

// Binds the main window's actions and widgets to the session's parts, each part in a function
// of its own: commands go to the part's methods, the part's state comes back to the widgets. It
// holds no behaviour of its own; the dialogs it opens only collect a choice the part then acts
// on.
class TMainBinder : public QObject {
    Q_OBJECT
public:
    TMainBinder(TfmMain &main, TClientSession &session, TfmArrowIndicators *arrows,
                TfmOptions *optionsForm);
    ~TMainBinder() override;

private:
    void bindStatus();
    void bindDatabase(TDatabasePart &database);
    void bindServer();
    void bindLive(TLiveObjects &live);
    void bindMap(TMapInteraction &map);
    void bindWebMap(TWebMapPart &webMap);
    void bindRegistry(TManager *registry);
    void bindRegistryEdits(TRegistryEdits &edits);
    void bindMaintenance(TMaintenance &maintenance);
    void bindTracks(TTrackDisplay &tracks);
    void bindRuns(TDataRuns &runs);
    void bindDemo(TDemoObject &demo);
    void bindReports(TReportsPart &reports);
    void bindFuel();                      // MainBinderFuel.cpp
    void bindDrains(TDrainsPart &drains); // MainBinderDrains.cpp
    void loadTrack();
    // The download dialog (preset > 0: for that object), then the download it asks for.
    void askDownload(int preset);
    void applyCommandStates();
    void showGauges();
    void showUpdate(bool atConnect);
    void purge();
    void fillMapSelectMenu();
    void showWebView(bool web);
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
    TfmProgramming *m_programmingForm = nullptr;
    TfmData *m_dataForm = nullptr;
    TfmObjectsSetData *m_objectsSetForm = nullptr;
};
