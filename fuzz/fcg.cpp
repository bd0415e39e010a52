// Field-settings files: the catalogue's rows become insert statements, the rest the
// field-order file.
#include "FuzzCommon.h"

#include "db/ParamCatalogue.h"
#include "db/SqlScript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QStringList lines =
        TextLines(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    const fieldsettings::TFileContents file = fieldsettings::Parse(lines);
    if (qsizetype(file.rows.size()) + file.order.size() > lines.size())
        fuzz::broken("more rows than lines");
    // Whatever a row holds stays inside its literals: one statement per row.
    for (const fieldsettings::TRow &row : file.rows) {
        db::TSqlScript script(row.sql + QLatin1Char(';'));
        if (!script.validate() || script.statements().size() != 1)
            fuzz::broken("a row that is not exactly one statement");
    }
    return 0;
}
