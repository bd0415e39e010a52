#include "session/ClientSession.h"

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Logging.h"
#include "app/Options.h"
#include "app/OptionsIO.h"
#include "app/Sound.h"
#include "db/Database.h"
#include "db/GroupManager.h"
#include "db/ParamCatalogue.h"
#include "link/ClientSock.h"
#include "maps/MapObjManager.h"
#include "maps/MapPanel.h"
#include "session/DataRuns.h"
#include "session/DatabasePart.h"
#include "session/DemoObject.h"
#include "session/DrainsPart.h"
#include "session/FuelPart.h"
#include "session/LiveObjects.h"
#include "session/Maintenance.h"
#include "session/MapInteraction.h"
#include "session/OnlineProcessor.h"
#include "session/ProgrammingPart.h"
#include "session/RegistryEdits.h"
#include "session/ReportsPart.h"
#include "session/Runner.h"
#include "session/ServerMessages.h"
#include "session/TrackDisplay.h"
#include "session/WebMapPart.h"
#include "tracks/FileManager.h"
#include "webmap/UHTTPserverUnit.h"
#include "webmap/WebMapBridge.h"

TClientSession::TClientSession(TOptions &options, TDialogs &dialogs, QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs), m_guard(dialogs) {
    m_runner = std::make_unique<TRunner>(m_guard);
    m_database = std::make_unique<TDatabasePart>(options, dialogs, *m_runner);
    db::TDatabase &main = m_database->database();
    m_fmngr = std::make_unique<TFManager>();
    m_processor = std::make_unique<TOnlineProcessor>(*m_fmngr, main, CoordCacheDir());
    m_server = std::make_unique<TServerController>(options, dialogs);
    m_server->setProcessor(m_processor.get());
    // The link thread lives from here to the end of the run; only its socket comes and goes.
    m_client = std::make_unique<TClientThread>(
        [this] { m_guard.run([this] { m_server->ClientDataIn(); }); },
        [this] { m_guard.run([this] { m_server->ClientStateChanged(); }); }, dialogs);
    m_client->setOnLines([this](const std::vector<TBytes> &lines) {
        m_guard.run([this, &lines] { m_server->ProcessLines(lines); });
    });
    m_server->setClient(m_client.get());
    m_panel = std::make_unique<TMapPanel>(dialogs);
    m_panel->FShowPointerToNotVisObj = options.ShowPointerToNotVisObj;
    m_items = std::make_unique<TMapObjManager>(m_panel.get());
    m_http = std::make_unique<TdmHTTPServer>();
    m_bridge = std::make_unique<TWebMapBridge>(options, dialogs);

    m_map = std::make_unique<TMapInteraction>(options, *m_panel, *m_items, m_selection);
    m_webMap = std::make_unique<TWebMapPart>(options, dialogs, *m_http, *m_bridge, *m_items);
    m_live = std::make_unique<TLiveObjects>(options, *m_panel, *m_items, *m_webMap, *m_server,
                                            *m_map, m_selection);
    m_runs = std::make_unique<TDataRuns>(options, dialogs, *m_runner, *m_fmngr);
    m_tracks = std::make_unique<TTrackDisplay>(options, dialogs, *m_fmngr, *m_panel, *m_items,
                                               *m_bridge, m_selection, *m_map, *m_runs);
    m_processor->setKeepsWholeTrack(
        [this](int n) { return n == m_items->GetActiveObject() || n == m_tracks->trackObject(); });
    m_registryEdits = std::make_unique<TRegistryEdits>(main, dialogs, *m_runs);
    m_maintenance =
        std::make_unique<TMaintenance>(options, dialogs, main, *m_fmngr, m_runner.get());
    m_demo = std::make_unique<TDemoObject>(options, dialogs, main, *m_fmngr, *m_panel, *m_items,
                                           *m_webMap, *m_tracks, *m_map, *m_live, m_selection);
    m_fuel = std::make_unique<TFuelPart>(main, options, dialogs, *m_fmngr, m_selection);
    m_programming = std::make_unique<TProgrammingPart>(dialogs, *m_server);
    m_reports = std::make_unique<TReportsPart>(options, dialogs, *m_runner, main);
    m_drains = std::make_unique<TDrainsPart>(options, dialogs, main, *m_fmngr, *m_items, *m_webMap,
                                             m_selection);
    wireParts();
}

