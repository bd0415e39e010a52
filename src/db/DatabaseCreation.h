#pragma once

// Making a database that does not exist yet: from the update script beside the program, for
// `zarnex-cli create-db` and for a workstation's first start.
//
// Wiring of the first start (the program, before the automatic connection):
//   db::TMissingDatabaseOffer offer(options, dialogs, Folders());
//   offer.saveSettings = [&] { write the settings file, show the new DBServ/DBPath };
//   if (options.FirstRun) offer.run();

#include <QString>

#include <functional>

#include "app/Folders.h"
#include "db/Database.h"

struct TOptions;
class TDialogs;

namespace db {

// The database file itself could not be made (it exists, its folder is missing, no rights).
class EDatabaseNotCreated : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// Creates databaseName ("host:/path" on a server, or a path for the embedded engine, whose
// folder is made) with this login and builds its whole structure from the update script. A
// failure after the file was made drops it again: a half-built database is worse than none.
// Throws EDatabaseNotCreated when the file cannot be made, the build's error otherwise.
void CreateDatabaseFromScript(const QString &databaseName, const QString &login,
                              const QString &password, const QString &scriptPath);

// A file the embedded engine made as root is root's; the server runs as "firebird". False when
// it should have been handed over and could not be.
bool HandToServerUser(const QString &path);

enum class TDatabaseState {
    Exists,      // it opens
    Missing,     // the engine or the server says there is no such file
    Unreachable, // the server does not answer
    Refused,     // anything else: a wrong password, a damaged file, no rights
};

struct TDatabaseProbe {
    TDatabaseState state = TDatabaseState::Refused;
    QString error; // the engine's text, empty when it opens
};

// Opens and closes the database once to learn whether it is there.
TDatabaseProbe ProbeDatabase(const TConnectionSettings &settings);

// A workstation's first start with a database that is not there: offers to create it from the
// update script where the settings name it, or, when that place cannot hold one (the default
// file inside a program folder the user cannot write: an installed program), as the user's own
// database with the embedded engine, and switches the settings to it.
class TMissingDatabaseOffer {
public:
    enum class TOutcome {
        Present,    // the configured database opens: nothing to do
        Created,    // made; the settings name it
        Switched,   // the user's own database was there already; the settings now name it
        Declined,   // the user said No
        Failed,     // creation failed (shown); nothing changed
        NotOffered, // a server that does not answer, or refuses: the connection reports it
    };

    TMissingDatabaseOffer(TOptions &options, TDialogs &dialogs, const TFolders &folders);

    // Writes the settings file after they were switched to another database.
    std::function<void()> saveSettings;
    // The update script; AppDir + "update/UPDB.sql" unless changed.
    QString scriptPath;
    // Whether this user could make a file there: its folder, or the nearest one above it that
    // exists, is writable (root may write anywhere, so tests choose for it).
    std::function<bool(const QString &path)> canMakeFile;

    TOutcome run();

    // ProfileDir + "database/ZARNEXLDB.FDB".
    QString userDatabasePath() const;
    // True when the configured file lies in the program folder and the user cannot write there.
    bool configuredPlaceIsReadOnly() const;

private:
    TOutcome create(const QString &databaseName, bool switchSettings);

    TOptions &m_options;
    TDialogs &m_dialogs;
    TFolders m_folders;
};

} // namespace db
