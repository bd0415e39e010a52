#pragma once

// The main window's database connection: the connect and disconnect commands, the version
// check, the connection state shown in the status bar, the enabling of the commands that need
// the database, and the watchdog that notices a lost connection. UI-free: the window wires it.
//
// What the main window (TfmMain) wires:
//   menu "Подключиться к БД" (miConnectToDB) and tbConnectDB pressed down -> miConnectToDBClick()
//   menu "Отключиться от БД" (miDisconnectFromDB), tbConnectDB released  ->
//   miDisconnectFromDBClick() program exit, when tbConnectDBDown() -> miDisconnectFromDBClick()
//   signal connectButtonDownChanged(bool)  -> tbConnectDB->setChecked(down) (without re-firing)
//   signal databaseCommandsChanged(bool c) -> enable, when c: disconnect, objects, server
//          connect, statistics, settings export and import, per-object download, calibration,
//          refuelling table, object data, track load and clear, statistics purge, file and
//          folder import, demonstration object; and disable connect and "Выполнить скрипт";
//          the reverse when !c
//   signal statusPanel2Changed(QColor)     -> fill the square of the status-bar panel showing
//          FLastDbConnectionSost (grey 0, green 1, red 2)
//   signal busyChanged(bool)               ->
//   QApplication::setOverrideCursor(Qt::WaitCursor)/restore hooks (all optional, run on the main
//   thread):
//     afterConnect        in ConnectToDB after the main connection opened: destroy the old
//                         TManager, create the new one, rebuild web-map markers, clear the
//                         web-map track, re-select the state-grid row. A throw counts as a
//                         failed connection.
//     openOptionsDataSets step 3 of the connect command (the options window's data sets)
//     afterConnected      step 5: reset HadOnlineData, rebuild the state-grid columns, re-apply
//                         the group filter, show AllObjConnectObjRatio in status panel 0
//     closeServerLink     before disconnecting, when the server link is up
//     closeDataSets       in DisconnectFromDB: close the data sets on the main connection
//                         (a throw is shown and the disconnection goes on)
//     destroyManager      when disconnecting fails and the connection is forced closed
//     afterDisconnected   switch the demonstration object off, disable its command, repaint
//     PerformUpdate       show TUpdateDBForm and run the update with the default script;
//                         the form's disconnectMain -> disconnectForUpdate(), its
//                         updater's runningChanged -> setUpdateRunning
// tmrCheckConn is started, stopped and connected to tmrCheckConnTimer() here (do not connect
// it again); tests call tmrCheckConnTimer() directly.

#include <QColor>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

#include "db/Database.h"

struct TOptions;
class TDialogs;

namespace db {

class TDatabaseController : public QObject {
    Q_OBJECT
public:
    TDatabaseController(TOptions &options, TDialogs &dialogs, QObject *parent = nullptr);
    ~TDatabaseController() override;

    // The main connection ("Database" of the main window).
    TDatabase &Database() { return m_database; }

    bool ConnectToDB(const QString &DBServ, const QString &DBPath, const QString &DBPass,
                     const QString &DBLogin);
    bool DisconnectFromDB();
    // SYS.LAST_VERSION, or -1 when the connection is closed or the query fails.
    int GetCurrDBVersion();
    static bool IsCompatibleVersion(const QString &text);

    void miConnectToDBClick();
    void miDisconnectFromDBClick();
    // The disconnect command run by the update itself at its end (the only one it allows).
    void disconnectForUpdate();
    void tmrCheckConnTimer();

    // While an update copies (its loop processes window events) the connect and disconnect
    // commands do nothing and the watchdog leaves the connection alone; wire
    // TDatabaseUpdater::runningChanged here. The window also defers exit until it ends.
    void setUpdateRunning(bool running) { m_updateRunning = running; }
    bool updateRunning() const { return m_updateRunning; }

    int FLastDbConnectionSost = 0; // 0 not connected, 1 connected, 2 last attempt failed
    bool tbConnectDBDown() const { return m_buttonDown; }
    bool commandsEnabled() const { return m_commandsEnabled; }
    static QColor sostColor(int sost);

    QTimer tmrCheckConn;

    std::function<void()> afterConnect;
    std::function<void()> openOptionsDataSets;
    std::function<void()> afterConnected;
    std::function<void()> closeServerLink;
    std::function<void()> closeDataSets;
    std::function<void()> destroyManager;
    std::function<void()> afterDisconnected;
    std::function<void()> PerformUpdate;

signals:
    void connectButtonDownChanged(bool down);
    void databaseCommandsChanged(bool connected);
    void statusPanel2Changed(const QColor &color);
    void busyChanged(bool busy);

private:
    TOptions &m_options;
    TDialogs &m_dialogs;
    TDatabase m_database;
    bool m_buttonDown = false;
    bool m_commandsEnabled = false;
    bool m_updateRunning = false;

    void setSost(int sost);
    void setButtonDown(bool down);
    void setCommands(bool connected);
    void versionCheck();
};

} // namespace db