TClientSession::~TClientSession() {
    m_database->tmrCheckConn.stop();
    m_demo->tmrDemoMode.stop();
    m_drains->tmrDrainPoll.stop();
    m_drains->tmrFlash.stop();
    m_client.reset(); // joins the worker before anything it calls back into goes
    // The parts go one by one: none may hear another's last signals (the registry's end).
    for (QObject *part : std::initializer_list<QObject *>{
             m_runner.get(), m_database.get(), m_server.get(), m_panel.get(), m_bridge.get(),
             m_map.get(), m_webMap.get(), m_live.get(), m_runs.get(), m_tracks.get(),
             m_registryEdits.get(), m_maintenance.get(), m_demo.get(), m_programming.get(),
             m_reports.get(), m_drains.get()})
        part->disconnect();
    m_http->StopServer();
    m_map->removePickedLabel();
    m_items.reset();
}

TManager *TClientSession::registry() const {
    return m_database->registry();
}

bool TClientSession::databaseConnected() const {
    return m_database->connected();
}

void TClientSession::showObjectsCount() {
    if (TManager *m = registry())
        emit statusText(TStatusField::Objects, m->AllObjConnectObjRatio());
}

void TClientSession::wireParts() {
    connect(m_runner.get(), &TRunner::activeChanged, this, &TClientSession::commandsChanged);
    connect(m_runner.get(), &TRunner::finished, this, [this] {
        if (m_closePending) {
            m_closePending = false;
            emit closeRequested();
        }
    });

    // The database and the registry of each connection.
    TDatabasePart &d = *m_database;
    connect(&d.tmrCheckConn, &QTimer::timeout, this,
            [this, &d] { m_guard.run([&d] { d.tmrCheckConnTimer(); }); });
    connect(&d, &TDatabasePart::lampChanged, this,
            [this](const QColor &c) { emit statusLamp(TStatusField::DatabaseLamp, c); });
    connect(&d, &TDatabasePart::commandsChanged, this, &TClientSession::commandsChanged);
    connect(&d, &TDatabasePart::busyChanged, this, &TClientSession::busyChanged);
    connect(&d, &TDatabasePart::registryChanged, this, &TClientSession::onRegistryChanged);
    connect(&d, &TDatabasePart::connectionMade, this, &TClientSession::showObjectsCount);
    // What writes through the connection or needs it stops first.
    connect(&d, &TDatabasePart::connectionClosing, this, [this] {
        m_demo->stop();
        m_drains->setRegistry(nullptr);
        if (m_client->getState() != 0)
            m_guard.run([this] { m_server->DisconnectFromServer(); });
    });
    connect(&d, &TDatabasePart::connectionClosed, m_panel.get(), &TMapPanel::Repaint);

    // The server's news.
    TServerController &s = *m_server;
    connect(&s, &TServerController::statusText, this, &TClientSession::statusText);
    connect(&s, &TServerController::statusLamp, this, &TClientSession::statusLamp);
    connect(&s, &TServerController::serverButtonDownChanged, this, [this](bool down) {
        m_serverButtonDown = down;
        emit serverButtonDownChanged(down);
    });
    connect(&s, &TServerController::connectCommandsChanged, this, [this](bool, bool disconnectOn) {
        m_linkUp = disconnectOn;
        emit commandsChanged();
    });
    // Sent on a change of selection and on each object's news: the commands are evaluated
    // again for the selected object.
    connect(&s, &TServerController::controlOutsEnabledChanged, this,
            [this] { emit commandsChanged(); });
    connect(&s, &TServerController::redrawGrid, this, [this] {
        emit gridRefreshRequested();
        emit m_live->gaugesChanged();
    });
    connect(&s, &TServerController::repaintMap, m_panel.get(), &TMapPanel::Repaint);
    connect(&s, &TServerController::objectConnectionNews, m_live.get(),
            &TLiveObjects::onConnectionNews);
    connect(&s, &TServerController::objectConnectionNews, m_demo.get(),
            &TDemoObject::onConnectionNews);
    connect(&s, &TServerController::allObjectsDisconnected, m_live.get(),
            &TLiveObjects::onAllObjectsDisconnected);
    // The live track grows before the marker moves and the view follows.
    connect(&s, &TServerController::packetsApplied, m_tracks.get(),
            &TTrackDisplay::onPacketsApplied);
    connect(&s, &TServerController::packetsApplied, m_live.get(), &TLiveObjects::onPacketsApplied);
    connect(&s, &TServerController::packetsApplied, this,
            [this](const std::vector<TAppliedPacket> &a) {
                m_guard.run([this, &a] { m_drains->onPacketsApplied(a); });
            });

    // The active object and its track.
    connect(m_live.get(), &TLiveObjects::activeObjectChanging, m_tracks.get(),
            &TTrackDisplay::otherObjectChosen);
    connect(m_map.get(), &TMapInteraction::currentMapText, this,
            [this](const QString &t) { emit statusText(TStatusField::CurrentMap, t); });
    connect(m_tracks.get(), &TTrackDisplay::statusText, this,
            [this](const QString &t) { emit statusText(TStatusField::LinkEvent, t); });
    connect(m_tracks.get(), &TTrackDisplay::busyChanged, this, &TClientSession::busyChanged);

    // The web map: a page that becomes ready shows the chosen object and track again.
    connect(m_webMap.get(), &TWebMapPart::pageReady, this,
            [this] { m_guard.run([this] { m_live->reselect(); }); });
    connect(m_webMap.get(), &TWebMapPart::trackRedrawRequested, this,
            [this] { m_tracks->redrawChosen(); });
    connect(m_webMap.get(), &TWebMapPart::trackCleared, this, [this] {
        m_tracks->resetShownTrack();
        m_items->RemoveRestPlaces();
    });

    // Runs.
    connect(m_runs.get(), &TDataRuns::fileImported, m_live.get(), &TLiveObjects::onFileImported);
    connect(m_runs.get(), &TDataRuns::runEnded, this, [this] {
        m_panel->Repaint();
        emit gridRefreshRequested();
    });

    // Registry edits reach the map items, the web map and the server's list of connected
    // objects.
    TRegistryEdits &r = *m_registryEdits;
    connect(&r, &TRegistryEdits::objectRegistered, this, [this](const TControllableObject &o) {
        m_live->registerObject(o);
        m_webMap->createMarkers();
        m_panel->Repaint();
        m_server->UpdateConnectedObjectsList();
    });
    connect(&r, &TRegistryEdits::objectChanged, this, [this](const TControllableObject &o) {
        m_live->registerObject(o);
        m_webMap->createMarkers(); // the label may have changed
        m_panel->Repaint();
    });
    connect(&r, &TRegistryEdits::objectRemoved, this, [this](int number) {
        const bool wasActive = m_items->GetActiveObject() == number;
        m_live->removeObject(number);
        m_webMap->createMarkers();
        if (wasActive)
            m_webMap->clearTrack();
        m_panel->Repaint();
    });
    connect(&r, &TRegistryEdits::registryEdited, this, &TClientSession::showObjectsCount);
    connect(&r, &TRegistryEdits::windowClosed, this,
            [this] { m_server->UpdateConnectedObjectsList(); });

    // Maintenance.
    connect(m_maintenance.get(), &TMaintenance::statisticsPurged, this, [this] {
        m_items->ClearTracks();
        m_panel->Repaint();
    });
    connect(m_maintenance.get(), &TMaintenance::catalogueReplaced, &d, &TDatabasePart::reconnect);

    // Fuel drains: their timers, the flashing markers, the alert's sound; a registry edit may
    // give an object a rule of its own.
    TDrainsPart &drains = *m_drains;
    connect(&drains.tmrDrainPoll, &QTimer::timeout, this,
            [this, &drains] { m_guard.run([&drains] { drains.tmrDrainPollTimer(); }); });
    connect(&drains.tmrFlash, &QTimer::timeout, &drains, &TDrainsPart::tmrFlashTimer);
    connect(&drains, &TDrainsPart::repaintMap, m_panel.get(), &TMapPanel::Repaint);
    connect(&drains, &TDrainsPart::soundRequested, this, [](const QString &f) { PlaySound(f); });
    for (auto signal : {&TRegistryEdits::objectRegistered, &TRegistryEdits::objectChanged})
        connect(&r, signal, &drains,
                [&drains](const TControllableObject &o) { drains.objectChanged(o.Number); });

    // The demonstration object.
    TDemoObject &demo = *m_demo;
    connect(&demo.tmrDemoMode, &QTimer::timeout, this,
            [this, &demo] { m_guard.run([&demo] { demo.tmrDemoModeTimer(); }); });
    connect(&demo, &TDemoObject::statusText, this, &TClientSession::statusText);
    connect(&demo, &TDemoObject::objectsChanged, this, &TClientSession::showObjectsCount);
    connect(&demo, &TDemoObject::gridRefreshRequested, this, &TClientSession::gridRefreshRequested);
    connect(&demo, &TDemoObject::gaugesChanged, m_live.get(), &TLiveObjects::gaugesChanged);

    // A report downloads its object's archive first when asked to.
    connect(m_reports.get(), &TReportsPart::downloadRequested, this,
            &TClientSession::downloadForReport);
}

