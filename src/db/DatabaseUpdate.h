#pragma once

// The database update: a new database is built from the update script beside the program, the
// data of every table is copied from the database in use, the rest of the structure is
// finished, and only then are the settings switched to the new file. The database in use is
// never changed.
//
// The update is a run task (app/RunTask.h) that pauses after every block of copied rows, so the
// client's runner keeps the window and its "Отменить" live. Whoever runs it connects:
//   - saveSettingsRequested() -> save the settings file (they name the new database now);
//   - disconnectMainRequested() -> close the main connection and what hangs on it;
//   - logLine(QString) -> the window's log; newFileName(QString) -> show the name;
//     runningChanged(bool) -> enable "Отменить", disable "Выполнить"/"Закрыть" while running;
// and "Отменить" calls cancel().

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTime>

#include <functional>

#include "app/Dialogs.h"
#include "app/RunTask.h"

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

    // The time of day the new file is named after (tests pin it).
    std::function<QTime()> clock;

    // The whole update; switched() tells afterwards whether the settings name the new database.
    TRunTask run(QString scriptPath, bool skipHistory);
    // The same, run to its end on the spot; switched().
    bool runHere(const QString &scriptPath, bool skipHistory);
    bool switched() const { return m_switched; }
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
    void saveSettingsRequested();
    void disconnectMainRequested();

private:
    TOptions &m_options;
    TDialogs &m_dialogs;
    TDatabase &m_main;
    TDatabase *m_copy = nullptr;
    bool m_running = false;
    bool m_cancelled = false;
    bool m_switched = false;
    QString m_newPath;
    QStringList m_log;

    void addLog(const QString &line);
    QString copyName() const;
    bool createCopy();
    TRunTask runScript(QString path, bool skipHistory, bool &ok);
    TRunTask copyTable(QString table);
    void closeCopy() noexcept;
};

} // namespace db
