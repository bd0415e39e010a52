#pragma once

// "Выполнить скрипт": runs an SQL script file against the configured database on a connection
// of its own (the command is available only while the program is not connected).
//
// Wiring: menu "Выполнить скрипт" -> TScriptExecution(options, dialogs).miExecScriptClick()
// inside the window's handler; an EDatabaseError that leaves it goes to the application's
// general error message (the window shows e.text()), nothing else is shown then.

#include <QString>

struct TOptions;
class TDialogs;

namespace db {

struct TConnectionSettings;
class TDatabase;

class TScriptExecution {
public:
    TScriptExecution(const TOptions &options, TDialogs &dialogs);

    // Asks for the file; false when the dialog was cancelled. Shows the success message.
    bool miExecScriptClick();
    // Runs one file in a write transaction ("concurrency", "nowait") and commits; on failure
    // rolls back, closes the connection and rethrows.
    static void runFile(const TConnectionSettings &settings, const QString &fileName);
    // The same on a connection the caller opened (and closes): rolls back and rethrows on
    // failure, the connection stays open.
    static void runOn(TDatabase &database, const QString &fileName);

private:
    const TOptions &m_options;
    TDialogs &m_dialogs;
};

} // namespace db
