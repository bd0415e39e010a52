// The refuelling commands: refuels detect, refuels list.

#include <cstdio>

#include "cli/Commands.h"
#include "db/Database.h"
#include "db/ObjectRegistry.h"
#include "reports/FuelCharges.h"

namespace cli {

namespace {

int refuels(TCliContext &context, const TArgs &args) {
    args.expectPositional(1, 1);
    const QString action = args.positional().first();
    const bool detect = action == QLatin1String("detect");
    if (!detect && action != QLatin1String("list"))
        throw EUsage(QStringLiteral("unknown action '%1' (detect or list)").arg(action));
    for (const char *o : {"object", "from", "to"})
        if (!args.has(QString::fromLatin1(o)))
            throw EUsage(QStringLiteral("--%1 is required").arg(QString::fromLatin1(o)));
    if (!detect && args.has(QStringLiteral("threshold")))
        throw EUsage(QStringLiteral("--threshold belongs to detect"));
    const int number =
        parseInteger(QStringLiteral("--object"), args.value(QStringLiteral("object")));
    const TDateTime from =
        parseTime(QStringLiteral("--from"), args.value(QStringLiteral("from")), TDayEnd::Start);
    const TDateTime to =
        parseTime(QStringLiteral("--to"), args.value(QStringLiteral("to")), TDayEnd::End);
    int threshold = TFuelCharges::DefaultThreshold;
    if (args.has(QStringLiteral("threshold"))) {
        threshold =
            parseInteger(QStringLiteral("--threshold"), args.value(QStringLiteral("threshold")));
        if (threshold < TFuelCharges::MinThreshold || threshold > TFuelCharges::MaxThreshold)
            throw EUsage(QStringLiteral("--threshold: %1 to %2")
                             .arg(QString::number(TFuelCharges::MinThreshold),
                                  QString::number(TFuelCharges::MaxThreshold)));
    }

    db::TDatabase database;
    connectDatabase(database, db::TConnectionSettings::fromOptions(context.options()));
    {
        // The window lists the registered objects only.
        TObjectRegistry registry(database, context.dialogs());
        if (!registry.Find(number))
            throw EFailure(QStringLiteral("object %1 is not in the registry").arg(number));
        TFuelCharges charges(database, context.dialogs());
        charges.setPeriod({number, from, to});
        if (detect) {
            charges.DetectCharges(threshold);
            // What the window keeps when it is closed with "Yes".
            charges.SaveChanges();
        } else {
            charges.ShowCharges();
        }
        std::fputs(charges.toTabSeparated().toUtf8().constData(), stdout);
    }
    database.forceClose();
    return ExitDone;
}

} // namespace

std::vector<TCommand> FuelCommands() {
    std::vector<TCommand> c;
    c.push_back(
        {QStringLiteral("refuels"),
         QStringLiteral("refuels detect|list --object N --from T --to T [--threshold MV]"),
         QStringLiteral(
             "The refuelling window \"Заправки за период\" of object N for the period.\n"
             "\n"
             "  list                 \"Показать заправки\": prints the refuellings that open in\n"
             "                       the period as tab-separated text, the window's columns\n"
             "                       (\"Оценка\" is litres at the closing reading less litres at\n"
             "                       the opening one, by the object's calibration table)\n"
             "  detect               \"Определить заправки\": finds the period's refuellings in\n"
             "                       the stored fuel readings and stores the new ones (as the\n"
             "                       window closed with \"Yes\"), then prints them as list does\n"
             "  --from T, --to T     YYYY-MM-DD or YYYY-MM-DD HH:MM:SS, local time; a date\n"
             "                       alone means 00:00:00 for --from and 23:59:59 for --to\n"
             "  --threshold MV       detect: \"Пороговый уровень (мВ)\", 1 to 2048 (100)\n"),
         {QStringLiteral("object"), QStringLiteral("from"), QStringLiteral("to"),
          QStringLiteral("threshold")},
         {},
         refuels});
    return c;
}

} // namespace cli