void TClientSession::downloadForReport(int object, double from, double to) {
    // The archive comes from the server the link goes to: it is connected first when asked.
    if (m_client->getState() == 0) {
        if (m_dialogs.question(QStringLiteral("Для загрузки данных необходимо подключение к "
                                              "серверу. Выполнить подключение?"),
                               options::ApplicationTitle(), TMsgIcon::Question, mbYes | mbNo,
                               mbYes) != mbYes) {
            m_reports->downloadFinished(true);
            return;
        }
        connectServer();
    }
    const bool started = m_runs->DownloadObjectData(object, from, to, [this] {
        const bool failed = m_runs->downloadFailed();
        m_reports->downloadFinished(!failed, failed ? QStringLiteral("часть файлов не загружена")
                                                    : QString());
    });
    if (!started)
        m_reports->downloadFinished(false, QStringLiteral("загрузка не началась"));
}

void TClientSession::onRegistryChanged(TManager *registry) {
    m_server->setManager(registry);
    m_live->setRegistry(registry);
    m_tracks->setRegistry(registry);
    m_runs->setRegistry(registry);
    m_registryEdits->setRegistry(registry);
    m_demo->setRegistry(registry);
    m_fuel->setRegistry(registry);
    m_reports->setRegistry(registry);
    m_webMap->setRegistry(registry);
    m_guard.run([this, registry] { m_drains->setRegistry(registry); });
    emit registryChanged(registry);
}

