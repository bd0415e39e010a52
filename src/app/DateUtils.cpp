#include "app/DateUtils.h"

#include <cmath>

namespace dt {

namespace {
// 1899-12-30 as a Julian day: no static QDate, so values made during static start-up are right.
constexpr qint64 kEpochJulianDay = 2415019;

const char *const kShortMonths[] = {"янв", "фев", "мар", "апр", "май", "июн",
                                    "июл", "авг", "сен", "окт", "ноя", "дек"};
const char *const kLongMonths[] = {"Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
                                   "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
const char *const kShortDays[] = {"Пн", "Вт", "Ср", "Чт", "Пт", "Сб", "Вс"};
const char *const kLongDays[] = {"понедельник", "вторник", "среда",      "четверг",
                                 "пятница",     "суббота", "воскресенье"};

QString pad(int v, int width) {
    return QString::number(v).rightJustified(width, QLatin1Char('0'));
}
} // namespace

double dateOf(TDateTime v) {
    return std::trunc(v);
}
double timeOf(TDateTime v) {
    return std::fabs(v - std::trunc(v));
}

TDateTimeParts decode(TDateTime value) {
    TDateTimeParts p;
    if (!std::isfinite(value))
        return p;
    long long days = static_cast<long long>(std::trunc(value));
    long long ms = std::llround(std::fabs(value - std::trunc(value)) * MsPerDay);
    if (ms >= 86400000LL) { // rounding carried into the next day
        ms -= 86400000LL;
        days += value >= 0 ? 1 : -1;
    }
    const QDate d = QDate::fromJulianDay(kEpochJulianDay + days);
    p.year = d.year();
    p.month = d.month();
    p.day = d.day();
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.msec = static_cast<int>(ms % 1000);
    return p;
}

TDateTime encodeTime(int hour, int minute, int second, int msec) {
    return (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + msec) / MsPerDay;
}

TDateTime encodeDate(const QDate &date) {
    return static_cast<double>(date.toJulianDay() - kEpochJulianDay);
}

TDateTime encode(int year, int month, int day, int hour, int minute, int second, int msec) {
    const double d = encodeDate(QDate(year, month, day));
    const double t = encodeTime(hour, minute, second, msec);
    return d >= 0 ? d + t : d - t;
}

QDate toQDate(TDateTime value) {
    const auto p = decode(value);
    return QDate(p.year, p.month, p.day);
}

QTime toQTime(TDateTime value) {
    const auto p = decode(value);
    return QTime(p.hour, p.minute, p.second, p.msec);
}

QDateTime toQDateTime(TDateTime value) {
    return QDateTime(toQDate(value), toQTime(value), Qt::LocalTime);
}

TDateTime fromQDateTime(const QDateTime &value) {
    const QDateTime local = value.toLocalTime();
    const QTime t = local.time();
    return encode(local.date().year(), local.date().month(), local.date().day(), t.hour(),
                  t.minute(), t.second(), t.msec());
}

TDateTime now() {
    return fromQDateTime(QDateTime::currentDateTime());
}

QString formatDateTime(const QString &pattern, TDateTime value, const TFormatSettings &fs) {
    const auto p = decode(value);
    const QDate date(p.year, p.month, p.day);
    QString out;
    bool afterHour = false;
    const int n = pattern.size();
    int i = 0;
    auto runOf = [&](QChar c) {
        int j = i;
        while (j < n && pattern.at(j).toLower() == c)
            ++j;
        return j - i;
    };
    while (i < n) {
        const QChar c = pattern.at(i);
        const QChar lc = c.toLower();
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            int j = i + 1;
            while (j < n && pattern.at(j) != c)
                out += pattern.at(j++);
            i = j + 1;
            continue;
        }
        if (lc == QLatin1Char('c') && runOf(lc) == 1) {
            out += dateToStr(value, fs);
            if (p.hour || p.minute || p.second || p.msec)
                out += QLatin1Char(' ') + timeToStr(value, fs);
            ++i;
            continue;
        }
        if (c == QLatin1Char('/')) {
            out += fs.dateSeparator;
            ++i;
            continue;
        }
        const int len = runOf(lc);
        if (lc == QLatin1Char('d')) {
            if (len == 1)
                out += QString::number(p.day);
            else if (len == 2)
                out += pad(p.day, 2);
            else if (len == 3)
                out += QString::fromUtf8(kShortDays[date.dayOfWeek() - 1]);
            else
                out += QString::fromUtf8(kLongDays[date.dayOfWeek() - 1]);
            i += len;
            continue;
        }
        if (lc == QLatin1Char('m')) {
            if (afterHour && len <= 2) {
                out += len == 1 ? QString::number(p.minute) : pad(p.minute, 2);
            } else if (len == 1) {
                out += QString::number(p.month);
            } else if (len == 2) {
                out += pad(p.month, 2);
            } else if (len == 3) {
                out += QString::fromUtf8(kShortMonths[p.month - 1]);
            } else {
                out += QString::fromUtf8(kLongMonths[p.month - 1]);
            }
            afterHour = false;
            i += len;
            continue;
        }
        if (lc == QLatin1Char('y')) {
            out += len <= 2 ? pad(p.year % 100, 2) : pad(p.year, 4);
            i += len;
            continue;
        }
        if (lc == QLatin1Char('h')) {
            out += len == 1 ? QString::number(p.hour) : pad(p.hour, 2);
            afterHour = true;
            i += len;
            continue;
        }
        if (lc == QLatin1Char('n')) {
            out += len == 1 ? QString::number(p.minute) : pad(p.minute, 2);
            afterHour = false;
            i += len;
            continue;
        }
        if (lc == QLatin1Char('s')) {
            out += len == 1 ? QString::number(p.second) : pad(p.second, 2);
            i += len;
            continue;
        }
        if (lc == QLatin1Char('z')) {
            out += len >= 3 ? pad(p.msec, 3) : QString::number(p.msec);
            i += len;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

QString dateToStr(TDateTime value, const TFormatSettings &fs) {
    return toQDate(value).toString(fs.shortDateFormat);
}

QString timeToStr(TDateTime value, const TFormatSettings &fs) {
    return toQTime(value).toString(fs.longTimeFormat);
}

QString dateTimeToStr(TDateTime value, const TFormatSettings &fs) {
    const auto p = decode(value);
    QString s = dateToStr(value, fs);
    if (p.hour || p.minute || p.second || p.msec)
        s += QLatin1Char(' ') + timeToStr(value, fs);
    return s;
}

bool tryStrToDateTime(const QString &text, TDateTime &out, const TFormatSettings &fs) {
    const QString s = text.trimmed();
    if (s.isEmpty())
        return false;
    const int space = s.indexOf(QLatin1Char(' '));
    const QString datePart = space < 0 ? s : s.left(space);
    const QString timePart = space < 0 ? QString() : s.mid(space + 1).trimmed();
    const QDate d = QDate::fromString(datePart, fs.shortDateFormat);
    if (!d.isValid())
        return false;
    QTime t(0, 0);
    if (!timePart.isEmpty()) {
        t = QTime::fromString(timePart, fs.longTimeFormat);
        if (!t.isValid())
            t = QTime::fromString(timePart, QStringLiteral("H:mm"));
        if (!t.isValid())
            return false;
    }
    out = encode(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
    return true;
}

} // namespace dt
