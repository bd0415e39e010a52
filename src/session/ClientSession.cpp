#include "session/ClientSession.h"

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Logging.h"
#include "app/Options.h"
#include "app/OptionsIO.h"
#include "archive/DownloadProgress.h"
#include "db/Database.h"
#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "db/ParamCatalogue.h"
#include "db/ScriptExecution.h"
#include "db/StatisticsPurge.h"
#include "db/TrackImport.h"
#include "link/ClientSock.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "maps/MapPanel.h"
#include "session/OnlineProcessor.h"
#include "session/ServerMessages.h"
#include "tracks/CacheCleaner.h"
#include "tracks/CoordsUtils.h"
#include "tracks/FileManager.h"
#include "tracks/TrackPartsModel.h"
#include "webmap/UHTTPserverUnit.h"
#include "webmap/WebMapBridge.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>

#include <cmath>

namespace {
// The web map's markers: the registry's objects in its order (none without a registry).
QVector<TWebMapMarker> webMapMarkers(const TManager *registry) {
    QVector<TWebMapMarker> out;
    if (registry)
        for (const TControllableObject *o : registry->FObjects)
            out.push_back(TWebMapMarker{o->Lat, o->Lng, o->Number, o->ShortName, o->TS});
    return out;
}
} // namespace

TClientSession::TClientSession(TOptions &options, TDialogs &dialogs, QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs), m_guard(dialogs) {
    m_db = std::make_unique<db::TDatabaseController>(options, dialogs);
    m_fmngr = std::make_unique<TFManager>();
    m_processor = std::make_unique<TOnlineProcessor>(*m_fmngr, m_db->Database(), CoordCacheDir());
    m_server = std::make_unique<TServerController>(options, dialogs);
    m_server->setProcessor(m_processor.get());
    // The link thread lives from here to the end of the run; only its socket comes and goes.
    m_client = std::make_unique<TClientThread>(
        [this] { m_guard.run([this] { m_server->ClientDataIn(); }); },
        [this] { m_guard.run([this] { m_server->ClientStateChanged(); }); }, dialogs);
    m_server->setClient(m_client.get());
    m_panel = std::make_unique<TMapPanel>(dialogs);
    m_panel->FShowPointerToNotVisObj = options.ShowPointerToNotVisObj;
    m_mapObjs = std::make_unique<TMapObjManager>(m_panel.get());
    applyColours();
    m_http = std::make_unique<TdmHTTPServer>();
    m_webMap = std::make_unique<TWebMapBridge>(options, dialogs);
    // The web map's track state is the parts table's and the raster map's rest places'.
    connect(m_webMap.get(), &TWebMapBridge::trackCleared, this, [this] {
        resetShownTrack();
        m_mapObjs->RemoveRestPlaces();
    });
    // The page shows the track chosen in the parts table again once it is ready.
    m_trackParts = new TTrackPartsModel(this);
    m_importProgress = std::make_unique<TImportProgress>();
    m_downloadProgress = std::make_unique<TDownloadProgress>();
    // A ready page gets the markers and the track chosen in the parts table (a failure ends
    // the readiness polling with its log line), then the object chosen in the grid meanwhile.
    connect(m_webMap.get(), &TWebMapBridge::mapReady, this, [this] {
        m_webMap->CreateMarkersOnMap(webMapMarkers(m_registry.get()));
        sgTrackClick(m_trackRow);
        m_guard.run([this] {
            if (m_selectedNumber > 0)
                selectObject(m_selectedNumber, m_selectedRow);
        });
    });
    m_mapObjs->SetVisualState(TMapObjManager::AllMarkers | TMapObjManager::ActiveTrack);

    tmrCheckConn.setInterval(1000);
    connect(&tmrCheckConn, &QTimer::timeout, this,
            [this] { m_guard.run([this] { tmrCheckConnTimer(); }); });
    tmrDemoMode.setInterval(2000);
    connect(&tmrDemoMode, &QTimer::timeout, this,
            [this] { m_guard.run([this] { tmrDemoModeTimer(); }); });

    connect(m_db.get(), &db::TDatabaseController::statusPanel2Changed, this,
            [this](const QColor &c) { emit statusLamp(TStatusField::DatabaseLamp, c); });
    connect(m_db.get(), &db::TDatabaseController::connectButtonDownChanged, this,
            &TClientSession::databaseButtonDownChanged);
    connect(m_db.get(), &db::TDatabaseController::databaseCommandsChanged, this,
            &TClientSession::setCommandState);
    connect(m_db.get(), &db::TDatabaseController::busyChanged, this, &TClientSession::busyChanged);

    connect(m_server.get(), &TServerController::statusText, this, &TClientSession::statusText);
    connect(m_server.get(), &TServerController::statusLamp, this, &TClientSession::statusLamp);
    connect(m_server.get(), &TServerController::serverButtonDownChanged, this, [this](bool down) {
        m_serverButtonDown = down;
        emit serverButtonDownChanged(down);
    });
    connect(m_server.get(), &TServerController::connectCommandsChanged, this,
            [this](bool, bool disconnectOn) {
                m_linkUp = disconnectOn;
                setCommandState();
            });
    connect(m_server.get(), &TServerController::controlOutsEnabledChanged, this, [this](bool on) {
        m_controlOuts = on;
        setCommandState();
    });
    connect(m_server.get(), &TServerController::redrawGrid, this, [this] {
        emit gridRefreshRequested();
        emit gaugesChanged();
    });
    connect(m_server.get(), &TServerController::repaintMap, m_panel.get(), &TMapPanel::Repaint);
    connect(m_server.get(), &TServerController::objectConnectionNews, this,
            &TClientSession::onConnectionNews);
    connect(m_server.get(), &TServerController::allObjectsDisconnected, this,
            &TClientSession::onAllObjectsDisconnected);
    connect(m_server.get(), &TServerController::packetsApplied, this,
            &TClientSession::onPacketsApplied);

    connect(m_panel.get(), &TMapPanel::OnStartOpenMap, this,
            [this] { emit statusText(TStatusField::CurrentMap, QString()); });
    connect(m_panel.get(), &TMapPanel::OnEndOpenMap, this, [this] {
        emit statusText(TStatusField::CurrentMap, QStringLiteral("Текущая карта: ") +
                                                      m_panel->GetCurrentMapDescription().Name);
    });
}

