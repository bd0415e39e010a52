#pragma once

#include <QString>

#include "app/DateUtils.h"

// Values formatted into SQL text. Nothing here depends on the locale, and text is always
// quoted with its apostrophes doubled, so a peer's or a user's text cannot change a statement.
namespace sql {

// 'text' with apostrophes doubled.
QString quote(const QString &text);
// NULL for an empty text, otherwise quote(text).
QString quoteOrNull(const QString &text);
// Fixed notation with "." and the given number of decimals (two unless told).
QString fixed(double value, int decimals = 2);
// 'dd.mm.yyyy hh:nn:ss.zzz' - a form the database parses whatever the locale.
QString timestamp(TDateTime value);
QString timestampOrNull(TDateTime value, bool isNull);

} // namespace sql
