#include "db/StatisticsPurge.h"

#include "app/SqlLiteral.h"
#include "db/Database.h"

void PurgeStatistics(db::TDatabase &database, std::optional<int> objectNumber, TDateTime upTo) {
    const QString t = sql::timestamp(upTo);
    const QStringList statements =
        objectNumber
            ? QStringList{QStringLiteral("DELETE FROM INPUTSIGNALS where ins_number=%1 and "
                                         "ins_packtime<=%2")
                              .arg(QString::number(*objectNumber), t),
                          QStringLiteral("DELETE FROM COORDINATS where id=%1 and ts_packet<=%2")
                              .arg(QString::number(*objectNumber), t)}
            : QStringList{QStringLiteral("DELETE FROM INPUTSIGNALS where ins_packtime<=%1").arg(t),
                          QStringLiteral("DELETE FROM COORDINATS where ts_packet<=%1").arg(t)};
    for (const QString &s : statements)
        database.execute(s, db::TTransactionKind::Write);
}
