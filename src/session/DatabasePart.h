#pragma once

// The session's database part: the main connection (connect, disconnect, the connect button),
// its watchdog, the version check with the database update it may start, and the life of the
// registry that each connection creates. What hangs on the registry (map items, grids, the web
// map) follows registryChanged; what must end with the connection follows connectionClosing.

#include <QColor>
#include <QObject>
#include <QTimer>

#include <memory>

struct TOptions;
class TDialogs;
class TManager;
class TRunner;
namespace db {
class TDatabase;
class TDatabaseController;
class TDatabaseUpdater;
} // namespace db

class TDatabasePart : public QObject {
    Q_OBJECT
public:
    TDatabasePart(TOptions &options, TDialogs &dialogs, TRunner &runner, QObject *parent = nullptr);
    ~TDatabasePart() override;

    // The main connection, for the parts that read or write through it.
    db::TDatabase &database();
    // The registry of the current connection; null while none was made.
    TManager *registry() const { return m_registry.get(); }
    // The last connection attempt succeeded and the connection was not closed since.
    bool connected() const;
    // The commands that need the database are on.
    bool commandsEnabled() const;
    // 0 not connected, 1 connected, 2 the last attempt failed.
    int connectionState() const;
    bool buttonDown() const;
    // SYS.LAST_VERSION of the main connection, -1 when closed or unreadable.
    int version();
    db::TDatabaseUpdater &updater() { return *m_updater; }

    void connectDatabase();
    void disconnectDatabase();
    void databaseButton(bool down);
    // Everything that reads the catalogue reads it again.
    void reconnect();

    // The connection watchdog (1000 ms).
    QTimer tmrCheckConn;
    void tmrCheckConnTimer();

    // "Обновить базу данных": the update runs through the runner; at its end the main
    // connection is closed. Started by the connect command's version check it connects again
    // afterwards (to the new database when the update switched to it). False when it could not
    // start (another run).
    bool startUpdate(const QString &script, bool skipHistory, bool atConnect);
    // The update's own disconnect at its end.
    void disconnectForUpdate();

signals:
    // A new registry (or none, before the old one goes).
    void registryChanged(TManager *registry);
    // The connection is about to close: what writes through it stops first.
    void connectionClosing();
    void connectionClosed();
    // A connection was made and its registry loaded.
    void connectionMade();
    void lampChanged(const QColor &colour);
    void buttonDownChanged(bool down);
    void commandsChanged(bool connected);
    void busyChanged(bool busy);
    // The connect command's version check accepted an update: show its window, then
    // startUpdate(..., atConnect = true).
    void updateRequested();
    // The update switched the settings to the new database: save them.
    void settingsSwitched();

private:
    bool openDatabase();
    void connectWith(bool checkVersion);
    void createRegistry();
    void destroyRegistry();

    TOptions &m_options;
    TDialogs &m_dialogs;
    TRunner &m_runner;
    std::unique_ptr<db::TDatabaseController> m_db;
    std::unique_ptr<db::TDatabaseUpdater> m_updater;
    std::unique_ptr<TManager> m_registry;
};