TClientSession::~TClientSession() {
    tmrCheckConn.stop();
    tmrDemoMode.stop();
    m_client.reset(); // joins the worker before anything it calls back into goes
    m_http->StopServer();
    m_infoLabel = nullptr;
    m_mapObjs.reset();
    destroyRegistry();
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

    m_guard.run([this] { openMaps(); });
    m_guard.run([this] { startWebMap(); });

    // The server can be reached only through a connected database.
    if (m_options.AutoConnect == 1) {
        m_guard.run([this] { connectDatabase(); });
        if (databaseConnected())
            m_guard.run([this] { connectServer(); });
    }

    if (m_options.FirstRun)
        emit firstRunRequested();
}

void TClientSession::FormClose() {
    if (databaseConnected() && m_registry) {
        try {
            m_registry->SaveSostGridColWidth();
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
        m_guard.run([this] { disconnectDatabase(); });
}

// ---- database

bool TClientSession::databaseConnected() const {
    return m_db->FLastDbConnectionSost == 1;
}

bool TClientSession::openDatabase() {
    return m_db->ConnectToDB(m_options.DBServ, m_options.DBPath, m_options.DBPass,
                             m_options.DBLogin, [this] { createRegistry(); });
}

void TClientSession::connectDatabase() {
    if (m_db->updateRunning() || m_importRunning)
        return;
    if (!openDatabase()) {
        m_db->setButtonDown(false);
        return;
    }
    if (m_db->versionCheck())
        emit updateRequested(); // its outcome does not stop the command
    // The update closes the main connection at its end; the rest of the command needs it.
    if (!m_db->Database().isOpen() && !openDatabase()) {
        m_db->setButtonDown(false);
        return;
    }
    m_db->setCommands(true);
    afterConnected();
    m_db->setButtonDown(true);
    tmrCheckConn.start();
}

void TClientSession::afterConnected() {
    if (!m_registry)
        return;
    m_registry->ResetHadOnlineDataState();
    m_registry->RestructSostGridFields();
    m_registry->selectView(m_registry->viewIndex() < 0 ? 0 : m_registry->viewIndex());
    emit statusText(TStatusField::Objects, m_registry->AllObjConnectObjRatio());
}

void TClientSession::disconnectDatabase() {
    if (m_db->updateRunning() || m_importRunning)
        return;
    disconnectForUpdate();
}

void TClientSession::disconnectForUpdate() {
    // The replay writes through the main connection: it ends with it.
    if (m_demoOn)
        stopDemo();
    if (m_client->getState() != 0)
        m_guard.run([this] { m_server->DisconnectFromServer(); });
    if (!m_db->DisconnectFromDB())
        destroyRegistry(); // the server no longer answered: its registry goes with it
    m_db->setCommands(false);
    m_db->setSost(0);
    m_panel->Repaint();
    m_db->setButtonDown(false);
    tmrCheckConn.stop();
}

void TClientSession::databaseButton(bool down) {
    if (down)
        connectDatabase();
    else
        disconnectDatabase();
}

void TClientSession::tmrCheckConnTimer() {
    tmrCheckConn.stop();
    // An import holds the registry: a lost connection is noticed after it.
    if (!m_db->updateRunning() && !m_importRunning && m_db->tbConnectDBDown() &&
        !m_db->Database().ping()) {
        disconnectDatabase();
        m_dialogs.message(QStringLiteral("Cоединение с базой данных потеряно. Для продолжения "
                                         "\r\nработы необходимо выполнить переподключение."),
                          QStringLiteral("Ошибка подключения"), TMsgIcon::Warning);
    }
    if (m_db->Database().isOpen())
        tmrCheckConn.start();
}

void TClientSession::setUpdateRunning(bool running) {
    m_db->setUpdateRunning(running);
    setCommandState();
}

bool TClientSession::updateRunning() const {
    return m_db->updateRunning();
}

void TClientSession::createRegistry() {
    destroyRegistry();
    m_registry = std::make_unique<TManager>(db::TConnectionSettings::fromOptions(m_options),
                                            m_dialogs, CoordCacheDir());
    m_server->setManager(m_registry.get());
    registerMapObjects();
    m_webMap->CreateMarkersOnMap(webMapMarkers(m_registry.get()));
    m_webMap->ClearWebMapTrack();
    emit registryChanged(m_registry.get());
}

void TClientSession::destroyRegistry() {
    if (!m_registry)
        return;
    m_server->setManager(nullptr);
    emit registryChanged(nullptr);
    m_registry.reset();
}

void TClientSession::registerMapObjects() {
    removePickedLabel();
    m_mapObjs->Clear();
    if (!m_registry)
        return;
    for (TControllableObject *o : m_registry->FObjects)
        registerMapObject(*o);
    m_panel->Repaint();
}

void TClientSession::registerMapObject(const TControllableObject &o) {
    // Loaded from the registry: stored data until the server says otherwise. The item starts
    // with an empty track.
    TDataRecord r;
    r.FTimeStamp = o.TS;
    r.FCoords = TGeoCoords{o.Lat, o.Lng};
    r.Status = 1;
    if (TManagedItem *item = m_mapObjs->AddObject(o.Number, r)) {
        item->track()->Clear();
        item->FArchive = true;
        item->marker()->FColor = m_mapObjs->MarkerColour(*item, false);
        item->description().Name = o.Name;
    }
}

// ---- server

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
        connectDatabase();
    if (databaseConnected())
        connectServer();
    else
        emit serverButtonDownChanged(false);
}

void TClientSession::sendObjectCommand(int code) {
    if (m_selectedNumber <= 0)
        return;
    m_server->SendObjectCommand(QString::number(m_selectedNumber), code);
}

void TClientSession::onConnectionNews(int number, TConnectionNews news) {
    TManagedItem *item = m_mapObjs->Item(number);
    if (!item)
        return;
    // Connected objects show live data, disconnected ones stored data.
    item->SetConnected(news != TConnectionNews::Disconnected);
    item->FArchive = news == TConnectionNews::Disconnected;
    item->marker()->FColor = m_mapObjs->MarkerColour(*item, number == m_mapObjs->GetActiveObject());
}

void TClientSession::onAllObjectsDisconnected() {
    m_mapObjs->DisconnectAll();
}

void TClientSession::onPacketsApplied(const std::vector<TAppliedPacket> &applied) {
    for (const TAppliedPacket &a : applied) {
        if (!a.updating || !a.object)
            continue;
        const TControllableObject &o = *a.object;
        const bool active = o.Number == m_mapObjs->GetActiveObject();
        // The live track of the active object grows by the packet's positions; a packet
        // without positions has nothing new to draw.
        if (!m_archiveView && active) {
            m_webMap->CleanupCurrentTrack();
            if (a.trackFrom != 0)
                ShowTrack(o.Number, a.trackFrom, false, -1);
        }
        // The item's current record takes the object's position.
        if (TManagedItem *item = m_mapObjs->Item(o.Number))
            item->MoveCurrent(TGeoCoords{o.Lat, o.Lng}, o.TS);
        m_webMap->MarkerAt(TWebMapMarker{o.Lat, o.Lng, o.Number, o.ShortName, o.TS});
        if (!m_archiveView && active)
            followActive(false);
    }
    m_panel->Repaint();
    emit gaugesChanged();
}

// ---- the active object

void TClientSession::selectObject(int number, int row) {
    m_selectedNumber = number;
    m_selectedRow = row;
    if (m_registry)
        m_registry->setSelectedRow(row);
    m_server->EnDisControlOuts(number);
    emit gaugesChanged();
    if (!m_registry || !databaseConnected())
        return;
    m_mapObjs->SetVisualState(m_mapObjs->visualState() & ~TMapObjManager::ActiveLabel);
    // Another object: the shown track and its table go, the program returns to on-line mode.
    if (number != m_mapObjs->GetActiveObject()) {
        resetShownTrack();
        m_trackRow = 0;
        clearTrackScripts();
        tbBrowseModeClick(false);
    }
    if (m_options.UseGoogleMap) {
        // The web map centres on the object and places its marker once it is ready.
        if (m_webMap->ShowSelectedObject(webMarker(number)))
            m_mapObjs->SetActiveObject(number);
        return;
    }
    if (number != m_mapObjs->GetActiveObject())
        if (TManagedItem *i = m_mapObjs->Item(number))
            i->track()->Clear();
    m_mapObjs->SetActiveObject(number);
    followActive(true);
    m_panel->Repaint();
}

void TClientSession::setFollowMode(bool on) {
    m_followMode = on;
    if (on) {
        followActive(true);
        m_panel->Repaint();
    }
}

std::optional<TGaugeValues> TClientSession::gauges() const {
    if (!m_registry || m_selectedRow < 1)
        return std::nullopt;
    return m_registry->gaugesFor(m_selectedRow);
}

void TClientSession::followActive(bool selectBest) {
    TManagedItem *item = m_mapObjs->Item(m_mapObjs->GetActiveObject());
    if (!item || !m_followMode)
        return;
    const TGeoCoords pos = item->current().FCoords;
    if (pos.Latitude == 0 && pos.Longitude == 0)
        return;
    if (selectBest && (!m_panel->isCoordsInCurrentMap(pos) || m_options.SelectBestMap) &&
        m_options.AutoMapChange)
        m_panel->SelectBestFitMap(pos, true);
    if (m_panel->isCoordsInCurrentMap(pos))
        m_panel->MoveCamera(pos);
}

// ---- the raster map

void TClientSession::openMaps() {
    m_panel->LoadMapFiles(m_options.Maps);
    m_options.FisMapListChanged = false;
    if (!m_options.Maps.isEmpty())
        m_panel->OpenMap(m_options.DefaultMap);
}

void TClientSession::zoom(int steps) {
    for (int i = 0; i < std::abs(steps); ++i)
        steps > 0 ? m_panel->ZoomIn() : m_panel->ZoomOut();
    followActive(false);
    m_panel->Repaint();
}

void TClientSession::setShowAllObjects(bool on) {
    m_mapObjs->SetVisualState(TMapObjManager::ActiveTrack |
                              (on ? TMapObjManager::AllMarkers : TMapObjManager::ActiveMarker));
    m_panel->Repaint();
}

void TClientSession::setShowNumbers(bool on) {
    const int v = m_mapObjs->visualState();
    m_mapObjs->SetVisualState(
        on ? (v | TMapObjManager::AllLabels)
           : (v & ~(TMapObjManager::AllLabels | TMapObjManager::ActiveLabel)));
    m_panel->Repaint();
}

void TClientSession::setTrackPoints(bool points) {
    m_mapObjs->SetTrackType(points ? TMapObjManager::PointTrack : 0);
    m_panel->Repaint();
}

void TClientSession::deleteTracks() {
    m_mapObjs->ClearTracks();
    m_panel->Repaint();
}

void TClientSession::mapPressed(const QPoint &pos, bool rightButton) {
    m_lastMapPos = pos;
    if (rightButton && m_panel->isMapReady())
        m_pickedPosition = m_panel->ScreenToGeo(pos.x(), pos.y());
}

void TClientSession::mapDragged(const QPoint &pos, bool leftButton) {
    if (!leftButton)
        return;
    // Dragging moves the camera the other way.
    m_panel->MoveCamera(m_lastMapPos.x() - pos.x(), m_lastMapPos.y() - pos.y());
    m_lastMapPos = pos;
    m_panel->Repaint();
}

QString TClientSession::pickedPointText(int number, const TPositionSnapshot &pos) const {
    // The speed at the picked point: from the track point before it, when it is plausible.
    QString speed = QStringLiteral("---");
    if (const TManagedItem *item = m_mapObjs->Item(number)) {
        const TTrack *tr = item->track();
        for (int k = 1; k < tr->Count(); ++k) {
            if (tr->Point(k).DateTime != pos.TimeStamp)
                continue;
            const TTrackPoint &a = tr->Point(k - 1), &b = tr->Point(k);
            const long double seconds = (b.DateTime - a.DateTime) * 86400.0L;
            if (seconds > 0) {
                const long double kmh = GeoDistance(a.GeoCoords, b.GeoCoords) * 3.6L / seconds;
                if (kmh < m_options.MaxSpeed)
                    speed = QString::asprintf("%.2f", double(kmh)).replace('.', ',') +
                            QStringLiteral(" км/ч");
            }
            break;
        }
    }
    return QStringLiteral("Номер объекта: %1\r\nДата: %2\r\nВремя: %3\r\nШирота: %4\r\nДолгота: "
                          "%5\r\nСкорость: %6")
        .arg(number)
        .arg(dt::dateToStr(pos.TimeStamp), dt::timeToStr(pos.TimeStamp),
             FormatDMS(pos.Coords.Latitude), FormatDMS(pos.Coords.Longitude), speed);
}

QString TClientSession::pickedPointLabel() const {
    return m_infoLabel ? m_infoLabel->FText : QString();
}

void TClientSession::removePickedLabel() {
    if (m_infoLabel) {
        m_panel->RemoveObject(m_infoLabel);
        m_infoLabel = nullptr;
    }
}

void TClientSession::mapClicked(const QPoint &at) {
    int number = -1;
    TPositionSnapshot pos;
    const bool hit =
        m_panel->isMapReady() &&
        m_mapObjs->GetObjInCoords(m_panel->ScreenToMap(at), number, pos,
                                  TMapObjManager::AllMarkers | TMapObjManager::ActiveMarker |
                                      TMapObjManager::AllTracks | TMapObjManager::ActiveTrack |
                                      TMapObjManager::ActiveLabel | TMapObjManager::AllLabels);
    if (!hit) {
        removePickedLabel();
        m_panel->Repaint();
        return;
    }
    if (!m_infoLabel) {
        m_infoLabel = m_panel->CreateObject<TMapLabel>();
        m_infoLabel->FSize = 10;
        m_infoLabel->FColor = QGuiApplication::palette().color(QPalette::ToolTipText);
        m_infoLabel->FBackColor = QGuiApplication::palette().color(QPalette::ToolTipBase);
    }
    m_infoLabel->FText = pickedPointText(number, pos);
    m_infoLabel->SetPosition(pos);
    m_infoLabel->FisVisible = true;
    m_panel->Repaint();
}

QStringList TClientSession::mapNames() {
    if (m_options.FisMapListChanged) {
        m_panel->LoadMapFiles(m_options.Maps);
        m_options.FisMapListChanged = false;
    }
    QStringList names;
    m_panel->GetMapsList(names);
    return names;
}

int TClientSession::currentMapIndex() const {
    return m_panel->currentMapIndex();
}

void TClientSession::selectMap(int index) {
    if (index < 0 || index == m_panel->currentMapIndex())
        return;
    const TManagedItem *item = m_mapObjs->Item(m_mapObjs->GetActiveObject());
    const TGeoCoords pos = item ? item->current().FCoords : TGeoCoords{};
    // The chosen map opens centred on the followed object when it lies on it.
    if (m_followMode && item && (pos.Latitude != 0 || pos.Longitude != 0))
        m_panel->OpenMap(index, pos);
    else
        m_panel->OpenMap(index);
    m_panel->Repaint();
}

void TClientSession::showObjectOnMap(int number) {
    const TManagedItem *item = m_mapObjs->Item(number);
    if (!item)
        return;
    const TGeoCoords pos = item->current().FCoords;
    if (pos.Latitude == 0 && pos.Longitude == 0)
        return;
    if (!m_panel->isCoordsInCurrentMap(pos))
        m_panel->SelectBestFitMap(pos, true);
    if (m_panel->isCoordsInCurrentMap(pos))
        m_panel->MoveCamera(pos);
    m_panel->Repaint();
}

// ---- the web map

TWebMapMarker TClientSession::webMarker(int number) const {
    TWebMapMarker m;
    m.Number = number;
    if (const TManagedItem *item = m_mapObjs->Item(number)) {
        m.Lat = item->current().FCoords.Latitude;
        m.Lng = item->current().FCoords.Longitude;
        m.TS = item->current().FTimeStamp;
    }
    if (const TControllableObject *o = m_registry ? m_registry->FindObject(number) : nullptr)
        m.ShortName = o->ShortName;
    return m;
}

void TClientSession::startWebMap() {
    m_webMap->InternetIsOK = false;
    m_webMap->WebMapInited = false;
    m_http->DocumentRoot = WebServerDir();
    m_webMap->CurrentWebServerPort =
        StartLocalWebServer(*m_http, m_options.WebServerPort, m_dialogs);
    m_webMap->UpdateWebMapListMenu(m_options.WebMapList);
    if (m_options.UseGoogleMap) {
        emit webViewRequested(true); // the browser is there before the page is asked for
        m_webMap->LoadWebMap(m_options.DefaultWebMap);
    }
}

void TClientSession::selectWebMap(int tag) {
    emit webViewRequested(true);
    m_webMap->miSelectInternetClick(tag);
}

void TClientSession::selectStaticMap() {
    emit webViewRequested(false);
}

void TClientSession::refreshWebMap() {
    m_webMap->tbRefreshWebMapClick();
}

void TClientSession::settingsAccepted() {
    if (m_options.UseGoogleMap && !m_webMap->WebMapInited)
        m_webMap->LoadWebMap(m_options.DefaultWebMap);
}

bool TClientSession::webMapShown() const {
    return m_options.UseGoogleMap;
}

// ---- maintenance

void TClientSession::clearCache() {
    if (m_db->updateRunning() || m_importRunning)
        return;
    ClearCache(m_fmngr.get(), m_dialogs);
}

void TClientSession::purgeStatistics(std::optional<int> object, TDateTime upTo) {
    PurgeStatistics(m_db->Database(), object, upTo);
    // The purged history leaves the map too.
    m_mapObjs->ClearTracks();
    m_panel->Repaint();
    m_dialogs.message(QStringLiteral("Очистка статистики завершена!"),
                      QStringLiteral("Удаление архивных данных"), TMsgIcon::Information);
}

void TClientSession::execScript() {
    db::TScriptExecution(m_options, m_dialogs).miExecScriptClick();
}

// ---- the object registry

std::vector<TObjectRecord> TClientSession::registryList() {
    return TObjectRegistry(m_db->Database(), m_dialogs).LoadList();
}

std::vector<std::pair<QString, QString>> TClientSession::groupChoices() const {
    std::vector<std::pair<QString, QString>> out{{QStringLiteral("нет группы"), QString()}};
    if (m_registry)
        for (const auto &g : m_registry->FGroups)
            if (!g->FPath.isEmpty()) // a group outside the tree cannot be chosen
                out.emplace_back(g->FPath, g->FID);
    return out;
}

QString TClientSession::objectGroupId(int number) const {
    const TControllableObject *o = m_registry ? m_registry->FindObject(number) : nullptr;
    return o && o->Group ? o->Group->FID : QString();
}

void TClientSession::mirrorRegistryObject(const TObjectRecord &r, TControllableObject *o) {
    o->Name = r.name;
    o->ShortName = r.shortName;
    o->TankVolume = static_cast<int>(std::floor(r.tankVolume));
    o->FuelConsS = static_cast<int>(std::floor(r.fuelConsS));
    o->FuelConsW = static_cast<int>(std::floor(r.fuelConsW));
    o->UseEngineForPark = r.useEngineForPark;
    o->TimeZone = r.timeZone;
    if (TManagedItem *item = m_mapObjs->Item(o->Number))
        item->description().Name = o->Name;
    else
        registerMapObject(*o);
    // The object's track folder.
    QDir().mkpath(CoordCacheDir() + QString::number(o->Number));
}

TRegistrySave TClientSession::addRegistryObject(const TObjectForm &form) {
    const TRegistryEdit e = TObjectRegistry(m_db->Database(), m_dialogs).Add(form);
    if (e.result != TRegistrySave::Saved || !m_registry)
        return e.result;
    const TObjectRecord &r = e.record;
    TControllableObject *o = m_registry->AddObject(
        r.number, r.name, r.timeZone, static_cast<int>(r.fuelConsS), static_cast<int>(r.fuelConsW),
        m_registry->FindGroup(form.groupId), r.shortName);
    mirrorRegistryObject(r, o);
    m_registry->RefreshGroups();
    m_registry->ExpandParents();
    m_webMap->CreateMarkersOnMap(webMapMarkers(m_registry.get()));
    m_panel->Repaint();
    return e.result;
}

TRegistrySave TClientSession::editRegistryObject(const TObjectForm &form, int &storedTimeZone) {
    bool ok = false;
    const int number = form.number.trimmed().toInt(&ok);
    TObjectRegistry registry(m_db->Database(), m_dialogs);
    const TRegistryEdit e =
        registry.Edit(form, storedTimeZone, ok ? objectGroupId(number) : QString());
    if (e.result != TRegistrySave::Saved)
        return e.result;
    storedTimeZone = e.record.timeZone;
    if (TControllableObject *o = m_registry ? m_registry->FindObject(number) : nullptr) {
        mirrorRegistryObject(e.record, o);
        if (e.groupChanged) {
            if (TGroup *old = o->Group)
                old->FObjects.erase(std::remove(old->FObjects.begin(), old->FObjects.end(), o),
                                    old->FObjects.end());
            TGroup *chosen = m_registry->FindGroup(form.groupId);
            if (chosen && std::find(chosen->FObjects.begin(), chosen->FObjects.end(), o) ==
                              chosen->FObjects.end())
                chosen->FObjects.push_back(o);
            o->Group = chosen;
            if (chosen)
                m_registry->FLMGroup = chosen;
        }
    }
    if (e.deleteHistory && registry.DeleteHistory(number) && e.reimport) {
        try {
            reloadObjectTracks(number);
        } catch (const std::exception &x) {
            m_dialogs.message(QStringLiteral("Во время импорта данных произошла ошибка: \r\n") +
                                  TErrorGuard::ExceptionText(x),
                              QStringLiteral("Редактирование объекта"), TMsgIcon::Error);
        }
    }
    if (m_registry) {
        m_registry->RefreshGroups();
        m_registry->ExpandParents();
    }
    m_webMap->CreateMarkersOnMap(webMapMarkers(m_registry.get())); // the label may have changed
    m_panel->Repaint();
    return e.result;
}

void TClientSession::reloadObjectTracks(int number) {
    // The object's data files are imported again with its new time zone.
    ReloadTracks(number);
}

bool TClientSession::deleteRegistryObject(int number) {
    if (!TObjectRegistry(m_db->Database(), m_dialogs).Delete(number))
        return false;
    if (!m_registry)
        return true;
    const bool wasActive = m_mapObjs->GetActiveObject() == number;
    // DeleteObject leaves every group's member list too.
    m_registry->DeleteObject(number);
    m_registry->RestructSostGridObjects();
    m_mapObjs->RemoveObject(number);
    m_webMap->CreateMarkersOnMap(webMapMarkers(m_registry.get()));
    if (wasActive)
        m_webMap->ClearWebMapTrack();
    m_registry->RefreshGroups();
    m_registry->ExpandParents();
    m_panel->Repaint();
    return true;
}

void TClientSession::exportRegistryObject(int number) {
    TObjectRegistry registry(m_db->Database(), m_dialogs);
    const std::optional<TObjectRecord> r = registry.Find(number);
    if (!r)
        return;
    const QString file =
        m_dialogs.saveFile(QStringLiteral("Экспорт данных объекта"), QString(),
                           QStringLiteral("Информация об объекте (*.oni)|*.oni|Все файлы (*.*)|*"),
                           QString::number(number) + QStringLiteral(".oni"));
    if (!file.isEmpty())
        registry.Export(*r, file);
}

std::optional<int> TClientSession::importRegistryObject() {
    const QString file =
        m_dialogs.openFile(QStringLiteral("Импорт данных об объекте"), QString(),
                           QStringLiteral("Информация об объекте (*.oni)|*.oni|Все файлы (*.*)|*"));
    if (file.isEmpty())
        return std::nullopt;
    TObjectRegistry registry(m_db->Database(), m_dialogs);
    const std::optional<TObjectRecord> r = registry.Import(file);
    if (!r)
        return std::nullopt;
    if (m_registry) {
        TControllableObject *o = m_registry->FindObject(r->number);
        if (!o)
            o = m_registry->AddObject(
                r->number, r->name, r->timeZone, static_cast<int>(std::floor(r->fuelConsS)),
                static_cast<int>(std::floor(r->fuelConsW)), nullptr, r->shortName);
        mirrorRegistryObject(*r, o);
        m_webMap->CreateMarkersOnMap(webMapMarkers(m_registry.get()));
        m_panel->Repaint();
    }
    registry.ReportImported(r->number);
    return r->number;
}

void TClientSession::registryWindowClosed() {
    if (!m_registry)
        return;
    m_registry->selectView(m_registry->viewIndex() < 0 ? 0 : m_registry->viewIndex());
    emit statusText(TStatusField::Objects, m_registry->AllObjConnectObjRatio());
}

// ---- field settings

void TClientSession::exportFieldSettings() {
    QString file =
        m_dialogs.saveFile(QStringLiteral("Экспортировать настройки во внешний файл"), ProfileDir(),
                           QStringLiteral("Файл настроек полей (*.fcg)|*.fcg"), QString());
    if (file.isEmpty())
        return;
    if (QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".txt");
    fieldsettings::Export(m_db->Database(), file, TFieldsOrder::DefaultFileName());
    m_dialogs.message(QStringLiteral("Настройки успешно экспортированны из базы данных во внешний "
                                     "файл"),
                      options::ApplicationTitle(), TMsgIcon::Information);
}

void TClientSession::importFieldSettings() {
    QString file = m_dialogs.openFile(QStringLiteral("Импортировать настройки из внешнего файла"),
                                      DataDir(), QStringLiteral("Текстовый файл (*.fcg)|*.fcg"));
    if (file.isEmpty())
        return;
    try {
        fieldsettings::Import(m_db->Database(), file, TFieldsOrder::DefaultFileName(), m_dialogs);
    } catch (const EFieldSettingsError &e) {
        m_dialogs.message(e.text(), QStringLiteral("Импорт настроек"), TMsgIcon::Error);
        return;
    }
    // Everything that read the catalogue reads it again.
    disconnectDatabase();
    connectDatabase();
    m_dialogs.message(QStringLiteral("Настройки успешно загруженны из файла в базу данных"),
                      options::ApplicationTitle(), TMsgIcon::Information);
}

// ---- settings

void TClientSession::beforeApplySettings() {
    if (databaseConnected() && m_registry)
        m_registry->SaveSostGridColWidth();
}

void TClientSession::afterApplySettings() {
    applyColours();
    m_webMap->UpdateWebMapListMenu(m_options.WebMapList);
    m_panel->FShowPointerToNotVisObj = m_options.ShowPointerToNotVisObj;
    m_panel->Repaint();
    // The arrangement of the shown groups and parameters follows the catalogue.
    if (databaseConnected())
        TFieldsOrder::Rewrite(m_db->Database(), TFieldsOrder::DefaultFileName());
    if (databaseConnected() && m_registry) {
        m_registry->RestructSostGridFields();
        emit gridRefreshRequested();
    }
}

void TClientSession::applyColours() {
    const auto fromBgr = [](int c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); };
    m_mapObjs->SetColours(fromBgr(m_options.MarkerColor), fromBgr(m_options.TrackColor),
                          fromBgr(m_options.LostTrackColor), fromBgr(m_options.ActiveMarkerColor),
                          fromBgr(m_options.ArchiveMarkerColor));
}

