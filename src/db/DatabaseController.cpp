#include "db/DatabaseController.h"

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Logging.h"
#include "app/Options.h"

namespace db {

TDatabaseController::TDatabaseController(TOptions &options, TDialogs &dialogs, QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs) {}

TDatabaseController::~TDatabaseController() = default;

QColor TDatabaseController::sostColor(int sost) {
    switch (sost) {
    case 1:
        return QColor(0, 255, 0);
    case 2:
        return QColor(255, 0, 0);
    default:
        return QColor(128, 128, 128);
    }
}

void TDatabaseController::setSost(int sost) {
    FLastDbConnectionSost = sost;
    emit statusPanel2Changed(sostColor(sost));
}

void TDatabaseController::setButtonDown(bool down) {
    m_buttonDown = down;
    emit connectButtonDownChanged(down);
}

void TDatabaseController::setCommands(bool connected) {
    m_commandsEnabled = connected;
    emit databaseCommandsChanged(connected);
}

bool TDatabaseController::IsCompatibleVersion(const QString &text) {
    return ::IsCompatibleVersion(text);
}

bool TDatabaseController::ConnectToDB(const QString &DBServ, const QString &DBPath,
                                      const QString &DBPass, const QString &DBLogin,
                                      const std::function<void()> &afterOpen) {
    emit busyChanged(true);
    try {
        m_database.forceClose();
        m_database.open(databaseName(DBServ, DBPath), DBLogin, DBPass);
        if (afterOpen)
            afterOpen();
        setSost(1);
        emit busyChanged(false);
        return true;
    } catch (const std::exception &e) {
        setSost(2);
        emit busyChanged(false);
        const auto *d = dynamic_cast<const EDatabaseError *>(&e);
        m_dialogs.message(
            QStringLiteral("Во время подключения к базе данных произошла ошибка: \r\n") +
                (d ? d->text() : QString::fromStdString(e.what())),
            QStringLiteral("Подключение к базе данных"), TMsgIcon::Error);
        return false;
    }
}

bool TDatabaseController::DisconnectFromDB() {
    emit busyChanged(true);
    bool closed = true;
    try {
        m_database.close();
    } catch (const std::exception &) {
        // A connection the server no longer answers: drop the handle.
        closed = false;
        setSost(0);
        m_database.forceClose();
    }
    emit busyChanged(false);
    return closed;
}

int TDatabaseController::GetCurrDBVersion() {
    if (!m_database.isOpen())
        return -1;
    try {
        const QVariant v = selectValue(m_database, QStringLiteral("SELECT LAST_VERSION FROM SYS"),
                                       TTransactionKind::ReadCommitted);
        if (!v.isValid())
            return -1;
        bool ok = false;
        const int n = v.toInt(&ok);
        return ok ? n : -1;
    } catch (const EDatabaseError &) {
        return -1;
    }
}

bool TDatabaseController::versionCheck() {
    const QString caption = QStringLiteral("Подключение к базе данных");
    const int version = GetCurrDBVersion();
    bool offer = false;
    QString question;
    if (version == -1) {
        LogOperations(QStringLiteral("Не удалось определить версию базы данных."),
                      QStringLiteral("DATABASE_CONNECTION"), 20);
        offer = true;
        question =
            QStringLiteral("Не удалось определить версию базы данных. \r\nВыполнить обновление?");
    } else {
        LogOperations(QStringLiteral("Текущая версия базы: ") + QString::number(version),
                      QStringLiteral("DATABASE_CONNECTION"), 20);
        if (!IsCompatibleVersion(QString::number(version))) {
            offer = true;
            question = QStringLiteral(
                "Текущая версия базы данных не является актуальной. \r\nВыполнить обновление?");
        }
    }
    return offer &&
           m_dialogs.question(question, caption, TMsgIcon::Question, mbYes | mbNo, mbYes) == mbYes;
}

} // namespace db