// ---- start and exit

void TClientSession::FormShow() {
    const TFolders &f = Folders();
    const QString general = QStringLiteral("General");
    LogOperations(QStringLiteral("FolderPathAppDir=") + f.AppDir, general, 20);
    LogOperations(QStringLiteral("FolderPathProfile=") + f.ProfileDir, general, 20);
    LogOperations(QStringLiteral("FolderPathData=") + f.DataDir, general, 20);
    LogOperations(QStringLiteral("FolderPathCoordCache=") + f.CoordCacheDir, general, 20);
    LogOperations(QStringLiteral("FolderPathWebServer=") + f.WebServerDir, general, 20);

    m_guard.run([this] { m_map->openMaps(); });
    m_guard.run([this] { m_webMap->startWebMap(); });

    // The server can be reached only through a connected database.
    if (m_options.AutoConnect == 1) {
        m_guard.run([this] { m_database->connectDatabase(); });
        if (databaseConnected())
            m_guard.run([this] { connectServer(); });
    }

    if (m_options.FirstRun)
        emit firstRunRequested();
}

void TClientSession::FormClose() {
    if (databaseConnected() && registry()) {
        try {
            registry()->SaveSostGridColWidth();
        } catch (const std::exception &e) {
            m_dialogs.message(QStringLiteral("Не удалось сохранить настройки при выходе:\r\n") +
                                  TErrorGuard::ExceptionText(e),
                              QStringLiteral("Ошибка при сохранении настроек"), TMsgIcon::Error);
        }
    }
    m_guard.run([this] { disconnectServer(); });
    // Window sizes and positions are kept only while a database connection exists.
    if (databaseConnected())
        m_guard.run([this] { emit settingsSaveRequested(); });
    // No state callback may run into a window that is closing.
    m_guard.run([this] { m_client->Terminate(); });
    if (databaseConnected())
        m_guard.run([this] { m_database->disconnectDatabase(); });
}

