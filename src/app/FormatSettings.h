#pragma once

#include <QChar>
#include <QString>

// The platform's date, time and number conventions, taken once from the system locale.
// Tests pin the Russian conventions with setCurrent(TFormatSettings::russian()).
struct TFormatSettings {
    QString shortDateFormat = QStringLiteral("dd.MM.yyyy"); // Qt pattern
    QString longTimeFormat = QStringLiteral("HH:mm:ss");    // Qt pattern
    QChar dateSeparator = QLatin1Char('.');
    QChar timeSeparator = QLatin1Char(':');
    QChar decimalSeparator = QLatin1Char(',');

    static TFormatSettings russian();
    static TFormatSettings fromSystemLocale();

    static const TFormatSettings &current();
    static void setCurrent(const TFormatSettings &fs);

    // A floating value as the platform would show it (%.*f with the locale's separator).
    QString formatFloat(double value, int decimals) const;
    bool tryParseFloat(const QString &text, double &out) const;
};
