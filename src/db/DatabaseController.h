#pragma once

// The main connection of the client: opening and closing it, the version check, and the
// connection state the window shows (the status lamp, the connect button, the commands that
// need the database). UI-free; the session runs the connect and disconnect commands with it.

#include <QColor>
#include <QObject>
#include <QString>

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

    // Opens the main connection and runs afterOpen (the registry of the new connection); an
    // error of either is shown and counts as a failed connection.
    bool ConnectToDB(const QString &DBServ, const QString &DBPath, const QString &DBPass,
                     const QString &DBLogin, const std::function<void()> &afterOpen = {});
    // Closes the main connection; false when the server no longer answered and the handle was
    // dropped (the registry of that connection must go too).
    bool DisconnectFromDB();
    // SYS.LAST_VERSION, or -1 when the connection is closed or the query fails.
    int GetCurrDBVersion();
    static bool IsCompatibleVersion(const QString &text);

    // Logs the version and, when it is unreadable or old, offers the update; true when the
    // user accepted it.
    bool versionCheck();

    int FLastDbConnectionSost = 0; // 0 not connected, 1 connected, 2 last attempt failed
    bool tbConnectDBDown() const { return m_buttonDown; }
    bool commandsEnabled() const { return m_commandsEnabled; }
    static QColor sostColor(int sost);

    void setSost(int sost);
    void setButtonDown(bool down);
    void setCommands(bool connected);

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
};

} // namespace db
