// The report commands: report states|daily|period|set, the data window's pages and the
// object-set window's table through the reports' session part, exported as the windows do.

#include <QRegularExpression>

#include "app/Dialogs.h"
#include "app/ErrorGuard.h"
#include "cli/Commands.h"
#include "db/Database.h"
#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "reports/FuelCharges.h"
#include "session/ReportsPart.h"
#include "session/Runner.h"

namespace cli {

namespace {

// "cannot write FILE: reason" for an export that failed.
QString ExportFailureLine(const QString &file, const std::exception &e) {
    return QStringLiteral("cannot write ") + file + QStringLiteral(": ") +
           oneLine(QString::fromUtf8(e.what()));
}

struct TOutputs {
    QStringList files;
};

TOutputs outputs(const TArgs &args) {
    TOutputs o;
    for (const char *name : {"xml", "xlsx", "pdf"}) {
        const QString n = QString::fromLatin1(name);
        if (!args.has(n))
            continue;
        QString file = args.value(n);
        if (file.isEmpty())
            throw EUsage(QStringLiteral("--%1 needs a file name").arg(n));
        // The option names the form; a name without its extension gets it.
        if (!file.endsWith(QLatin1Char('.') + n, Qt::CaseInsensitive))
            file += QLatin1Char('.') + n;
        o.files << file;
    }
    if (o.files.isEmpty())
        throw EUsage(
            QStringLiteral("name at least one output: --xml FILE, --xlsx FILE or --pdf FILE"));
    return o;
}

TDateTime parseDuration(const QString &option, const QString &text) {
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2}):(\\d{2}):(\\d{2})$"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch() || m.captured(1).toInt() > 23 || m.captured(2).toInt() > 59 ||
        m.captured(3).toInt() > 59)
        throw EUsage(QStringLiteral("%1: HH:MM:SS expected, not '%2'").arg(option, text));
    return dt::encodeTime(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
}

void printTrace(const QStringList &trace) {
    for (const QString &line : trace)
        printErr(line);
}

// What the command needs of the client: the main connection, the registry, the runner and the
// reports' part, as the session builds them.
struct TReportSession {
    TErrorGuard guard;
    TRunner runner;
    db::TDatabase database;
    std::unique_ptr<TManager> registry;
    TReportsPart part;

    explicit TReportSession(TCliContext &context)
        : guard(context.dialogs()), runner(guard),
          part(context.options(), context.dialogs(), runner, database) {
        const db::TConnectionSettings settings =
            db::TConnectionSettings::fromOptions(context.options());
        connectDatabase(database, settings);
        registry = openRegistry(context, settings);
        part.setRegistry(registry.get());
    }
    ~TReportSession() {
        part.setRegistry(nullptr);
        database.forceClose();
    }
};

