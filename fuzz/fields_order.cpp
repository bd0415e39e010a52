// The field-order file: loaded, merged with the entries the catalogue shows, moved and saved.
#include "FuzzCommon.h"

#include "db/ParamCatalogue.h"

#include <QSet>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString name = fuzz::writeScratch(QStringLiteral("fieldsorder.ord"), data, size);
    TFieldsOrder order(name);
    order.Load();
    const QStringList loaded = order.entries;
    const QStringList current{QStringLiteral("Двигатель (Г)"), QStringLiteral("Топливо (Г)"),
                              QStringLiteral("Скорость (П)"), QStringLiteral("Напряжение (П)")};
    order.Merge(current);
    // Exactly the current entries, each once, those the file listed first in its order.
    if (order.entries.size() != current.size() ||
        QSet<QString>(order.entries.begin(), order.entries.end()) !=
            QSet<QString>(current.begin(), current.end()))
        fuzz::broken("the merged order is not the current entries");
    QStringList listed;
    for (const QString &e : loaded)
        if (current.contains(e) && !listed.contains(e))
            listed << e;
    if (order.entries.mid(0, listed.size()) != listed)
        fuzz::broken("the file's order was not kept");
    const int row = size > 0 ? data[0] % 6 - 1 : 0;
    order.MoveDown(order.MoveUp(row));
    order.Save();
    TFieldsOrder again(name);
    again.Load();
    if (again.entries != order.entries)
        fuzz::broken("the saved order reads back different");
    return 0;
}
