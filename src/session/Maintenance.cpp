#include "session/Maintenance.h"

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Options.h"
#include "app/OptionsIO.h"
#include "db/Database.h"
#include "db/ParamCatalogue.h"
#include "db/ScriptExecution.h"
#include "db/StatisticsPurge.h"
#include "db/TrackImport.h"
#include "session/Runner.h"
#include "tracks/CacheCleaner.h"

#include <QFileInfo>

TMaintenance::TMaintenance(TOptions &options, TDialogs &dialogs, db::TDatabase &database,
                           TFManager &fmngr, const TRunner *runner, QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs), m_db(database), m_fmngr(fmngr),
      m_runner(runner) {}

void TMaintenance::clearCache() {
    if (m_runner && m_runner->active())
        return;
    ClearCache(&m_fmngr, m_dialogs);
}

namespace {
bool isRegistered(db::TDatabase &database, int number) {
    db::TTransaction tr(database, db::TTransactionKind::ReadCommitted);
    tr.start();
    db::TQuery q(tr, QStringLiteral("SELECT COUNT(*) FROM OBJECTS WHERE OBJ_NUMBER = :n"));
    q.setParam(QStringLiteral("n"), number);
    q.open();
    const bool found = q.next() && q.field(0).asInteger() > 0;
    q.close();
    tr.commit();
    return found;
}
} // namespace

void TMaintenance::purgeStatistics(std::optional<int> object, TDateTime upTo) {
    // The window offers only the registry's objects for a single-object purge.
    if (object && !isRegistered(m_db, *object))
        throw EUnknownObject(*object);
    PurgeStatistics(m_db, object, upTo);
    emit statisticsPurged();
    m_dialogs.message(QStringLiteral("Очистка статистики завершена!"),
                      QStringLiteral("Удаление архивных данных"), TMsgIcon::Information);
}

void TMaintenance::execScript() {
    const QString file = m_dialogs.openFile(QStringLiteral("Выберете файл скрипта."), AppDir(),
                                            QStringLiteral("Файлы скрипта (*.sql)|*.sql"));
    if (!file.isEmpty())
        runScript(db::TConnectionSettings::fromOptions(m_options), file);
}

void TMaintenance::runScript(const db::TConnectionSettings &settings, const QString &file) {
    db::TScriptExecution::runFile(settings, file);
    m_dialogs.message(QStringLiteral("Метаданные базы данных обновленны."),
                      QStringLiteral("Выполнение скрипта"), TMsgIcon::Information);
}

void TMaintenance::exportFieldSettings() {
    QString file =
        m_dialogs.saveFile(QStringLiteral("Экспортировать настройки во внешний файл"), ProfileDir(),
                           QStringLiteral("Файл настроек полей (*.fcg)|*.fcg"), QString());
    if (file.isEmpty())
        return;
    if (QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".txt");
    exportFields(file);
}

void TMaintenance::exportFields(const QString &file) {
    fieldsettings::Export(m_db, file, TFieldsOrder::DefaultFileName());
    m_dialogs.message(QStringLiteral("Настройки успешно экспортированны из базы данных во внешний "
                                     "файл"),
                      options::ApplicationTitle(), TMsgIcon::Information);
}

void TMaintenance::importFieldSettings() {
    const QString file =
        m_dialogs.openFile(QStringLiteral("Импортировать настройки из внешнего файла"), DataDir(),
                           QStringLiteral("Текстовый файл (*.fcg)|*.fcg"));
    if (!file.isEmpty())
        importFields(file);
}

std::optional<int> TMaintenance::importFields(const QString &file) {
    int refused = 0;
    try {
        refused = fieldsettings::Import(m_db, file, TFieldsOrder::DefaultFileName(), m_dialogs);
    } catch (const EFieldSettingsError &e) {
        m_dialogs.message(e.text(), QStringLiteral("Импорт настроек"), TMsgIcon::Error);
        return std::nullopt;
    }
    emit catalogueReplaced();
    m_dialogs.message(QStringLiteral("Настройки успешно загруженны из файла в базу данных"),
                      options::ApplicationTitle(), TMsgIcon::Information);
    return refused;
}
