#pragma once

#include <QObject>
#include <QPoint>

#include <functional>
#include <memory>

#include "app/Dialogs.h"
#include "app/Options.h"

class TfmMain;
class TfmArrowIndicators;
class TfmOptions;
class TfmAutoConnectToServer;
class TUpdateDBForm;
class TClientThread;
class TFManager;
class TManager;
class TMapObjManager;
class TMapLabel;
class TOnlineProcessor;
class TServerController;
namespace db {
class TDatabaseController;
}

// The long-lived working parts behind the main window: the database connection, the server
// link and its thread, the track-file registry, the object manager and the packet processing.
// It wires them to the window's commands, status bar, group panel and state grid.
class TMainLinks : public QObject {
    Q_OBJECT
public:
    TMainLinks(TfmMain &main, TOptions &options, TDialogs &dialogs, TfmArrowIndicators *arrows,
               TfmOptions *optionsForm);
    ~TMainLinks() override;

    db::TDatabaseController &database() { return *m_db; }
    TServerController &server() { return *m_server; }
    TClientThread &client() { return *m_client; }
    TFManager &fmngr() { return *m_fmngr; }
    TManager *manager() const { return m_manager.get(); }
    TMapObjManager &mapObjects() { return *m_mapObjs; }

private:
    void createManager();
    void destroyManager();
    void wireCommands();
    void wireStatus();
    void wireMap();
    void registerMapObjects();
    void followActive(bool selectBest);
    void showPickedInfo();
    void refreshGrid();
    void updateGauges(int row);
    void guarded(const std::function<void()> &command);
    TUpdateDBForm &updateForm();
    void purge();

    TfmMain &m_main;
    TOptions &m_options;
    TDialogs &m_dialogs;
    TfmArrowIndicators *m_arrows;
    TfmOptions *m_optionsForm;
    std::unique_ptr<db::TDatabaseController> m_db;
    std::unique_ptr<TServerController> m_server;
    std::unique_ptr<TFManager> m_fmngr;
    std::unique_ptr<TOnlineProcessor> m_processor;
    std::unique_ptr<TManager> m_manager;
    std::unique_ptr<TClientThread> m_client;
    std::unique_ptr<TMapObjManager> m_mapObjs;
    TfmAutoConnectToServer *m_autoConnectForm = nullptr;
    TUpdateDBForm *m_updateForm = nullptr;
    QPoint m_lastMapPos;
    TMapLabel *m_infoLabel = nullptr; // the clicked point's information, owned by the panel
};
