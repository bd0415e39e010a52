#include "db/DatabaseCreation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include "app/Dialogs.h"
#include "app/Logging.h"
#include "app/Options.h"
#include "db/DatabaseUpdate.h"

namespace db {

void CreateDatabaseFromScript(const QString &databaseName, const QString &login,
                              const QString &password, const QString &scriptPath) {
    readScriptLines(scriptPath); // an unreadable script must not leave an empty database behind
    if (IsEmbeddedName(databaseName))
        QDir().mkpath(QFileInfo(databaseName).absolutePath());
    TDatabase database;
    try {
        database.create(databaseName, login, password);
    } catch (const EDatabaseError &e) {
        EDatabaseNotCreated error(e.text(), e.code());
        error.setDetails(e.codes(), e.osError());
        throw error;
    }
    try {
        BuildFromUpdateScript(database, scriptPath);
        database.close();
    } catch (...) {
        try {
            database.drop();
        } catch (...) {
            database.forceClose();
        }
        throw;
    }
}

bool HandToServerUser(const QString &path) {
    if (::geteuid() != 0 || !IsEmbeddedName(path))
        return true;
    const passwd *pw = ::getpwnam("firebird");
    const group *gr = ::getgrnam("firebird");
    if (!pw || !gr)
        return true; // no server on this machine
    return ::chown(QFile::encodeName(path).constData(), pw->pw_uid, gr->gr_gid) == 0;
}

TDatabaseProbe ProbeDatabase(const TConnectionSettings &settings) {
    const QString name = settings.databaseName();
    if (IsEmbeddedName(name) && !QFileInfo::exists(name))
        return {TDatabaseState::Missing, QString::fromLocal8Bit(strerror(ENOENT))};
    TDatabase database;
    try {
        database.open(name, settings.login, settings.password);
        database.forceClose();
        return {TDatabaseState::Exists, {}};
    } catch (const EDatabaseError &e) {
        if (e.hasCode(isc_network_error))
            return {TDatabaseState::Unreachable, e.text()};
        // A server sends the operating system's error as its text, not as a number.
        if (e.hasCode(isc_io_error) && (e.osError() == ENOENT || e.text().contains(QLatin1String(
                                                                     "No such file or directory"))))
            return {TDatabaseState::Missing, e.text()};
        return {TDatabaseState::Refused, e.text()};
    }
}

// ---------------------------------------------------------------- the first start

namespace {
const QString kCaption = QStringLiteral("Подключение к базе данных");
const QString kLogSender = QStringLiteral("DATABASE_CONNECTION");

bool isInside(const QString &folder, const QString &path) {
    const QString f = QDir::cleanPath(folder) + QLatin1Char('/');
    return QDir::cleanPath(path).startsWith(f);
}

bool canMake(const QString &path) {
    QFileInfo dir(QFileInfo(path).absolutePath());
    while (!dir.exists() && !dir.isRoot())
        dir = QFileInfo(dir.absolutePath());
    return dir.isDir() && dir.isWritable();
}
} // namespace

TMissingDatabaseOffer::TMissingDatabaseOffer(TOptions &options, TDialogs &dialogs,
                                             const TFolders &folders)
    : scriptPath(folders.AppDir + QStringLiteral("update/UPDB.sql")), canMakeFile(canMake),
      m_options(options), m_dialogs(dialogs), m_folders(folders) {}

QString TMissingDatabaseOffer::userDatabasePath() const {
    return m_folders.ProfileDir + QStringLiteral("database/ZARNEXLDB.FDB");
}

bool TMissingDatabaseOffer::configuredPlaceIsReadOnly() const {
    return isInside(m_folders.AppDir, m_options.DBPath) && !canMakeFile(m_options.DBPath);
}

TMissingDatabaseOffer::TOutcome TMissingDatabaseOffer::run() {
    const TConnectionSettings configured = TConnectionSettings::fromOptions(m_options);
    const TDatabaseProbe probe = ProbeDatabase(configured);
    if (probe.state == TDatabaseState::Exists)
        return TOutcome::Present;

    if (!configuredPlaceIsReadOnly()) {
        // Only a database that is known to be missing is made where the settings name it; a
        // server that is down or refuses is the connection's to report.
        if (probe.state != TDatabaseState::Missing)
            return TOutcome::NotOffered;
        const QString question =
            QStringLiteral("База данных ") + configured.databaseName() +
            QStringLiteral(" не найдена.\r\nСоздать её по скрипту обновления ") + scriptPath +
            QStringLiteral("?");
        if (m_dialogs.question(question, kCaption, TMsgIcon::Question, mbYes | mbNo, mbYes) !=
            mbYes)
            return TOutcome::Declined;
        return create(configured.databaseName(), false);
    }

    // The default file of a program folder nobody may write: there is nothing there to connect
    // to, and nothing can be made there. The user's own folder can hold it.
    if (probe.state == TDatabaseState::Refused)
        return TOutcome::NotOffered;
    const QString own = userDatabasePath();
    const TConnectionSettings ownSettings{QString(), own, m_options.DBLogin, m_options.DBPass};
    if (ProbeDatabase(ownSettings).state == TDatabaseState::Exists) {
        m_options.DBServ.clear();
        m_options.DBPath = own;
        if (saveSettings)
            saveSettings();
        LogOperations(QStringLiteral("Используется база данных ") + own, kLogSender, 20);
        return TOutcome::Switched;
    }
    const QString question =
        QStringLiteral("База данных ") + configured.databaseName() +
        QStringLiteral(" недоступна:\r\n") + probe.error +
        QStringLiteral("\r\n\r\nСоздать базу данных в папке пользователя ") + own +
        QStringLiteral(" по скрипту обновления?\r\nНастройки программы будут указывать на неё.");
    if (m_dialogs.question(question, kCaption, TMsgIcon::Question, mbYes | mbNo, mbYes) != mbYes)
        return TOutcome::Declined;
    return create(own, true);
}

TMissingDatabaseOffer::TOutcome TMissingDatabaseOffer::create(const QString &databaseName,
                                                              bool switchSettings) {
    try {
        CreateDatabaseFromScript(databaseName, m_options.DBLogin, m_options.DBPass, scriptPath);
    } catch (const std::exception &e) {
        const auto *d = dynamic_cast<const EDatabaseError *>(&e);
        m_dialogs.message(QStringLiteral("Не удалось создать базу данных ") + databaseName +
                              QStringLiteral(": \r\n") +
                              (d ? d->text() : QString::fromLocal8Bit(e.what())),
                          kCaption, TMsgIcon::Error);
        return TOutcome::Failed;
    }
    HandToServerUser(databaseName);
    LogOperations(QStringLiteral("Создана база данных ") + databaseName, kLogSender, 20);
    if (switchSettings) {
        m_options.DBServ.clear();
        m_options.DBPath = databaseName;
        if (saveSettings)
            saveSettings();
    }
    return TOutcome::Created;
}

} // namespace db
