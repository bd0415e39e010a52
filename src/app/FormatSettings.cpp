#include "app/FormatSettings.h"

#include <QLocale>

#include <cmath>
#include <mutex>

namespace {
std::mutex g_mutex;
TFormatSettings *g_current = nullptr;

QChar firstNonLetter(const QString &pattern, QChar fallback) {
    for (QChar c : pattern)
        if (!c.isLetter())
            return c;
    return fallback;
}
} // namespace

TFormatSettings TFormatSettings::russian() {
    return TFormatSettings{};
}

TFormatSettings TFormatSettings::fromSystemLocale() {
    const QLocale loc = QLocale::system();
    // A machine without a locale ("C") gets the conventions of the program's users.
    if (loc.language() == QLocale::C)
        return russian();
    TFormatSettings fs;
    fs.shortDateFormat = loc.dateFormat(QLocale::ShortFormat);
    // The short forms of some locales use two-digit years; the program shows four.
    if (!fs.shortDateFormat.contains(QLatin1String("yyyy")))
        fs.shortDateFormat.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    fs.longTimeFormat = loc.timeFormat(QLocale::LongFormat);
    // Drop a time-zone suffix ("t") that the long forms carry.
    fs.longTimeFormat.remove(QLatin1Char('t'));
    fs.longTimeFormat = fs.longTimeFormat.trimmed();
    fs.dateSeparator = firstNonLetter(fs.shortDateFormat, QLatin1Char('.'));
    fs.timeSeparator = firstNonLetter(fs.longTimeFormat, QLatin1Char(':'));
    const QString dp = loc.decimalPoint();
    fs.decimalSeparator = dp.isEmpty() ? QLatin1Char('.') : dp.at(0);
    return fs;
}

const TFormatSettings &TFormatSettings::current() {
    std::lock_guard lock(g_mutex);
    if (!g_current)
        g_current = new TFormatSettings(fromSystemLocale());
    return *g_current;
}

void TFormatSettings::setCurrent(const TFormatSettings &fs) {
    std::lock_guard lock(g_mutex);
    if (!g_current)
        g_current = new TFormatSettings(fs);
    else
        *g_current = fs;
}

QString TFormatSettings::formatFloat(double value, int decimals) const {
    QString s = QString::number(value, 'f', decimals);
    if (decimalSeparator != QLatin1Char('.'))
        s.replace(QLatin1Char('.'), decimalSeparator);
    return s;
}

bool TFormatSettings::tryParseFloat(const QString &text, double &out) const {
    QString s = text.trimmed();
    if (decimalSeparator != QLatin1Char('.'))
        s.replace(decimalSeparator, QLatin1Char('.'));
    bool ok = false;
    const double v = s.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    out = v;
    return true;
}
