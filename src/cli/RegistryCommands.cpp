// The registry's object-settings files and the catalogue's field-settings files: object, fields.

#include <QFileInfo>

#include "app/Folders.h"
#include "cli/Commands.h"
#include "db/Database.h"
#include "session/Maintenance.h"
#include "session/RegistryEdits.h"

namespace cli {

namespace {

QString readableFile(const QString &what, const QString &path) {
    const QFileInfo f(path);
    if (!f.isFile() || !f.isReadable())
        throw EFailure(QStringLiteral("cannot read the %1 %2").arg(what, path));
    return f.absoluteFilePath();
}

// The settings' database, closed however the job ends.
struct TConnection : TCliParts {
    explicit TConnection(TCliContext &context)
        : TCliParts(context, db::TConnectionSettings::fromOptions(context.options()), false) {}
};

int object(TCliContext &context, const TArgs &args) {
    const QStringList &p = args.positional();
    if (p.isEmpty())
        throw EUsage(QStringLiteral("export or import?"));
    const QString &action = p.first();
    if (action == QLatin1String("export")) {
        args.expectPositional(3, 3);
        if (args.has(QStringLiteral("replace")))
            throw EUsage(QStringLiteral("--replace belongs to import"));
        const int number = parseInteger(QStringLiteral("N"), p[1]);
        const QString file = QFileInfo(p[2]).absoluteFilePath();
        TConnection c(context);
        if (!c.registryEdits().exportObject(number, file))
            throw EFailure(QStringLiteral("object %1 is not in the registry").arg(number));
        printErr(QStringLiteral("object %1 written to %2").arg(QString::number(number), file));
        return ExitDone;
    }
    if (action == QLatin1String("import")) {
        args.expectPositional(2, 2);
        const QString file = readableFile(QStringLiteral("object settings file"), p[1]);
        if (args.has(QStringLiteral("replace")))
            context.dialogs().setAnswer(mbYes);
        else
            context.dialogs().setAnswer(mbNone, QStringLiteral("--replace would answer Yes"));
        TConnection c(context);
        if (!c.registryEdits().importObject(file))
            throw EFailure(QStringLiteral("nothing was imported from ") + file);
        return ExitDone;
    }
    throw EUsage(QStringLiteral("unknown action '%1' (export or import)").arg(action));
}

int fields(TCliContext &context, const TArgs &args) {
    args.expectPositional(2, 2);
    const QString &action = args.positional().first();
    if (action == QLatin1String("export")) {
        const QString file = QFileInfo(args.positional()[1]).absoluteFilePath();
        TConnection c(context);
        c.maintenance().exportFields(file);
        return ExitDone;
    }
    if (action == QLatin1String("import")) {
        const QString file =
            readableFile(QStringLiteral("field settings file"), args.positional()[1]);
        TConnection c(context);
        const std::optional<int> refused = c.maintenance().importFields(file);
        if (!refused)
            throw EFailure(QStringLiteral("the file was refused (see the message above)"));
        if (*refused > 0)
            throw EFailure(QStringLiteral("%1 line(s) of the file were refused").arg(*refused));
        return ExitDone;
    }
    throw EUsage(QStringLiteral("unknown action '%1' (export or import)").arg(action));
}

} // namespace

std::vector<TCommand> RegistryCommands() {
    std::vector<TCommand> c;
    c.push_back(
        {QStringLiteral("object"),
         QStringLiteral("object export N FILE | object import FILE [--replace]"),
         QStringLiteral(
             "The registry's \"Экспорт\" and \"Импорт\" of an object-settings file (.oni).\n"
             "\n"
             "  export N FILE        writes object N's settings and its fuel calibration table\n"
             "                       into FILE; other sections and keys of an existing FILE stay\n"
             "  import FILE          registers the object FILE describes, or replaces the\n"
             "                       settings of a registered one, with its calibration table\n"
             "  --replace            answer \"Заменить настройки существующего объекта?\" with\n"
             "                       Yes; without it a registered object is left as it is (exit "
             "1)\n"),
         {},
         {QStringLiteral("replace")},
         object});
    c.push_back(
        {QStringLiteral("fields"),
         QStringLiteral("fields export FILE | fields import FILE"),
         QStringLiteral(
             "\"Экспортировать настройки во внешний файл\" and \"Импортировать настройки из\n"
             "внешнего файла\": the parameter catalogue (PARAMGROUPS, PARAMS, CALCPARAMS) and the\n"
             "profile's field-order file, as a field-settings file (.fcg).\n"
             "\n"
             "  export FILE          writes the catalogue into FILE\n"
             "  import FILE          replaces the catalogue by FILE's rows; a file without the\n"
             "                       three sections or without parameter rows changes nothing\n"
             "                       (exit 1); rows the database refuses are reported, skipped,\n"
             "                       and make the exit status 1\n"),
         {},
         {},
         fields});
    return c;
}

} // namespace cli
