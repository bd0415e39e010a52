#include "reports/ReportTexts.h"

#include <algorithm>

#include "app/FormatSettings.h"

QString FloatToText(double value) {
    QString s = QString::number(value, 'g', 15);
    const QChar sep = TFormatSettings::current().decimalSeparator;
    if (sep != QLatin1Char('.'))
        s.replace(QLatin1Char('.'), sep);
    return s;
}

QString FormatFixed3(double value) {
    QString s = TFormatSettings::current().formatFloat(value, 3);
    if (s.startsWith(QLatin1Char('-')) &&
        std::all_of(s.begin() + 1, s.end(), [](QChar c) { return !c.isDigit() || c == '0'; }))
        s.remove(0, 1);
    return s;
}

bool TextToFloat(const QString &text, double &value) {
    return TFormatSettings::current().tryParseFloat(text, value);
}
