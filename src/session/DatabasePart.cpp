#include "session/DatabasePart.h"

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Options.h"
#include "db/DatabaseController.h"
#include "db/DatabaseUpdate.h"
#include "db/GroupManager.h"
#include "session/Runner.h"

TDatabasePart::TDatabasePart(TOptions &options, TDialogs &dialogs, TRunner &runner, QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs), m_runner(runner) {
    m_db = std::make_unique<db::TDatabaseController>(options, dialogs);
    m_updater = std::make_unique<db::TDatabaseUpdater>(options, dialogs, m_db->Database());
    connect(m_updater.get(), &db::TDatabaseUpdater::saveSettingsRequested, this,
            &TDatabasePart::settingsSwitched);
    connect(m_updater.get(), &db::TDatabaseUpdater::disconnectMainRequested, this,
            &TDatabasePart::disconnectForUpdate);

    tmrCheckConn.setInterval(1000);
    connect(m_db.get(), &db::TDatabaseController::statusPanel2Changed, this,
            &TDatabasePart::lampChanged);
    connect(m_db.get(), &db::TDatabaseController::connectButtonDownChanged, this,
            &TDatabasePart::buttonDownChanged);
    connect(m_db.get(), &db::TDatabaseController::databaseCommandsChanged, this,
            &TDatabasePart::commandsChanged);
    connect(m_db.get(), &db::TDatabaseController::busyChanged, this, &TDatabasePart::busyChanged);
}

TDatabasePart::~TDatabasePart() {
    tmrCheckConn.stop();
    destroyRegistry();
}

db::TDatabase &TDatabasePart::database() {
    return m_db->Database();
}

bool TDatabasePart::connected() const {
    return m_db->FLastDbConnectionSost == 1;
}

bool TDatabasePart::commandsEnabled() const {
    return m_db->commandsEnabled();
}

int TDatabasePart::connectionState() const {
    return m_db->FLastDbConnectionSost;
}

bool TDatabasePart::buttonDown() const {
    return m_db->tbConnectDBDown();
}

int TDatabasePart::version() {
    return m_db->GetCurrDBVersion();
}

bool TDatabasePart::openDatabase() {
    return m_db->ConnectToDB(m_options.DBServ, m_options.DBPath, m_options.DBPass,
                             m_options.DBLogin, [this] { createRegistry(); });
}

void TDatabasePart::connectDatabase() {
    connectWith(true);
}

void TDatabasePart::connectWith(bool checkVersion) {
    // A run holds the connection and the registry: nothing reconnects meanwhile.
    if (m_runner.active())
        return;
    if (!openDatabase()) {
        m_db->setButtonDown(false);
        return;
    }
    // The update closes the main connection at its end and connects again then.
    if (checkVersion && m_db->versionCheck()) {
        emit updateRequested();
        if (m_runner.kind() == TRunKind::DatabaseUpdate)
            return;
        // Not started: the command goes on with the database it has.
        if (!m_db->Database().isOpen() && !openDatabase()) {
            m_db->setButtonDown(false);
            return;
        }
    }
    m_db->setCommands(true);
    if (m_registry) {
        m_registry->ResetHadOnlineDataState();
        m_registry->RestructSostGridFields();
        m_registry->selectView(m_registry->viewIndex() < 0 ? 0 : m_registry->viewIndex());
    }
    m_db->setButtonDown(true);
    tmrCheckConn.start();
    emit connectionMade();
}

void TDatabasePart::disconnectDatabase() {
    if (m_runner.active())
        return;
    disconnectForUpdate();
}

void TDatabasePart::disconnectForUpdate() {
    emit connectionClosing();
    if (!m_db->DisconnectFromDB())
        destroyRegistry(); // the server no longer answered: its registry goes with it
    m_db->setCommands(false);
    m_db->setSost(0);
    m_db->setButtonDown(false);
    tmrCheckConn.stop();
    emit connectionClosed();
}

void TDatabasePart::databaseButton(bool down) {
    if (down)
        connectDatabase();
    else
        disconnectDatabase();
}

void TDatabasePart::reconnect() {
    disconnectDatabase();
    connectDatabase();
}

void TDatabasePart::tmrCheckConnTimer() {
    tmrCheckConn.stop();
    // A run holds the registry: a lost connection is noticed after it.
    if (!m_runner.active() && m_db->tbConnectDBDown() && !m_db->Database().ping()) {
        disconnectDatabase();
        m_dialogs.message(QStringLiteral("Cоединение с базой данных потеряно. Для продолжения "
                                         "\r\nработы необходимо выполнить переподключение."),
                          QStringLiteral("Ошибка подключения"), TMsgIcon::Warning);
    }
    if (m_db->Database().isOpen())
        tmrCheckConn.start();
}

bool TDatabasePart::startUpdate(const QString &script, bool skipHistory, bool atConnect) {
    return m_runner.start(TRunKind::DatabaseUpdate, m_updater->run(script, skipHistory),
                          [this, atConnect](bool) {
                              // The update closed the main connection; the connect command
                              // that asked for it goes on with the database the settings name
                              // now, without asking again.
                              if (atConnect)
                                  connectWith(false);
                          });
}

void TDatabasePart::createRegistry() {
    destroyRegistry();
    m_registry = std::make_unique<TManager>(db::TConnectionSettings::fromOptions(m_options),
                                            m_dialogs, CoordCacheDir());
    emit registryChanged(m_registry.get());
}

void TDatabasePart::destroyRegistry() {
    if (!m_registry)
        return;
    emit registryChanged(nullptr);
    m_registry.reset();
}
