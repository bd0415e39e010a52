// The database commands: version, create-db, update-db, exec-script, purge.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/Folders.h"
#include "cli/Commands.h"
#include "db/Database.h"
#include "db/DatabaseController.h"
#include "db/DatabaseCreation.h"
#include "db/DatabaseUpdate.h"
#include "db/TrackImport.h"
#include "session/Maintenance.h"

namespace cli {

namespace {

const QString kDatabaseOption = QStringLiteral(
    "  --database DB        this database instead of the settings' DBServ:DBPath (\"host:/path\"\n"
    "                       for a server, a plain path for the embedded engine); login and\n"
    "                       password still come from the settings\n");

// The settings' connection, or --database in its place.
db::TConnectionSettings connectionSettings(TCliContext &context, const TArgs &args) {
    db::TConnectionSettings s = db::TConnectionSettings::fromOptions(context.options());
    if (args.has(QStringLiteral("database"))) {
        s.server.clear();
        s.path = args.value(QStringLiteral("database"));
        if (s.path.isEmpty())
            throw EUsage(QStringLiteral("--database: empty database name"));
    }
    return s;
}

QString updateScript(const TArgs &args) {
    const QString path = args.has(QStringLiteral("script"))
                             ? args.value(QStringLiteral("script"))
                             : AppDir() + QStringLiteral("update/UPDB.sql");
    return QFileInfo(path).absoluteFilePath();
}

void requireReadable(const QString &what, const QString &path) {
    const QFileInfo f(path);
    if (!f.isFile() || !f.isReadable())
        throw EFailure(QStringLiteral("cannot read the %1 %2").arg(what, path));
}

// ---------------------------------------------------------------- version

int version(TCliContext &context, const TArgs &args) {
    args.expectPositional(0, 0);
    printOut(GetFileVersionText());
    const db::TConnectionSettings settings = connectionSettings(context, args);
    db::TDatabaseController controller(context.options(), context.dialogs());
    connectDatabase(controller.Database(), settings);
    const int v = controller.GetCurrDBVersion();
    controller.Database().forceClose();
    if (v < 0)
        throw EFailure(QStringLiteral("Не удалось определить версию базы данных."));
    printOut(QString::number(v));
    return ExitDone;
}

// ---------------------------------------------------------------- create-db

int createDb(TCliContext &, const TArgs &args) {
    args.expectPositional(1, 1);
    const QString name = args.positional().first();
    const bool embedded = isEmbeddedName(name);
    const QString path = embedded ? QFileInfo(name).absoluteFilePath() : name;
    const QString script = updateScript(args);
    const QString user = qEnvironmentVariableIsEmpty("ZARNEX_DB_USER")
                             ? QStringLiteral("SYSDBA")
                             : qEnvironmentVariable("ZARNEX_DB_USER");
    const QString password = qEnvironmentVariableIsEmpty("ZARNEX_DB_PASSWORD")
                                 ? QStringLiteral("qvx7tpl2m")
                                 : qEnvironmentVariable("ZARNEX_DB_PASSWORD");

    if (args.has(QStringLiteral("if-missing"))) {
        // Only the server can tell whether its file exists; an embedded file is not opened.
        const bool exists = embedded ? QFileInfo::exists(path)
                                     : db::ProbeDatabase({QString(), path, user, password}).state ==
                                           db::TDatabaseState::Exists;
        if (exists) {
            printErr(QStringLiteral("%1 exists, left as it is").arg(path));
            return ExitDone;
        }
    }
    requireReadable(QStringLiteral("update script"), script);
    try {
        db::CreateDatabaseFromScript(path, user, password, script);
    } catch (const db::EDatabaseNotCreated &e) {
        throw EFailure(QStringLiteral("cannot create the database: ") + oneLine(e.text()));
    }
    if (!db::HandToServerUser(path))
        printErr(QStringLiteral("warning: cannot give %1 to the firebird user").arg(path));
    printErr(QStringLiteral("created %1").arg(path));
    return ExitDone;
}

// ---------------------------------------------------------------- update-db

int updateDb(TCliContext &context, const TArgs &args) {
    args.expectPositional(0, 0);
    if (args.has(QStringLiteral("history")) && args.has(QStringLiteral("no-history")))
        throw EUsage(QStringLiteral("--history and --no-history exclude each other"));
    const bool skipHistory = args.has(QStringLiteral("no-history"));
    const QString script = updateScript(args);
    // Checked first: a missing script would otherwise leave an empty new database behind.
    requireReadable(QStringLiteral("update script"), script);

    TOptions &options = context.options();
    const QString oldName = db::databaseName(options.DBServ, options.DBPath);
    if (args.has(QStringLiteral("continue-on-error")))
        context.dialogs().setAnswer(mbYes);
    else
        context.dialogs().setAnswer(mbNone, QStringLiteral("--continue-on-error would answer Yes"));

    db::TDatabase main;
    connectDatabase(main, db::TConnectionSettings::fromOptions(options));

    db::TDatabaseUpdater updater(options, context.dialogs(), main);
    QObject::connect(&updater, &db::TDatabaseUpdater::saveSettingsRequested,
                     [&context] { context.saveOptions(); });
    QObject::connect(&updater, &db::TDatabaseUpdater::disconnectMainRequested, [&main] {
        try {
            main.close();
        } catch (const db::EDatabaseError &) {
            main.forceClose();
        }
    });
    QObject::connect(&updater, &db::TDatabaseUpdater::logLine,
                     [](const QString &line) { printErr(line); });
    const bool done = updater.runHere(script, skipHistory);
    main.forceClose();
    if (!done)
        throw EFailure(QStringLiteral("the update did not complete; the settings still name ") +
                       oldName);
    printOut(updater.lastNewDatabasePath());
    return ExitDone;
}

// ---------------------------------------------------------------- exec-script

int execScript(TCliContext &context, const TArgs &args) {
    args.expectPositional(1, 1);
    const QString file = QFileInfo(args.positional().first()).absoluteFilePath();
    requireReadable(QStringLiteral("script"), file);
    const db::TConnectionSettings settings = connectionSettings(context, args);
    TCliParts parts(context, settings, false);
    parts.maintenance().runScript(settings, file);
    return ExitDone;
}

// ---------------------------------------------------------------- purge

int purge(TCliContext &context, const TArgs &args) {
    args.expectPositional(0, 0);
    if (!args.has(QStringLiteral("before")))
        throw EUsage(QStringLiteral("--before is required"));
    const TDateTime upTo =
        parseTime(QStringLiteral("--before"), args.value(QStringLiteral("before")), TDayEnd::Start);
    std::optional<int> object;
    if (args.has(QStringLiteral("object")))
        object = parseInteger(QStringLiteral("--object"), args.value(QStringLiteral("object")));
    TCliParts parts(context, db::TConnectionSettings::fromOptions(context.options()), false);
    try {
        parts.maintenance().purgeStatistics(object, upTo);
    } catch (const EUnknownObject &e) {
        throw EFailure(QStringLiteral("object %1 is not in the registry").arg(e.number()));
    }
    return ExitDone;
}

} // namespace

std::vector<TCommand> DatabaseCommands() {
    std::vector<TCommand> c;
    c.push_back({QStringLiteral("version"),
                 QStringLiteral("version [--database DB]"),
                 QStringLiteral("Prints the program version, then on the next line the structure\n"
                                "version of the database (SYS.LAST_VERSION).\n\n") +
                     kDatabaseOption,
                 {QStringLiteral("database")},
                 {},
                 version});
    c.push_back(
        {QStringLiteral("create-db"),
         QStringLiteral("create-db DATABASE [--if-missing] [--script FILE]"),
         QStringLiteral(
             "Creates DATABASE (page size 8192, character set WIN1251) and builds its structure\n"
             "from the update script beside the program (update/UPDB.sql): the tables, then the\n"
             "keys, triggers and procedures. DATABASE is \"host:/path\" for a server or a plain\n"
             "path for the embedded engine. Run by root, a file made by the embedded engine is\n"
             "handed to the \"firebird\" user, so that the server can open it. Login:\n"
             "$ZARNEX_DB_USER and $ZARNEX_DB_PASSWORD, by default the client's default login.\n"
             "\n"
             "  --if-missing         do nothing when DATABASE exists\n"
             "  --script FILE        another update script\n"),
         {QStringLiteral("script")},
         {QStringLiteral("if-missing")},
         createDb});
    c.push_back(
        {QStringLiteral("update-db"),
         QStringLiteral(
             "update-db [--history | --no-history] [--script FILE] [--continue-on-error]"),
         QStringLiteral(
             "\"Обновить базу данных\": builds a new database ZARNEXLDB<hhmmss>.FDB in the folder\n"
             "of the settings' DBPath from the update script beside the program, copies every\n"
             "table of the database in use into it, finishes its structure, and then switches\n"
             "the settings (DBPath, DBLogin, DBPass) to it. The database in use is never\n"
             "changed; a run that does not complete leaves the settings as they were (exit 1).\n"
             "The update's log goes to stderr, the new database's path to stdout.\n"
             "\n"
             "  --history            copy the history tables too (the default)\n"
             "  --no-history         \"Не копировать историю\": the tables the script marks as\n"
             "                       history stay empty\n"
             "  --script FILE        another update script (the window's \"Скрипт:\")\n"
             "  --continue-on-error  when a row or a table cannot be copied, answer the\n"
             "                       window's question with Yes (that table stays incomplete);\n"
             "                       without it the update stops there\n"),
         {QStringLiteral("script")},
         {QStringLiteral("history"), QStringLiteral("no-history"),
          QStringLiteral("continue-on-error")},
         updateDb});
    c.push_back(
        {QStringLiteral("exec-script"),
         QStringLiteral("exec-script FILE [--database DB]"),
         QStringLiteral(
             "\"Выполнить скрипт\": runs the SQL script FILE (statements end with \";\", SET TERM\n"
             "is honoured) on the settings' database in one write transaction and commits it.\n"
             "On an error the transaction is rolled back and the error is the failure reason.\n"
             "\n") +
             kDatabaseOption,
         {QStringLiteral("database")},
         {},
         execScript});
    c.push_back(
        {QStringLiteral("purge"),
         QStringLiteral("purge --before DATE [--object N]"),
         QStringLiteral(
             "\"Очистить статистику...\": deletes the stored states and coordinates\n"
             "(INPUTSIGNALS, COORDINATS) up to and including DATE, each table in a transaction\n"
             "of its own. The registry, the groups, the fuel data and the track files stay.\n"
             "\n"
             "  --before DATE        YYYY-MM-DD or YYYY-MM-DD HH:MM:SS, local time; a date\n"
             "                       alone means 00:00:00 of that day\n"
             "  --object N           only object N, which must be in the registry; without it\n"
             "                       every object, registered or not (the window's \"Все\")\n"),
         {QStringLiteral("before"), QStringLiteral("object")},
         {},
         purge});
    return c;
}

} // namespace cli
