// The archive command: download.

#include "archive/DownloadProgress.h"
#include "cli/Commands.h"
#include "db/Database.h"
#include "db/GroupManager.h"
#include "session/DataRuns.h"
#include "session/Runner.h"

namespace cli {

namespace {

// The log's lines on stderr, each once it is complete (the window appends to its last line).
class TLogPrinter {
public:
    explicit TLogPrinter(TDownloadProgress &progress) {
        QObject::connect(&progress, &TDownloadProgress::lineAdded, [this](const QString &line) {
            flush();
            m_pending = line;
        });
        QObject::connect(&progress, &TDownloadProgress::lastLineChanged,
                         [this](const QString &line) { m_pending = line; });
    }
    void flush() {
        if (!m_pending.isNull())
            printErr(m_pending);
        m_pending = QString();
    }

private:
    QString m_pending;
};

int download(TCliContext &context, const TArgs &args) {
    args.expectPositional(0, 0);
    const bool all = args.has(QStringLiteral("all")), one = args.has(QStringLiteral("object"));
    if (all == one)
        throw EUsage(QStringLiteral("give either --object N or --all"));
    for (const char *o : {"from", "to"})
        if (!args.has(QString::fromLatin1(o)))
            throw EUsage(QStringLiteral("--%1 is required").arg(QString::fromLatin1(o)));
    if (args.has(QStringLiteral("ftp")) && args.has(QStringLiteral("http")))
        throw EUsage(QStringLiteral("--ftp and --http exclude each other"));
    const int number =
        one ? parseInteger(QStringLiteral("--object"), args.value(QStringLiteral("object"))) : 0;
    if (one && number <= 0)
        throw EUsage(QStringLiteral("--object: the object number must be above 0"));
    const QDate from = dt::toQDate(
        parseTime(QStringLiteral("--from"), args.value(QStringLiteral("from")), TDayEnd::Start));
    const QDate to = dt::toQDate(
        parseTime(QStringLiteral("--to"), args.value(QStringLiteral("to")), TDayEnd::End));
    if (to < from)
        throw EUsage(QStringLiteral("--to is before --from"));

    // The transport named on the command line serves this run only (the settings are not
    // saved by this command).
    TOptions &options = context.options();
    if (args.has(QStringLiteral("ftp")))
        options.UseDServer = false;
    if (args.has(QStringLiteral("http")))
        options.UseDServer = true;
    TCliParts parts(context, db::TConnectionSettings::fromOptions(options), true);
    if (one && !parts.registry()->FindObject(number))
        throw EFailure(QStringLiteral("object %1 is not in the registry").arg(number));

    TLogPrinter printer(parts.runs().downloadProgress());
    TRunner::runHere(parts.runs().downloadDaysTask(number, from, to));
    printer.flush();
    if (parts.runs().downloadFailed())
        throw EFailure(options.UseDServer
                           ? QStringLiteral("some files could not be downloaded or imported")
                           : QStringLiteral("the download ended with errors (see the log above)"));
    return ExitDone;
}

} // namespace

std::vector<TCommand> ArchiveCommands() {
    std::vector<TCommand> c;
    c.push_back(
        {QStringLiteral("download"),
         QStringLiteral("download (--object N | --all) --from DATE --to DATE [--ftp | --http]"),
         QStringLiteral(
             "\"Докачка информации\": fetches the day files the monitoring server kept for one\n"
             "object or every object of the registry, stores them in the data folder and\n"
             "imports them, as the window's download does. The days are widened to the UTC\n"
             "days they overlap. Files already stored with the size the server reports are\n"
             "not fetched again.\n"
             "\n"
             "  --from DATE, --to DATE  YYYY-MM-DD, local days\n"
             "  --ftp, --http           the monitoring server's FTP archive, or the data\n"
             "                          server; without them the settings' choice\n"
             "The FTP log lines go to stderr; exit status 1 when the run ended with errors.\n"),
         {QStringLiteral("object"), QStringLiteral("from"), QStringLiteral("to")},
         {QStringLiteral("all"), QStringLiteral("ftp"), QStringLiteral("http")},
         download});
    return c;
}

} // namespace cli
