#pragma once

// The database update: a new database is built from the update script beside the program, the
// data of every table is copied from the database in use, the rest of the structure is
// finished, and only then are the settings switched to the new file. The database in use is
// never changed.
//
// Wiring (the update window TUpdateDBForm, src/ui/UpdateDBForm.h, does this):
//   - TDatabaseUpdater updater(options, dialogs, mainDatabase);
//   - updater.saveSettings   = [&] { save the settings file };
//   - updater.disconnectMain = [&] { controller.DisconnectFromDB() and the command's rest };
//   - updater.processEvents  = [] { QCoreApplication::processEvents(); };   (keeps cancel live)
//   - logLine(QString) -> append to the window's log; newFileName(QString) -> show the name;
//     runningChanged(bool) -> enable "Отменить", disable "Выполнить"/"Закрыть" while running;
//   - "Выполнить" -> run(scriptPath, skipHistory); "Отменить" -> cancel().
// TDatabaseController::PerformUpdate should show the window and run it with the default script
// (AppDir() + "update/UPDB.sql"), without the cancel button.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTime>

#include <functional>

#include "app/Dialogs.h"

struct TOptions;

namespace db {

class TDatabase;

// The two parts and the directives of an update script.
struct TUpdateScript {
    QStringList part1; // lines run before the copy (the comment opening the directives dropped)
    QStringList part2; // lines after the directive block, run after the copy
    QStringList ignoreTables;
    QStringList skipTables; // only when history is not copied
    bool hasMarker = false;

    static TUpdateScript parse(const QStringList &lines);
    QStringList tablesToSkip(bool skipHistory) const;
};

// Lines of a script file: UTF-8 when the bytes are valid UTF-8, otherwise Windows-1251.
QStringList readScriptLines(const QString &path);

// Builds the structure of an empty, open database from an update script: part 1, then part 2
// (with nothing to copy in between), each in its own transaction.
void BuildFromUpdateScript(TDatabase &database, const QString &scriptPath);

class TDatabaseUpdater : public QObject {
    Q_OBJECT
public:
    static constexpr int CommitBlock = 1000;

    TDatabaseUpdater(TOptions &options, TDialogs &dialogs, TDatabase &mainDatabase,
                     QObject *parent = nullptr);
    ~TDatabaseUpdater() override;

    std::function<void()> saveSettings;
    std::function<void()> disconnectMain;
    std::function<void()> processEvents;
    // The time of day the new file is named after (tests pin it).
    std::function<QTime()> clock;

    // The whole update. True when the settings were switched to the new database.
    bool run(const QString &scriptPath, bool skipHistory);
    void cancel();
    bool isRunning() const { return m_running; }
    bool wasCancelled() const { return m_cancelled; }

    // "ZARNEXLDB" + time of day without ":" + ".FDB" in the folder of DBPath; never the file
    // DBPath names (a suffix "_1", "_2"... makes it free).
    QString newDatabasePath(const QTime &time) const;
    const QString &lastNewDatabasePath() const { return m_newPath; }
    const QStringList &log() const { return m_log; }

signals:
    void logLine(const QString &line);
    void newFileName(const QString &path);
    void runningChanged(bool running);

private:
    TOptions &m_options;
    TDialogs &m_dialogs;
    TDatabase &m_main;
    TDatabase *m_copy = nullptr;
    bool m_running = false;
    bool m_cancelled = false;
    QString m_newPath;
    QStringList m_log;

    void addLog(const QString &line);
    QString copyName() const;
    bool createCopy();
    bool runScript(const QString &path, bool skipHistory);
    void copyTable(const QString &table);
    void closeCopy() noexcept;
};

} // namespace db