bool TClientSession::requestClose() {
    if (!m_runner->active())
        return true;
    m_closePending = true;
    return false;
}

// ---- commands

void TClientSession::connectServer() {
    m_server->miConnectToServerClick();
}

void TClientSession::disconnectServer() {
    m_server->DisconnectFromServer();
}

void TClientSession::serverButton(bool down) {
    if (!down) {
        disconnectServer();
        return;
    }
    if (!databaseConnected())
        m_database->connectDatabase();
    if (databaseConnected())
        connectServer();
    else
        emit serverButtonDownChanged(false);
}

void TClientSession::sendObjectCommand(int code) {
    if (m_selection.number <= 0)
        return;
    m_server->SendObjectCommand(QString::number(m_selection.number), code);
}

void TClientSession::zoom(int steps) {
    if (m_webMap->webMapShown())
        m_webMap->zoom(steps);
    else
        m_map->zoom(steps);
}

void TClientSession::showAll(bool on) {
    if (m_webMap->webMapShown())
        m_webMap->showAll();
    else
        m_map->setShowAllObjects(on);
}

void TClientSession::beforeApplySettings() {
    if (databaseConnected() && registry())
        registry()->SaveSostGridColWidth();
}

void TClientSession::afterApplySettings() {
    m_live->applyColours();
    m_drains->settingsApplied();
    m_bridge->UpdateWebMapListMenu(m_options.WebMapList);
    m_panel->FShowPointerToNotVisObj = m_options.ShowPointerToNotVisObj;
    m_panel->Repaint();
    // The arrangement of the shown groups and parameters follows the catalogue.
    if (databaseConnected())
        TFieldsOrder::Rewrite(m_database->database(), TFieldsOrder::DefaultFileName());
    if (databaseConnected() && registry()) {
        registry()->RestructSostGridFields();
        emit gridRefreshRequested();
    }
}

bool TClientSession::isEnabled(TSessionCommand command) const {
    const bool connected = m_database->commandsEnabled();
    // A run (an import, a download, the database update) holds the connection, the registry
    // and the track files: nothing may replace them, and no command that opens a modal window
    // or touches the run's data may start, so that the run's "Отмена" is always reachable.
    const bool busy = m_runner->active();
    switch (command) {
    case TSessionCommand::DatabaseConnect:
        return !connected && !busy;
    case TSessionCommand::DatabaseDisconnect:
        return connected && !busy;
    case TSessionCommand::DatabaseButton:
    case TSessionCommand::ClearCache:
    case TSessionCommand::UpdateDatabase:
    case TSessionCommand::ServerButton:
    case TSessionCommand::Settings:
        return !busy;
    case TSessionCommand::ExecScript:
        return !connected && !busy;
    case TSessionCommand::ServerConnect:
        return connected && !m_linkUp;
    case TSessionCommand::ServerDisconnect:
        return m_linkUp;
    case TSessionCommand::RelayControl:
    case TSessionCommand::SetupDevice:
        return m_live->selectedOnLine();
    case TSessionCommand::DownloadData: // a download fetches from the server it is linked to
        return connected && m_linkUp && !busy;
    case TSessionCommand::ClearTrack:
        return connected;
    case TSessionCommand::ObjectData:
        return connected && !busy && m_selection.number > 0;
    case TSessionCommand::ClearStatistics:
    case TSessionCommand::ObjectRegistry:
    case TSessionCommand::ImportFiles:
    case TSessionCommand::ImportFolder:
    case TSessionCommand::DownloadObject:
    case TSessionCommand::DemoObject:
    case TSessionCommand::LoadTrack:
    case TSessionCommand::Calibration:
    case TSessionCommand::FuelCharges:
    case TSessionCommand::Reports:
    case TSessionCommand::Drains:
        return connected && !busy;
    case TSessionCommand::Count:
        break;
    }
    return false;
}
