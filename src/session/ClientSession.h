#pragma once

// The client session: the one UI-free home of what crosses subsystems. It owns the long-lived
// working parts (the database connection, the registry created by each connection, the track
// files, the server link and its controller, the packet processing, the raster-map model with
// its object manager) and runs every sequence that involves more than one of them:
//   database connection -> registry -> map items;
//   server news -> object state -> marker and colour;
//   packet -> record -> day file -> map item -> follow;
//   a click on the map -> the picked point's text.
// State goes out through signals (enums and texts), commands come in as methods. A window binds
// its actions and widgets to it; the batch front end drives it without windows.

#include <QColor>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/DateUtils.h"
#include "app/ErrorGuard.h"
#include "app/GeoTypes.h"
#include "db/ObjectRegistry.h"
#include "session/SessionTypes.h"
#include "tracks/TrackAnalysis.h"

struct TOptions;
class TDialogs;
class TClientThread;
class TControllableObject;
class TFManager;
class TManager;
class TManagedItem;
class TMapLabel;
class TMapObjManager;
class TMapPanel;
class TOnlineProcessor;
class TImportProgress;
class TDownloadProgress;
class TTrackImport;
class TTrackPartsModel;
class TFuelComputations;
class QFile;
struct TFileImportResult;
class TServerController;
class TdmHTTPServer;
class TWebMapBridge;
struct TWebMapMarker;
struct TAppliedPacket;
struct TGaugeValues;
struct TPositionSnapshot;
namespace db {
class TDatabaseController;
}

class TClientSession : public QObject {
    Q_OBJECT
public:
    TClientSession(TOptions &options, TDialogs &dialogs, QObject *parent = nullptr);
    ~TClientSession() override;

    TOptions &options() { return m_options; }
    TDialogs &dialogs() { return m_dialogs; }
    TErrorGuard &guard() { return m_guard; }
    db::TDatabaseController &database() { return *m_db; }
    // The registry of the current database connection; null while none was made.
    TManager *registry() const { return m_registry.get(); }
    TFManager &fmngr() { return *m_fmngr; }
    TClientThread &client() { return *m_client; }
    TServerController &server() { return *m_server; }
    TOnlineProcessor &processor() { return *m_processor; }
    TMapPanel &mapPanel() { return *m_panel; }
    TMapObjManager &mapObjects() { return *m_mapObjs; }
    TWebMapBridge &webMap() { return *m_webMap; }
    TdmHTTPServer &webServer() { return *m_http; }

    // ---- start and exit
    // First display: folders to the operations log, the raster maps, automatic connection;
    // emits firstRunRequested when the settings say so.
    void FormShow();
    // Closing: grid widths and settings saved only while connected, link closed and joined,
    // database closed. Never throws.
    void FormClose();

    // ---- database
    bool databaseConnected() const;
    void connectDatabase();
    void disconnectDatabase();
    void databaseButton(bool down);
    // The connection watchdog (1000 ms).
    QTimer tmrCheckConn;
    void tmrCheckConnTimer();
    // A database update copies while its loop processes window events: nothing may reconnect.
    void setUpdateRunning(bool running);
    bool updateRunning() const;
    // The update's own disconnect at its end.
    void disconnectForUpdate();

    // ---- server
    void connectServer();
    void disconnectServer();
    // The server tool button: pressed connects (the database first when needed).
    void serverButton(bool down);
    // Relay and device commands (codes 2..10) for the object of the grid's current row.
    void sendObjectCommand(int code);

    // ---- the active object
    // The grid's current row changed (number 0 or less: none).
    void selectObject(int number, int row);
    int selectedObject() const { return m_selectedNumber; }
    bool followMode() const { return m_followMode; }
    void setFollowMode(bool on);
    bool isArchiveView() const { return m_archiveView; }
    std::optional<TGaugeValues> gauges() const;

    // ---- the raster map
    void openMaps();
    void zoom(int steps);
    void setShowAllObjects(bool on);
    void setShowNumbers(bool on);
    void setTrackPoints(bool points);
    void deleteTracks();
    // Mouse on the map: a press remembers the spot (the right button, which opens the map's
    // context menu, also the position under it), a drag with the left button moves the camera,
    // a click shows or removes the picked point's information.
    void mapPressed(const QPoint &pos, bool rightButton = false);
    TGeoCoords pickedPosition() const { return m_pickedPosition; }
    void mapDragged(const QPoint &pos, bool leftButton);
    void mapClicked(const QPoint &pos);
    // The label's text for an object's position (empty when nothing was picked).
    QString pickedPointText(int number, const TPositionSnapshot &pos) const;
    QString pickedPointLabel() const;
    // The map list, reloaded from the settings when they changed; then the chosen one opened
    // and centred on the followed object.
    QStringList mapNames();
    int currentMapIndex() const;
    void selectMap(int index);
    // A double click on an object of the grid: the best map when its position is off the open
    // one, and the camera there.
    void showObjectOnMap(int number);

