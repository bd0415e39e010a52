#pragma once

// The session's maintenance: clearing the track cache, purging old statistics, running an SQL
// script, and exchanging the parameter catalogue with a field-settings file. The window asks
// for the files; the batch front end names them.

#include <QObject>
#include <QString>

#include <optional>

#include "app/DateUtils.h"

struct TOptions;
class TDialogs;
class TFManager;
class TRunner;
namespace db {
class TDatabase;
struct TConnectionSettings;
} // namespace db

class TMaintenance : public QObject {
    Q_OBJECT
public:
    TMaintenance(TOptions &options, TDialogs &dialogs, db::TDatabase &database, TFManager &fmngr,
                 const TRunner *runner = nullptr, QObject *parent = nullptr);

    // "Очистить кэш" (never while a run uses the track files).
    void clearCache();
    // "Очистить статистику...": the stored states and coordinates up to upTo, of one registered
    // object or of every object. An object that is not registered raises EUnknownObject.
    void purgeStatistics(std::optional<int> object, TDateTime upTo);
    // "Выполнить скрипт": asks for the file.
    void execScript();
    // The same for a named file, on a connection of its own.
    void runScript(const db::TConnectionSettings &settings, const QString &file);
    // "Экспортировать настройки во внешний файл": asks for the file.
    void exportFieldSettings();
    void exportFields(const QString &file);
    // "Импортировать настройки из внешнего файла": asks for the file.
    void importFieldSettings();
    // The same for a named file: the rows the database refused, or nothing when the file was
    // refused as a whole (its message was shown).
    std::optional<int> importFields(const QString &file);

signals:
    // The purged history leaves the map too.
    void statisticsPurged();
    // Everything that read the catalogue reads it again.
    void catalogueReplaced();

private:
    TOptions &m_options;
    TDialogs &m_dialogs;
    db::TDatabase &m_db;
    TFManager &m_fmngr;
    const TRunner *m_runner;
};
