#include "cli/Commands.h"

#include <QDir>
#include <QFileInfo>

#include "app/ErrorGuard.h"
#include "app/OptionsIO.h"
#include "db/Database.h"
#include "db/GroupManager.h"
#include "session/DataRuns.h"
#include "session/Maintenance.h"
#include "session/RegistryEdits.h"
#include "session/Runner.h"
#include "tracks/FileManager.h"

namespace cli {

namespace {
const QString kProgram = QStringLiteral("zarnex-cli");
// The settings belong to the client: its file is named after it, not after this program.
const QString kClientProgram = QStringLiteral("zarnex-client");
} // namespace

TCliContext::TCliContext(const QString &programDir, const QString &settingsFile)
    : m_dialogs(std::make_shared<TCliDialogs>()) {
    m_folders = ComputeFolders(QDir(programDir).filePath(kClientProgram));
    if (!settingsFile.isEmpty()) {
        m_folders.SettingsFileName = QFileInfo(settingsFile).absoluteFilePath();
        m_namedSettings = true;
    }
    SetFolders(m_folders);
}

TOptions &TCliContext::options() {
    if (!m_options) {
        if (m_namedSettings && !QFileInfo(m_folders.SettingsFileName).isFile())
            throw EFailure(QStringLiteral("settings file not found: ") +
                           m_folders.SettingsFileName);
        TOptions o = options::Defaults(m_folders);
        // A bad value is reported and keeps its default, as in the client; the job goes on.
        options::LoadOptions(o, m_folders, *m_dialogs);
        m_options = o;
    }
    return *m_options;
}

void TCliContext::saveOptions() {
    QDir().mkpath(QFileInfo(m_folders.SettingsFileName).absolutePath());
    if (!options::SaveOptions(options(), m_folders, *m_dialogs))
        throw EFailure(QStringLiteral("cannot save the settings: ") + m_folders.SettingsFileName);
}

bool isEmbeddedName(const QString &databaseName) {
    return db::IsEmbeddedName(databaseName);
}

void prepareEmbeddedEngine() {
    db::PrepareEmbeddedEngine();
}

void connectDatabase(db::TDatabase &database, const db::TConnectionSettings &settings) {
    if (isEmbeddedName(settings.databaseName()))
        prepareEmbeddedEngine();
    try {
        database.open(settings);
    } catch (const db::EDatabaseError &e) {
        throw EFailure(QStringLiteral("cannot connect to the database: ") + oneLine(e.text()));
    }
}

TCliParts::TCliParts(TCliContext &context, const db::TConnectionSettings &settings,
                     bool withRegistry)
    : m_database(std::make_unique<db::TDatabase>()), m_fmngr(std::make_unique<TFManager>()),
      m_guard(std::make_unique<TErrorGuard>(context.dialogs())),
      m_runner(std::make_unique<TRunner>(*m_guard)) {
    connectDatabase(*m_database, settings);
    if (withRegistry)
        m_registry = openRegistry(context, settings);
    TOptions &options = context.options();
    TDialogs &dialogs = context.dialogs();
    m_runs = std::make_unique<TDataRuns>(options, dialogs, *m_runner, *m_fmngr);
    m_runs->setRegistry(m_registry.get());
    m_edits = std::make_unique<TRegistryEdits>(*m_database, dialogs, *m_runs);
    m_edits->setRegistry(m_registry.get());
    m_maintenance = std::make_unique<TMaintenance>(options, dialogs, *m_database, *m_fmngr);
}

TCliParts::~TCliParts() {
    m_runs.reset();
    m_edits.reset();
    m_registry.reset();
    m_database->forceClose();
}

const std::vector<TCommand> &Commands() {
    static const std::vector<TCommand> all = [] {
        std::vector<TCommand> c;
        for (TCommand &d : DatabaseCommands())
            c.push_back(std::move(d));
        for (TCommand &d : RegistryCommands())
            c.push_back(std::move(d));
        for (TCommand &d : TrackCommands())
            c.push_back(std::move(d));
        for (TCommand &d : FuelCommands())
            c.push_back(std::move(d));
        for (TCommand &d : ArchiveCommands())
            c.push_back(std::move(d));
        for (TCommand &d : ReportCommands())
            c.push_back(std::move(d));
        for (TCommand &d : DrainCommands())
            c.push_back(std::move(d));
        for (TCommand &d : ProgramCommands())
            c.push_back(std::move(d));
        return c;
    }();
    return all;
}

const TCommand *FindCommand(const QString &name) {
    for (const TCommand &c : Commands())
        if (c.name == name)
            return &c;
    return nullptr;
}

QString ProgramUsage() {
    QString s = QStringLiteral("usage: %1 [--settings FILE] COMMAND [ARGS...]\n\n").arg(kProgram);
    s += QStringLiteral("commands:\n");
    for (const TCommand &c : Commands())
        s += QStringLiteral("  ") + c.synopsis + QLatin1Char('\n');
    s += QStringLiteral(
             "\n"
             "--settings FILE  the client's settings file to use; without it the client's own\n"
             "                 (zarnex-client.ini in the program folder, or the per-user one when\n"
             "                 its [SettingsLocation] UserPath is 1)\n"
             "\n"
             "Times are local: YYYY-MM-DD or YYYY-MM-DD HH:MM:SS. Results go to stdout, log lines\n"
             "and messages to stderr. Exit status: 0 done, 1 the job failed, 2 bad usage.\n"
             "'%1 COMMAND --help' describes a command.\n")
             .arg(kProgram);
    return s;
}

QString CommandHelp(const TCommand &command) {
    return QStringLiteral("usage: %1 [--settings FILE] %2\n\n%3")
        .arg(kProgram, command.synopsis, command.help);
}

namespace {
void usageError(const QString &reason, const TCommand *command) {
    printErr(kProgram + QStringLiteral(": ") + reason);
    if (command)
        printErr(QStringLiteral("usage: %1 [--settings FILE] %2\n(see '%1 %3 --help')")
                     .arg(kProgram, command->synopsis, command->name));
    else
        printErr(ProgramUsage());
}
} // namespace

int RunCli(const QString &programDir, const QStringList &args) {
    const TCommand *command = nullptr;
    try {
        // Global options come before the command.
        QString settingsFile;
        int i = 0;
        for (; i < args.size(); ++i) {
            const QString &a = args[i];
            if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
                printOut(ProgramUsage());
                return ExitDone;
            }
            if (a == QLatin1String("--settings")) {
                if (i + 1 >= args.size())
                    throw EUsage(QStringLiteral("option '--settings' needs a value"));
                settingsFile = args[++i];
            } else if (a.startsWith(QLatin1String("--settings="))) {
                settingsFile = a.mid(11);
            } else if (a.startsWith(QLatin1Char('-'))) {
                throw EUsage(QStringLiteral("unknown option '%1'").arg(a));
            } else {
                break;
            }
            if (settingsFile.isEmpty())
                throw EUsage(QStringLiteral("option '--settings' needs a file name"));
        }
        if (i >= args.size())
            throw EUsage(QStringLiteral("no command given"));
        command = FindCommand(args[i]);
        if (!command)
            throw EUsage(QStringLiteral("unknown command '%1'").arg(args[i]));
        const TArgs commandArgs(args.mid(i + 1), command->valueOptions, command->flags);
        if (commandArgs.help()) {
            printOut(CommandHelp(*command));
            return ExitDone;
        }
        TCliContext context(programDir, settingsFile);
        return command->run(context, commandArgs);
    } catch (const EUsage &e) {
        usageError(e.text(), command);
        return ExitUsage;
    } catch (const EFailure &e) {
        printErr(kProgram + QStringLiteral(": ") + e.text());
    } catch (const db::EDatabaseError &e) {
        printErr(kProgram + QStringLiteral(": ") + oneLine(e.text()));
    } catch (const std::exception &e) {
        printErr(kProgram + QStringLiteral(": ") + oneLine(QString::fromUtf8(e.what())));
    } catch (...) {
        printErr(kProgram + QStringLiteral(": unexpected error"));
    }
    return ExitFailed;
}

} // namespace cli
