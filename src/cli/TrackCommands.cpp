// The track commands: import, import-dir, track.

#include <QDir>
#include <QFileInfo>

#include <cstdio>

#include <unistd.h>

#include "app/Folders.h"
#include "app/IniFile.h"
#include "cli/Commands.h"
#include "db/Database.h"
#include "db/GroupManager.h"
#include "db/TrackImport.h"
#include "session/DataRuns.h"
#include "session/Runner.h"
#include "tracks/FileManager.h"
#include "tracks/TrackAnalysis.h"
#include "tracks/TrackGpx.h"
#include "tracks/TrackPartsModel.h"

namespace cli {

std::unique_ptr<TManager> openRegistry(TCliContext &context,
                                       const db::TConnectionSettings &settings) {
    db::TDatabase probe; // says clearly why a connection fails
    connectDatabase(probe, settings);
    probe.forceClose();
    auto registry = std::make_unique<TManager>(settings, context.dialogs(), CoordCacheDir());
    if (!registry->isConnected())
        throw EFailure(QStringLiteral("cannot connect to the database"));
    return registry;
}

namespace {

// The import's log lines on stderr; on a terminal the bar's position too.
void showProgress(TImportProgress &progress) {
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    QObject::connect(&progress, &TImportProgress::logLine, [terminal](const QString &line) {
        if (terminal)
            std::fputs("\r\033[K", stderr);
        printErr(line);
    });
    if (terminal)
        QObject::connect(&progress, &TImportProgress::positionChanged, [&progress](int pos) {
            std::fprintf(stderr, "\r[%d/%d]", pos, progress.maximum());
            std::fflush(stderr);
        });
}

int runImport(TCliContext &context, const std::function<TRunTask(TDataRuns &)> &task,
              const std::function<int()> &units) {
    TCliParts parts(context, db::TConnectionSettings::fromOptions(context.options()), true);
    showProgress(parts.runs().importProgress());
    TRunner::runHere(task(parts.runs()));
    if (::isatty(STDERR_FILENO) == 1)
        std::fputs("\r\033[K", stderr);
    if (parts.runs().failedFiles() > 0)
        throw EFailure(
            QStringLiteral("%1 of %2 files were not imported")
                .arg(QString::number(parts.runs().failedFiles()), QString::number(units())));
    return ExitDone;
}

int importFiles(TCliContext &context, const TArgs &args) {
    args.expectPositional(1, 1 << 20);
    if (!args.has(QStringLiteral("object")))
        throw EUsage(QStringLiteral("--object is required"));
    const int number =
        parseInteger(QStringLiteral("--object"), args.value(QStringLiteral("object")));
    if (number <= 0)
        throw EUsage(QStringLiteral("--object: the object number must be above 0"));
    QStringList files;
    for (const QString &f : args.positional())
        files << QFileInfo(f).absoluteFilePath();
    return runImport(
        context, [&](TDataRuns &r) { return r.importFilesTask(files, number); },
        [&] { return int(files.size()); });
}

int importDir(TCliContext &context, const TArgs &args) {
    args.expectPositional(1, 1);
    const QFileInfo dir(args.positional().first());
    if (!dir.isDir())
        throw EFailure(QStringLiteral("no such folder: ") + dir.filePath());
    const QString folder = dir.absoluteFilePath() + QLatin1Char('/');
    int files = 0;
    for (int i = 1; i <= 999; ++i)
        files += int(QDir(folder + QString::number(i))
                         .entryList({QStringLiteral("*.dat")}, QDir::Files | QDir::Hidden)
                         .size());
    return runImport(
        context, [&](TDataRuns &r) { return r.importDirectoryTask(folder); },
        [&] { return files; });
}

int track(TCliContext &context, const TArgs &args) {
    args.expectPositional(0, 0);
    for (const char *o : {"object", "from", "to"})
        if (!args.has(QString::fromLatin1(o)))
            throw EUsage(QStringLiteral("--%1 is required").arg(QString::fromLatin1(o)));
    const int number =
        parseInteger(QStringLiteral("--object"), args.value(QStringLiteral("object")));
    const TDateTime from =
        parseTime(QStringLiteral("--from"), args.value(QStringLiteral("from")), TDayEnd::Start);
    const TDateTime to =
        parseTime(QStringLiteral("--to"), args.value(QStringLiteral("to")), TDayEnd::End);
    if (to < from)
        throw EUsage(QStringLiteral("--to is before --from"));

    TOptions &options = context.options();
    std::unique_ptr<TManager> registry =
        openRegistry(context, db::TConnectionSettings::fromOptions(options));
    const TControllableObject *o = registry->FindObject(number);
    if (!o)
        throw EFailure(QStringLiteral("object %1 is not in the registry").arg(number));
    TFManager fmngr;
    const std::vector<TCoordData> coords = LoadTrackPeriod(
        fmngr, CoordCacheDir() + QString::number(number) + QLatin1Char('/'), from, to);
    TTrackAnalysis analysis(coords, TTrackSettings::fromOptions(options));
    ArrayTracks parts;
    TTrackPartsModel table;
    if (!coords.empty()) {
        parts = analysis.divide(o->Version > 0 && o->UseEngineForPark == 1);
        table.fill(analysis, parts);
    }
    if (args.has(QStringLiteral("gpx"))) {
        const QString file = QFileInfo(args.value(QStringLiteral("gpx"))).absoluteFilePath();
        try {
            writeFileAtomically(file, TrackToGpx(coords, parts, number));
        } catch (const std::exception &e) {
            throw EFailure(
                QStringLiteral("cannot write %1: %2").arg(file, QString::fromUtf8(e.what())));
        }
    }
    std::fputs(table.toTabSeparated().toUtf8().constData(), stdout);
    return ExitDone;
}

} // namespace

std::vector<TCommand> TrackCommands() {
    std::vector<TCommand> c;
    c.push_back(
        {QStringLiteral("import"),
         QStringLiteral("import --object N FILE..."),
         QStringLiteral(
             "\"Импортировать данные из файлов...\": imports the device data files into the\n"
             "database for object N: every position into the object's track file of the\n"
             "file's name, every change of state into the state history, and the object's\n"
             "latest state when the files hold newer data. The per-file log lines go to\n"
             "stderr; a file that cannot be imported (unreadable, or an object that is not\n"
             "registered) is logged and the others go on, and the run ends with exit 1.\n"
             "\n"
             "  --object N           the object the files belong to\n"),
         {QStringLiteral("object")},
         {},
         importFiles});
    c.push_back(
        {QStringLiteral("import-dir"),
         QStringLiteral("import-dir DIR"),
         QStringLiteral(
             "\"Импортировать данные из каталога...\": imports the \"*.dat\" files of every\n"
             "subfolder DIR/1 ... DIR/999 for the object of the folder's number (higher numbers\n"
             "are not visited), with the same log lines on stderr. Any file that fails makes\n"
             "the exit status 1.\n"),
         {},
         {},
         importDir});
    c.push_back(
        {QStringLiteral("track"),
         QStringLiteral("track --object N --from T --to T [--gpx FILE]"),
         QStringLiteral(
             "\"Загрузить трек...\": loads object N's track from its track files for the\n"
             "period, divides it into movement and stop parts as the window does, and prints\n"
             "the table \"Участки трека\" as tab-separated text: the header, the totals row\n"
             "\"Весь\", one row per part.\n"
             "\n"
             "  --from T, --to T     YYYY-MM-DD or YYYY-MM-DD HH:MM:SS, local time; a date\n"
             "                       alone means 00:00:00 for --from and 23:59:59 for --to\n"
             "  --gpx FILE           also write the track as GPX 1.1: one track segment per\n"
             "                       movement part, each stop as a waypoint\n"),
         {QStringLiteral("object"), QStringLiteral("from"), QStringLiteral("to"),
          QStringLiteral("gpx")},
         {},
         track});
    return c;
}

} // namespace cli
