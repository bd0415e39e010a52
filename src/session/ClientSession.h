#pragma once

// The client session: the owner of the long-lived objects (the server link, the track files,
// the raster map with its items, the local web-map server and its page bridge) and of the parts
// that run the sequences crossing subsystems, each a class of its own:
//   TDatabasePart    the main connection, its watchdog, the update, the registry's life;
//   TServerController the server link's news and commands;
//   TLiveObjects     packets and news -> map items, markers, colours, the active object;
//   TMapInteraction  the raster maps, zoom, the mouse on the map, the followed view;
//   TWebMapPart      the web map and its markers;
//   TTrackDisplay    a loaded track, its parts table, the live track;
//   TDataRuns        imports and the archive download (through the one runner);
//   TRegistryEdits   the object registry's edits and its files;
//   TMaintenance     cache, purge, scripts, field settings;
//   TDemoObject      the demonstration object;
//   TFuelPart        the fuel windows' object and computations;
//   TProgrammingPart the dialogue that programs a device through the server;
//   TReportsPart     the data windows' queries and exports (through the runner);
//   TDrainsPart      fuel-drain alerts on line and the drains of a period.
// The session builds and wires them, runs start and exit, keeps the one table of enabled
// commands and the status signals. A window binds each part; the batch front end builds the
// parts it needs without a session.

#include <QColor>
#include <QObject>
#include <QString>

#include <memory>

#include "app/ErrorGuard.h"
#include "session/SessionTypes.h"

struct TOptions;
class TDialogs;
class TClientThread;
class TDataRuns;
class TDatabasePart;
class TDemoObject;
class TDrainsPart;
class TFManager;
class TFuelPart;
class TLiveObjects;
class TMaintenance;
class TManager;
class TMapInteraction;
class TMapObjManager;
class TMapPanel;
class TOnlineProcessor;
class TProgrammingPart;
class TRegistryEdits;
class TReportsPart;
class TRunner;
class TServerController;
class TTrackDisplay;
class TWebMapBridge;
class TWebMapPart;
class TdmHTTPServer;

class TClientSession : public QObject {
    Q_OBJECT
public:
    TClientSession(TOptions &options, TDialogs &dialogs, QObject *parent = nullptr);
    ~TClientSession() override;

    TOptions &options() { return m_options; }
    TDialogs &dialogs() { return m_dialogs; }
    TErrorGuard &guard() { return m_guard; }

    // The parts.
    TRunner &runner() { return *m_runner; }
    TDatabasePart &database() { return *m_database; }
    TServerController &server() { return *m_server; }
    TLiveObjects &live() { return *m_live; }
    TMapInteraction &map() { return *m_map; }
    TWebMapPart &webMap() { return *m_webMap; }
    TTrackDisplay &tracks() { return *m_tracks; }
    TDataRuns &runs() { return *m_runs; }
    TRegistryEdits &registryEdits() { return *m_registryEdits; }
    TMaintenance &maintenance() { return *m_maintenance; }
    TDemoObject &demo() { return *m_demo; }
    TFuelPart &fuel() { return *m_fuel; }
    TProgrammingPart &programming() { return *m_programming; }
    TReportsPart &reports() { return *m_reports; }
    TDrainsPart &drains() { return *m_drains; }
    // The registry of the current database connection; null while none was made.
    TManager *registry() const;
    const TSelection &selection() const { return m_selection; }

    // ---- start and exit
    // First display: folders to the operations log, the raster maps, the web map, automatic
    // connection; emits firstRunRequested when the settings say so.
    void FormShow();
    // Closing: grid widths and settings saved only while connected, link closed and joined,
    // database closed. Never throws.
    void FormClose();
    // False while a run is active: the window closes when it ends (closeRequested).
    bool requestClose();

    // ---- commands that need more than one part
    void connectServer();
    void disconnectServer();
    // The server tool button: pressed connects (the database first when needed).
    void serverButton(bool down);
    // Relay and device commands (codes 2..10) for the object of the grid's current row.
    void sendObjectCommand(int code);
    // The tool buttons "+", "–" and "Все": on the web map while it is shown, else on the raster
    // map (where "Все" switches between every marker and the active one).
    void zoom(int steps);
    void showAll(bool on);
    // "Применить" of the settings window, around taking the window's values: before, the grid
    // widths are saved (while connected); after, the map and the grid take the new settings.
    void beforeApplySettings();
    void afterApplySettings();

    bool isEnabled(TSessionCommand command) const;

signals:
    void statusText(TStatusField field, const QString &text);
    void statusLamp(TStatusField field, const QColor &colour);
    // Enabled states changed: ask isEnabled again.
    void commandsChanged();
    void serverButtonDownChanged(bool down);
    // A new registry (or none): the grid, the tree and the pick list show it.
    void registryChanged(TManager *registry);
    // The grid's values changed (its shape kept).
    void gridRefreshRequested();
    void busyChanged(bool busy);
    void firstRunRequested();
    // Settings taken from the window should be applied and saved ("Применить" at exit).
    void settingsSaveRequested();
    // A run has ended after the window asked to close.
    void closeRequested();

private:
    void wireParts();
    void onRegistryChanged(TManager *registry);
    // A report asks for the archive download of its object and period first.
    void downloadForReport(int object, double from, double to);
    void showObjectsCount();
    bool databaseConnected() const;

    TOptions &m_options;
    TDialogs &m_dialogs;
    TErrorGuard m_guard;
    TSelection m_selection;
    std::unique_ptr<TRunner> m_runner;
    std::unique_ptr<TDatabasePart> m_database;
    std::unique_ptr<TFManager> m_fmngr;
    std::unique_ptr<TOnlineProcessor> m_processor;
    std::unique_ptr<TServerController> m_server;
    std::unique_ptr<TClientThread> m_client;
    std::unique_ptr<TMapPanel> m_panel;
    std::unique_ptr<TMapObjManager> m_items;
    std::unique_ptr<TdmHTTPServer> m_http;
    std::unique_ptr<TWebMapBridge> m_bridge;
    std::unique_ptr<TMapInteraction> m_map;
    std::unique_ptr<TWebMapPart> m_webMap;
    std::unique_ptr<TLiveObjects> m_live;
    std::unique_ptr<TDataRuns> m_runs;
    std::unique_ptr<TTrackDisplay> m_tracks;
    std::unique_ptr<TRegistryEdits> m_registryEdits;
    std::unique_ptr<TMaintenance> m_maintenance;
    std::unique_ptr<TDemoObject> m_demo;
    std::unique_ptr<TFuelPart> m_fuel;
    std::unique_ptr<TProgrammingPart> m_programming;
    std::unique_ptr<TReportsPart> m_reports;
    std::unique_ptr<TDrainsPart> m_drains;
    bool m_serverButtonDown = false;
    bool m_linkUp = false; // connect enabled false / disconnect enabled true
    bool m_closePending = false;
};
