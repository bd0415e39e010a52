#pragma once

#include <QDateTime>
#include <QString>

#include "app/FormatSettings.h"

// Local date-times as stored in the files and the database: days since 1899-12-30,
// the time of day as the fraction.
using TDateTime = double;

namespace dt {

constexpr double MsPerDay = 86400000.0;

// Calendar parts of a TDateTime (milliseconds rounded to the nearest).
struct TDateTimeParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, msec = 0;
};

TDateTimeParts decode(TDateTime value);
TDateTime encode(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                 int msec = 0);
TDateTime encodeDate(const QDate &date);
TDateTime encodeTime(int hour, int minute, int second, int msec = 0);

QDate toQDate(TDateTime value);
QTime toQTime(TDateTime value);
// Naive local date-time (Qt::LocalTime); the value carries no zone of its own.
QDateTime toQDateTime(TDateTime value);
TDateTime fromQDateTime(const QDateTime &value);
TDateTime now();

// Whole days and the time-of-day fraction (Delphi's Trunc/Frac pair).
double dateOf(TDateTime v);
double timeOf(TDateTime v);

// Delphi-style pattern formatting: d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz,
// "c" (short date and long time), "/" (date separator), quoted literals; "m"/"mm" right after an
// hour is minutes.
QString formatDateTime(const QString &pattern, TDateTime value,
                       const TFormatSettings &fs = TFormatSettings::current());

// The default date-time text: short date, then long time unless the time is exactly midnight.
QString dateTimeToStr(TDateTime value, const TFormatSettings &fs = TFormatSettings::current());
QString dateToStr(TDateTime value, const TFormatSettings &fs = TFormatSettings::current());
QString timeToStr(TDateTime value, const TFormatSettings &fs = TFormatSettings::current());

// Parses the default text back (date, optionally followed by the time). False on bad text.
bool tryStrToDateTime(const QString &text, TDateTime &out,
                      const TFormatSettings &fs = TFormatSettings::current());

} // namespace dt
