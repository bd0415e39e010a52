#include "app/SqlLiteral.h"

#include <cmath>

namespace sql {

QString quote(const QString &text) {
    QString s = text;
    s.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

QString quoteOrNull(const QString &text) {
    return text.isEmpty() ? QStringLiteral("NULL") : quote(text);
}

QString fixed(double value, int decimals) {
    if (!std::isfinite(value))
        value = 0;
    QString s = QString::asprintf("%.*f", decimals, value);
    // printf follows LC_NUMERIC; SQL always wants ".".
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    if (s == QLatin1String("-0.00") || (s.startsWith(QLatin1String("-0")) && s.toDouble() == 0))
        s.remove(0, 1);
    return s;
}

QString timestamp(TDateTime value) {
    return QLatin1Char('\'') +
           dt::formatDateTime(QStringLiteral("dd.mm.yyyy hh:nn:ss.zzz"), value) + QLatin1Char('\'');
}

QString timestampOrNull(TDateTime value, bool isNull) {
    return isNull ? QStringLiteral("NULL") : timestamp(value);
}

} // namespace sql