int reportData(TCliContext &context, const TArgs &args, TDataPage page) {
    for (const char *o : {"object", "from", "to"})
        if (!args.has(QString::fromLatin1(o)))
            throw EUsage(QStringLiteral("--%1 is required").arg(QString::fromLatin1(o)));
    for (const char *o : {"objects", "groups"})
        if (args.has(QString::fromLatin1(o)))
            throw EUsage(QStringLiteral("--%1 belongs to report set").arg(QString::fromLatin1(o)));
    TDataParams p;
    p.object = parseInteger(QStringLiteral("--object"), args.value(QStringLiteral("object")));
    p.start =
        parseTime(QStringLiteral("--from"), args.value(QStringLiteral("from")), TDayEnd::Start);
    p.end = parseTime(QStringLiteral("--to"), args.value(QStringLiteral("to")), TDayEnd::End);
    if (args.has(QStringLiteral("max-gap")))
        p.maxLost =
            parseDuration(QStringLiteral("--max-gap"), args.value(QStringLiteral("max-gap")));
    if (args.has(QStringLiteral("threshold"))) {
        const int t =
            parseInteger(QStringLiteral("--threshold"), args.value(QStringLiteral("threshold")));
        if (t < TFuelCharges::MinThreshold || t > TFuelCharges::MaxThreshold)
            throw EUsage(QStringLiteral("--threshold: %1 to %2")
                             .arg(TFuelCharges::MinThreshold)
                             .arg(TFuelCharges::MaxThreshold));
        p.threshold = QString::number(t);
    }
    p.detect = !args.has(QStringLiteral("no-detect"));
    if (args.has(QStringLiteral("avg-minutes")))
        p.avgPeriod = QString::number(parseInteger(QStringLiteral("--avg-minutes"),
                                                   args.value(QStringLiteral("avg-minutes"))));
    if (args.has(QStringLiteral("format"))) {
        const QString f = args.value(QStringLiteral("format"));
        if (f != QLatin1String("days") && f != QLatin1String("hours"))
            throw EUsage(QStringLiteral("--format: days or hours"));
        p.formatDays = f == QLatin1String("days");
    }
    const TOutputs out = outputs(args);

    TReportSession s(context);
    if (!s.registry->FindObject(p.object))
        throw EFailure(QStringLiteral("object %1 is not in the registry").arg(p.object));
    const std::vector<TGridColumn> columns =
        page == TDataPage::States ? s.part.sostColumns() : s.part.calcColumns();
    auto result = std::make_shared<TReportsPart::TDataResult>();
    TRunner::runHere(s.part.dataTask(page, p, columns, result));
    printTrace(result->trace);

    TReportDocument doc;
    doc.sheetName = QStringLiteral("Данные по объекту ") + QString::number(p.object);
    doc.heading = s.part.dataHeading(page, p);
    doc.grid = result->grid;
    QStringList header;
    const QString line = s.part.exportHeaderLine(p.object);
    if (!line.isEmpty())
        header << line;
    for (const QString &file : out.files) {
        try {
            TReportsPart::SaveDataDocument(doc, header, file);
        } catch (const std::exception &e) {
            throw EFailure(ExportFailureLine(file, e));
        }
    }
    return ExitDone;
}

int reportSet(TCliContext &context, const TArgs &args) {
    for (const char *o : {"from", "to"})
        if (!args.has(QString::fromLatin1(o)))
            throw EUsage(QStringLiteral("--%1 is required").arg(QString::fromLatin1(o)));
    if (args.has(QStringLiteral("objects")) == args.has(QStringLiteral("groups")))
        throw EUsage(QStringLiteral("name --objects N,... or --groups NAME,..."));
    for (const char *o : {"object", "max-gap", "threshold", "no-detect", "avg-minutes", "format"})
        if (args.has(QString::fromLatin1(o)))
            throw EUsage(
                QStringLiteral("--%1 belongs to the data pages").arg(QString::fromLatin1(o)));
    TSetParams p;
    p.start = dt::toQDate(
        parseTime(QStringLiteral("--from"), args.value(QStringLiteral("from")), TDayEnd::Start));
    p.end = dt::toQDate(
        parseTime(QStringLiteral("--to"), args.value(QStringLiteral("to")), TDayEnd::End));
    const TOutputs out = outputs(args);

    TReportSession s(context);
    std::vector<TSetEntry> entries;
    if (args.has(QStringLiteral("objects"))) {
        for (const QString &n : args.value(QStringLiteral("objects")).split(QLatin1Char(','))) {
            const int number = parseInteger(QStringLiteral("--objects"), n.trimmed());
            if (!s.registry->FindObject(number))
                throw EFailure(QStringLiteral("object %1 is not in the registry").arg(number));
            TSetEntry e;
            e.text = QString::number(number);
            e.number = number;
            entries.push_back(e);
        }
    } else {
        for (const QString &name : args.value(QStringLiteral("groups")).split(QLatin1Char(','))) {
            const TGroup *found = nullptr;
            for (const auto &g : s.registry->FGroups)
                if (g->FPath == name.trimmed())
                    found = g.get();
            for (const auto &g : s.registry->FGroups)
                if (!found && g->FName == name.trimmed())
                    found = g.get();
            if (!found)
                throw EFailure(QStringLiteral("no group '%1'").arg(name.trimmed()));
            TSetEntry e;
            e.text = found->FPath;
            e.isGroup = true;
            e.groupId = found->FID;
            e.level = found->Level;
            for (const TControllableObject *o : found->FObjects)
                e.members.push_back(o->Number);
            entries.push_back(e);
        }
    }
    auto result = std::make_shared<TReportsPart::TSetTableResult>();
    TRunner::runHere(s.part.setTableTask(entries, p, s.part.setColumns(), result));

    TReportDocument doc;
    doc.sheetName = QStringLiteral("Отчет");
    doc.heading = s.part.setHeading(p);
    doc.grid = result->table;
    doc.captionColumn = true;
    for (const QString &file : out.files) {
        try {
            TReportsPart::SaveSetDocument(doc, file);
        } catch (const std::exception &e) {
            throw EFailure(ExportFailureLine(file, e));
        }
    }
    return ExitDone;
}

