#include "reports/Durations.h"

#include <QStringList>

#include <cmath>
#include <stdexcept>

namespace {
QString pad2(const QString &t) {
    return t.size() < 2 ? QLatin1Char('0') + t : t;
}
} // namespace

int64_t HMSToSeconds(const QString &HMS) {
    const QStringList parts = HMS.trimmed().split(QLatin1Char(':'));
    bool ok = parts.size() == 3;
    int64_t total = 0;
    static const int64_t weight[] = {3600, 60, 1};
    for (int i = 0; ok && i < 3; ++i)
        total += parts[i].toLongLong(&ok) * weight[i];
    if (!ok)
        throw std::runtime_error(
            (QStringLiteral("'") + HMS + QStringLiteral("' не является временем Ч:М:С"))
                .toStdString());
    return total;
}

QString SecondsToHMS(int64_t seconds) {
    return SecondsTo_hhh_mm_ss(seconds);
}

QString SecondsToDHMS(int64_t seconds) {
    return QString::asprintf("%lld:%02lld:%02lld:%02lld", static_cast<long long>(seconds / 86400),
                             static_cast<long long>(seconds % 86400 / 3600),
                             static_cast<long long>(seconds % 3600 / 60),
                             static_cast<long long>(seconds % 60));
}

QString DaysToHMS(double days) {
    const double seconds = days * 86400;
    return SecondsToHMS(std::isfinite(seconds) ? static_cast<int64_t>(std::trunc(seconds)) : 0);
}

QString DaysTextToHours(const QString &text) {
    const QStringList p = text.split(QLatin1Char(':'));
    if (p.size() != 4)
        return {};
    bool okD = false, okH = false;
    const qlonglong d = p[0].trimmed().toLongLong(&okD);
    const qlonglong h = p[1].trimmed().toLongLong(&okH);
    if (!okD || !okH)
        return {};
    return pad2(QString::number(d * 24 + h)) + QLatin1Char(':') + pad2(p[2]) + QLatin1Char(':') +
           pad2(p[3]);
}
