// The fuel-drain commands: drains detect, drains list.

#include <cstdio>

#include "app/Folders.h"
#include "cli/Commands.h"
#include "db/Database.h"
#include "db/ObjectRegistry.h"
#include "reports/DrainsStore.h"
#include "tracks/FileManager.h"

namespace cli {

namespace {

int drains(TCliContext &context, const TArgs &args) {
    args.expectPositional(1, 1);
    const QString action = args.positional().first();
    const bool detect = action == QLatin1String("detect");
    if (!detect && action != QLatin1String("list"))
        throw EUsage(QStringLiteral("unknown action '%1' (detect or list)").arg(action));
    const bool all = args.has(QStringLiteral("all"));
    if (all == args.has(QStringLiteral("object")))
        throw EUsage(QStringLiteral("either --object N or --all"));
    for (const char *o : {"from", "to"})
        if (!args.has(QString::fromLatin1(o)))
            throw EUsage(QStringLiteral("--%1 is required").arg(QString::fromLatin1(o)));
    const int number =
        all ? 0 : parseInteger(QStringLiteral("--object"), args.value(QStringLiteral("object")));
    const TDateTime from =
        parseTime(QStringLiteral("--from"), args.value(QStringLiteral("from")), TDayEnd::Start);
    const TDateTime to =
        parseTime(QStringLiteral("--to"), args.value(QStringLiteral("to")), TDayEnd::End);

    const TOptions &o = context.options();
    db::TDatabase database;
    connectDatabase(database, db::TConnectionSettings::fromOptions(o));
    try {
        if (number != 0 && !TObjectRegistry(database, context.dialogs()).Find(number))
            throw EFailure(QStringLiteral("object %1 is not in the registry").arg(number));
        if (detect) {
            TFManager fmngr;
            const int added = DetectPeriodDrains(
                database, context.dialogs(), fmngr, CoordCacheDir(),
                {double(o.DrainLitres), double(o.DrainWindow), o.DrainMedian}, number, from, to);
            printErr(QStringLiteral("Найдено новых сливов: ") + QString::number(added));
        }
        TDrainsTable table;
        table.setRows(TDrainStore(database).period(number, from, to));
        std::fputs(table.toTabSeparated().toUtf8().constData(), stdout);
    } catch (const db::EDatabaseError &e) {
        database.forceClose();
        throw EFailure(e.text());
    }
    database.forceClose();
    return ExitDone;
}

} // namespace

std::vector<TCommand> DrainCommands() {
    std::vector<TCommand> c;
    c.push_back(
        {QStringLiteral("drains"),
         QStringLiteral("drains detect|list (--object N | --all) --from T --to T"),
         QStringLiteral(
             "The fuel drains of object N (or of every object) that begin in the period.\n"
             "\n"
             "  list                 the stored drains (the alerts raised on line and the\n"
             "                       drains found before) as tab-separated text: object,\n"
             "                       begin, end, litres drained (\"Слито, л\"), place\n"
             "  detect               \"Определить сливы\": runs the drain rule (the object's\n"
             "                       own or the settings' general one) over the period's\n"
             "                       stored readings, stores the new drains, then prints\n"
             "                       them as list does\n"
             "  --object N, --all    one registered object, or every one\n"
             "  --from T, --to T     YYYY-MM-DD or YYYY-MM-DD HH:MM:SS, local time; a date\n"
             "                       alone means 00:00:00 for --from and 23:59:59 for --to\n"),
         {QStringLiteral("object"), QStringLiteral("from"), QStringLiteral("to")},
         {QStringLiteral("all")},
         drains});
    return c;
}

} // namespace cli