    // ---- the web map
    // The local web-map server on the settings' port or the next free one; the chosen web map
    // is loaded when the settings use it.
    void startWebMap();
    // "Выбрать тип карты": a web map of the list (tag = index + 1; the settings are then to be
    // applied and saved as the settings window's "OK" does), or the raster map.
    void selectWebMap(int tag);
    void selectStaticMap();
    // "Очистить Web-карту".
    void refreshWebMap();
    // The settings window's "OK": the web map is loaded when it was not requested yet.
    void settingsAccepted();
    bool webMapShown() const;

    // ---- maintenance
    void clearCache();
    void purgeStatistics(std::optional<int> object, TDateTime upTo);
    void execScript();

    // ---- the object registry ("База данных" -> "Объекты")
    // Each change goes to the database and is then mirrored into the registry in memory, the
    // map items and the web map.
    std::vector<TObjectRecord> registryList();
    // The object form's group choices: "нет группы" (empty id), then every group's path in
    // the registry's order, as (path, GRP_ID).
    std::vector<std::pair<QString, QString>> groupChoices() const;
    // The group the object is attached to in memory (empty for none).
    QString objectGroupId(int number) const;
    TRegistrySave addRegistryObject(const TObjectForm &form);
    // storedTimeZone: the time zone the form was opened with; it becomes the saved one.
    TRegistrySave editRegistryObject(const TObjectForm &form, int &storedTimeZone);
    bool deleteRegistryObject(int number);
    // "Экспорт": asks for the file, writes the object's ".oni".
    void exportRegistryObject(int number);
    // "Импорт": asks for an ".oni" file; the imported number, or nothing.
    std::optional<int> importRegistryObject();
    // The registry window closed: the display filter runs again, the objects' count is shown.
    void registryWindowClosed();
    // Imports the object's history again from the track files of its data folder, after its
    // time zone changed and the stored history was deleted.
    void reloadObjectTracks(int number);

    // ---- field settings (the parameter catalogue of the database)
    void exportFieldSettings();
    void importFieldSettings();

    // ---- settings
    // "Применить" of the settings window, around taking the window's values: before, the grid
    // widths are saved (while connected); after, the map and the grid take the new settings.
    void beforeApplySettings();
    void afterApplySettings();

    bool isEnabled(TSessionCommand command) const;

    // ---- tracks (the parts table, the track on both maps)
    TTrackPartsModel &trackParts() { return *m_trackParts; }
    const ArrayTracks &trackList() const { return trlist; }
    // "Загрузить трек...": the dialog's answer for the object of the grid's current row.
    void miLoadTrackClick(const TLoadTrackRequest &request);
    // Divides the object's in-memory track, fills the table and draws every part.
    void SeparateTrack(int ObjNum);
    // Draws one part on both maps.
    void ViewTrack(int ObjNum, int part);
    // Draws a range of the track incrementally: the part track_ind, else from the last point
    // at or before strt (0: the whole track) to the end.
    void ShowTrack(int ObjNum, TDateTime strt, bool move_marker, int track_ind);
    // A click on a row of the parts table: 0 the whole track ("Весь"), i > 0 part i - 1.
    void sgTrackClick(int row);
    // "Очистить трек".
    void miClearTrackClick();
    // "Режим": archive view (true) or on-line mode.
    void tbBrowseModeClick(bool archive);
    // "Экспорт трека в GPX...": the shown track and its parts as a GPX file.
    void exportTrackGpx();

    // ---- import of device data files
    void miImportFilesClick();
    void miImportDirectoryClick();
    // Every stored day file of one object again (after its registry entry changed).
    void ReloadTracks(int AObjNum);
    bool importRunning() const { return m_importRunning; }
    TImportProgress &importProgress() { return *m_importProgress; }
    // Called once per record and file while an import runs (a window processes its events).
    std::function<void()> processEvents;
    // False while an import runs: the window closes when it ends (closeRequested).
    bool requestClose();

    // ---- the demonstration object
    void miDemoModeClick();
    bool demoModeOn() const { return m_demoOn; }
    QTimer tmrDemoMode;
    void tmrDemoModeTimer();
    // Where the demonstration data is read from: the data folder's, else the program folder's.
    static QString demoDataFile();