int report(TCliContext &context, const TArgs &args) {
    args.expectPositional(1, 1);
    const QString what = args.positional().first();
    if (what == QLatin1String("states"))
        return reportData(context, args, TDataPage::States);
    if (what == QLatin1String("daily"))
        return reportData(context, args, TDataPage::Daily);
    if (what == QLatin1String("period"))
        return reportData(context, args, TDataPage::Period);
    if (what == QLatin1String("set"))
        return reportSet(context, args);
    throw EUsage(QStringLiteral("unknown report '%1' (states, daily, period or set)").arg(what));
}

} // namespace

std::vector<TCommand> ReportCommands() {
    std::vector<TCommand> c;
    c.push_back(
        {QStringLiteral("report"),
         QStringLiteral("report states|daily|period --object N --from T --to T (--xml FILE | "
                        "--xlsx FILE | --pdf FILE)... [--max-gap HH:MM:SS] [--threshold MV] "
                        "[--no-detect] [--avg-minutes M] [--format days|hours]\n"
                        "  report set (--objects N,... | --groups NAME,...) --from T --to T "
                        "(--xml FILE | --xlsx FILE | --pdf FILE)..."),
         QStringLiteral(
             "The data window \"Данные\" of object N for the period, one page:\n"
             "\n"
             "  states               \"Состояния\": one row per interval of unchanged state\n"
             "  daily                \"Статистика по суткам\": one row per day and the totals\n"
             "  period               \"Статистика за период\": one row for the whole period\n"
             "  set                  \"Данные по нескольким объектам\": the table of the listed\n"
             "                       objects or groups (paths or names) with the rows \"Итог\"\n"
             "\n"
             "  --xml FILE           the spreadsheet \"Экспорт в Excel\" writes (XML 2003)\n"
             "  --xlsx FILE          the same table as an .xlsx workbook\n"
             "  --pdf FILE           the same table on A4 pages (heading, table)\n"
             "  --max-gap HH:MM:SS   \"Максимальная потеря данных:\" (00:03:00)\n"
             "  --threshold MV       \"Изменение показаний (мВ)\", 1 to 2048 (100)\n"
             "  --no-detect          untick \"Определить заправки\"\n"
             "  --avg-minutes M      \"Интервал усреднения граничных значений\" (60)\n"
             "  --format days|hours  \"Формат длительности\" of the totals (days)\n"
             "  --from T, --to T     YYYY-MM-DD or YYYY-MM-DD HH:MM:SS, local time; a date\n"
             "                       alone means 00:00:00 for --from and 23:59:59 for --to\n"
             "\n"
             "The fuel computations' trace goes to stderr.\n"),
         {QStringLiteral("object"), QStringLiteral("objects"), QStringLiteral("groups"),
          QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("xml"),
          QStringLiteral("xlsx"), QStringLiteral("pdf"), QStringLiteral("max-gap"),
          QStringLiteral("threshold"), QStringLiteral("avg-minutes"), QStringLiteral("format")},
         {QStringLiteral("no-detect")},
         report});
    return c;
}

} // namespace cli
