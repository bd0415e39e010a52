#include "db/ScriptExecution.h"

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Options.h"
#include "db/Database.h"
#include "db/DatabaseUpdate.h"
#include "db/SqlScript.h"

namespace db {

TScriptExecution::TScriptExecution(const TOptions &options, TDialogs &dialogs)
    : m_options(options), m_dialogs(dialogs) {}

void TScriptExecution::runOn(TDatabase &database, const QString &fileName) {
    TTransaction tr(database, TTransactionKind::Write);
    try {
        TSqlScript script(readScriptLines(fileName).join(QLatin1Char('\n')));
        tr.start();
        script.run(tr);
        if (tr.isActive())
            tr.commit();
    } catch (...) {
        tr.forceRollback();
        throw;
    }
}

void TScriptExecution::runFile(const TConnectionSettings &settings, const QString &fileName) {
    TDatabase database;
    database.open(settings);
    try {
        runOn(database, fileName);
        database.close();
    } catch (...) {
        database.forceClose();
        throw;
    }
}

bool TScriptExecution::miExecScriptClick() {
    const QString file = m_dialogs.openFile(QStringLiteral("Выберете файл скрипта."), AppDir(),
                                            QStringLiteral("Файлы скрипта (*.sql)|*.sql"));
    if (file.isEmpty())
        return false;
    runFile(TConnectionSettings::fromOptions(m_options), file);
    m_dialogs.message(QStringLiteral("Метаданные базы данных обновленны."),
                      QStringLiteral("Выполнение скрипта"), TMsgIcon::Information);
    return true;
}

} // namespace db