    // ---- fuel accounting (FuelSession.cpp)
    // The object the calibration commands act on: the grid's selected one when it is
    // registered, else 0.
    int calibrationObject() const;
    // The object the refuelling window opens with: the selected row's, else the first row's;
    // 0 when the grid shows no object.
    int fuelChargesObject() const;
    // The report computations on the main connection, the registry and the track files.
    TFuelComputations fuelComputations();
    // ---- the archive download
    // Fetches the missed day files of object ObjectNum (0: every object) from the start's
    // day to the end's and imports them; returns when the run has ended, the progress window
    // staying until it is closed. Runs as an import does (nothing reconnects meanwhile); false
    // when it could not start (another run, no registry or database).
    bool DownloadObjectData(int ObjectNum, TDateTime StartTimeStamp, TDateTime EndTimeStamp);
    // The download dialog's answer: its days widened to the UTC days they overlap.
    void downloadDays(int ObjectNum, const QDate &from, const QDate &to);
    TDownloadProgress &downloadProgress() { return *m_downloadProgress; }
    // The last run ended with the error mark.
    bool downloadFailed() const { return m_downloadFailed; }

signals:
    void statusText(TStatusField field, const QString &text);
    void statusLamp(TStatusField field, const QColor &colour);
    // Enabled states changed: ask isEnabled again.
    void commandsChanged();
    void databaseButtonDownChanged(bool down);
    void serverButtonDownChanged(bool down);
    // A new registry (or none): the grid, the tree and the pick list show it.
    void registryChanged(TManager *registry);
    void gaugesChanged();
    // The grid's values changed (its shape kept).
    void gridRefreshRequested();
    void busyChanged(bool busy);
    void firstRunRequested();
    // The connect command's version check accepted an update: show it and run it.
    void updateRequested();
    // Settings taken from the window should be applied and saved ("Применить" at exit).
    void settingsSaveRequested();
    // The web map (true) or the raster map is to be shown (the settings window's check box).
    void webViewRequested(bool web);
    // The browse-mode button: pressed for archive view.
    void archiveViewChanged(bool archive);
    // The parts table should come to the front.
    void trackTableShown();
    void demoModeChanged(bool on);
    // The object grid should select this row (the demonstration object was added).
    void gridRowSelectRequested(int row);
    // An import has ended after the window asked to close.
    void closeRequested();

private:
    void createRegistry();
    void destroyRegistry();
    void afterConnected();
    void registerMapObjects();
    void followActive(bool selectBest);
    void onPacketsApplied(const std::vector<TAppliedPacket> &applied);
    void onConnectionNews(int number, TConnectionNews news);
    void onAllObjectsDisconnected();
    void setCommandState();
    bool openDatabase();
    void removePickedLabel();
    void applyColours();
    TWebMapMarker webMarker(int number) const;
    void registerMapObject(const TControllableObject &o);
    void mirrorRegistryObject(const TObjectRecord &r, TControllableObject *o);
    // Tracks.
    void resetShownTrack();
    void clearTrackScripts();
    void feedPoint(TManagedItem *item, int ObjNum, const TCoordData &pred, const TCoordData &p,
                   bool append);
    void drawAllParts(int ObjNum);
    // Imports.
    template <class F> void runImport(F &&loop);
    void runImportLoop(const std::function<void(TTrackImport &)> &loop);
    void onFileImported(const TFileImportResult &r);
    // The demonstration object.
    void startDemo();
    void stopDemo();

    TOptions &m_options;
    TDialogs &m_dialogs;
    TErrorGuard m_guard;
    std::unique_ptr<db::TDatabaseController> m_db;
    std::unique_ptr<TFManager> m_fmngr;
    std::unique_ptr<TOnlineProcessor> m_processor;
    std::unique_ptr<TServerController> m_server;
    std::unique_ptr<TClientThread> m_client;
    std::unique_ptr<TMapPanel> m_panel;
    std::unique_ptr<TMapObjManager> m_mapObjs;
    std::unique_ptr<TManager> m_registry;
    std::unique_ptr<TdmHTTPServer> m_http;
    std::unique_ptr<TWebMapBridge> m_webMap;
    TMapLabel *m_infoLabel = nullptr; // the picked point's information, owned by the panel
    QPoint m_lastMapPos;
    TGeoCoords m_pickedPosition;
    int m_selectedNumber = 0;
    int m_selectedRow = -1;
    bool m_followMode = true;
    bool m_archiveView = false;
    bool m_serverButtonDown = false;
    bool m_linkUp = false;      // connect enabled false / disconnect enabled true
    bool m_controlOuts = false; // the selected object is connected
    // Tracks.
    ArrayTracks trlist;    // the parts of the shown track
    int m_trackObject = 0; // whose in-memory track trlist divides
    int m_trackRow = 0;    // the parts table's row last shown
    TTrackPartsModel *m_trackParts = nullptr;
    // Imports.
    std::unique_ptr<TImportProgress> m_importProgress;
    bool m_importRunning = false;
    bool m_closePending = false;
    // The archive download.
    std::unique_ptr<TDownloadProgress> m_downloadProgress;
    bool m_downloadFailed = false;
    // The demonstration object.
    std::unique_ptr<QFile> DemoModeFile;
    bool m_demoOn = false;
};
