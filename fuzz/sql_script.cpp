// SQL scripts: the update script's parts and statements as isql would split them.
#include "FuzzCommon.h"

#include "db/DatabaseUpdate.h"
#include "db/SqlScript.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString file = fuzz::writeScratch(QStringLiteral("UPDB.sql"), data, size);
    try {
        const QStringList lines = db::readScriptLines(file);
        db::TSqlScript whole(lines.join(QLatin1Char('\n')));
        if (whole.validate() && whole.statements().size() > qsizetype(size))
            fuzz::broken("more statements than bytes");
        const db::TUpdateScript update = db::TUpdateScript::parse(lines);
        db::TSqlScript part1(update.part1.join(QLatin1Char('\n')));
        part1.validate();
        db::TSqlScript part2(update.part2.join(QLatin1Char('\n')));
        part2.validate();
    } catch (const std::exception &) {
    }
    return 0;
}