// ---- commands

void TClientSession::setCommandState() {
    emit commandsChanged();
}

bool TClientSession::isEnabled(TSessionCommand command) const {
    const bool connected = m_db->commandsEnabled();
    // Neither a database update nor an import (or download) may see the connection or registry
    // replaced.
    const bool updating = m_db->updateRunning() || m_importRunning;
    switch (command) {
    case TSessionCommand::DatabaseConnect:
        return !connected && !updating;
    case TSessionCommand::DatabaseDisconnect:
        return connected && !updating;
    case TSessionCommand::DatabaseButton:
    case TSessionCommand::ClearCache:
    case TSessionCommand::UpdateDatabase:
        return !updating;
    case TSessionCommand::ExecScript:
        return !connected && !updating;
    case TSessionCommand::ServerConnect:
        return connected && !m_linkUp;
    case TSessionCommand::ServerDisconnect:
        return m_linkUp;
    case TSessionCommand::ServerButton:
        return !updating;
    case TSessionCommand::ClearStatistics:
        return connected;
    case TSessionCommand::ObjectRegistry:
        return connected && !updating;
    case TSessionCommand::RelayControl:
    case TSessionCommand::SetupDevice:
        return m_controlOuts;
    case TSessionCommand::ImportFiles:
    case TSessionCommand::ImportFolder:
        return connected && !updating;
    case TSessionCommand::DownloadData: // a download fetches from the server it is linked to
        return connected && m_linkUp && !updating;
    case TSessionCommand::DownloadObject:
        return connected && !updating;
    case TSessionCommand::DemoObject:
    case TSessionCommand::LoadTrack:
    case TSessionCommand::ClearTrack:
    case TSessionCommand::Calibration:
    case TSessionCommand::FuelCharges:
        return connected;
    case TSessionCommand::Count:
        break;
    }
    return false;
}
