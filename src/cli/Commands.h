#pragma once

// The commands of zarnex-cli and what they share: the program folder, the client's settings
// (found as the client finds them, or named by --settings) and the non-interactive dialogs.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/Folders.h"
#include "app/Options.h"
#include "cli/CliArgs.h"
#include "cli/CliDialogs.h"

namespace db {
class TDatabase;
struct TConnectionSettings;
} // namespace db
class TManager;
class TDataRuns;
class TErrorGuard;
class TFManager;
class TMaintenance;
class TRegistryEdits;
class TRunner;

namespace cli {

class TCliContext {
public:
    // programDir: the folder of zarnex-cli, which is the client's program folder.
    // settingsFile: --settings, empty for the client's own settings file.
    TCliContext(const QString &programDir, const QString &settingsFile);

    const TFolders &folders() const { return m_folders; }
    TCliDialogs &dialogs() { return *m_dialogs; }
    // The settings, read on first use as the client reads them (missing file: the client's
    // message and the defaults). A --settings file that does not exist is a failure.
    TOptions &options();
    void saveOptions();

private:
    TFolders m_folders;
    bool m_namedSettings = false;
    std::shared_ptr<TCliDialogs> m_dialogs;
    std::optional<TOptions> m_options;
};

// Opens a connection as the client does; "cannot connect to the database: " + the server's
// message otherwise.
void connectDatabase(db::TDatabase &database, const db::TConnectionSettings &settings);
// The registry of the settings' database, as the client loads it at connection.
std::unique_ptr<TManager> openRegistry(TCliContext &context,
                                       const db::TConnectionSettings &settings);
// The session parts a batch command drives, on the settings' database: the main connection,
// the registry (when asked for), the track files and a runner the parts are built with (the
// batch front end runs their tasks on the spot).
class TCliParts {
public:
    TCliParts(TCliContext &context, const db::TConnectionSettings &settings, bool withRegistry);
    ~TCliParts();
    db::TDatabase &database() { return *m_database; }
    TManager *registry() { return m_registry.get(); }
    TDataRuns &runs() { return *m_runs; }
    TRegistryEdits &registryEdits() { return *m_edits; }
    TMaintenance &maintenance() { return *m_maintenance; }

private:
    std::unique_ptr<db::TDatabase> m_database;
    std::unique_ptr<TManager> m_registry;
    std::unique_ptr<TFManager> m_fmngr;
    std::unique_ptr<TErrorGuard> m_guard;
    std::unique_ptr<TRunner> m_runner;
    std::unique_ptr<TDataRuns> m_runs;
    std::unique_ptr<TRegistryEdits> m_edits;
    std::unique_ptr<TMaintenance> m_maintenance;
};

// A name without "host:" goes to the embedded engine.
bool isEmbeddedName(const QString &databaseName);
// The embedded engine run by a user other than root needs a lock folder it can write.
void prepareEmbeddedEngine();

struct TCommand {
    QString name;
    QString synopsis;         // after "zarnex-cli [--settings FILE] "
    QString help;             // what it does and its options
    QStringList valueOptions; // "--name VALUE"
    QStringList flags;        // "--name"
    std::function<int(TCliContext &, const TArgs &)> run;
};

// Every command, in the order of the usage; each group of commands has its own file.
const std::vector<TCommand> &Commands();
std::vector<TCommand> DatabaseCommands(); // DatabaseCommands.cpp
std::vector<TCommand> RegistryCommands(); // RegistryCommands.cpp
std::vector<TCommand> TrackCommands();    // TrackCommands.cpp
std::vector<TCommand> FuelCommands();     // FuelCommands.cpp
std::vector<TCommand> DrainCommands();    // DrainCommands.cpp
std::vector<TCommand> ArchiveCommands();  // ArchiveCommands.cpp
std::vector<TCommand> ReportCommands();   // ReportCommands.cpp
std::vector<TCommand> ProgramCommands();  // ProgramCommands.cpp
const TCommand *FindCommand(const QString &name);

// The whole usage (every command's synopsis) and one command's help.
QString ProgramUsage();
QString CommandHelp(const TCommand &command);

// Runs the command line (arguments after the program name); the exit status. Never throws.
int RunCli(const QString &programDir, const QStringList &args);

} // namespace cli
