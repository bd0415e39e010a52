#pragma once

// Duration texts of the reports. The database hands durations over as "D-H-M-S" texts (or as
// fractions of a day in the totals); the user sees "HH:MM:SS" whose hours may pass 24.

#include <QString>

#include <cstdint>

// DHMStoHMS ("D-H-M-S" to "HH:MM:SS", hours = D * 24 + H) is the track analysis's.
#include "tracks/TrackAnalysis.h"

// "H:M:S" to seconds; a text that is not three whole numbers raises std::runtime_error.
int64_t HMSToSeconds(const QString &HMS);
// Hours (not padded) ":" minutes "00" ":" seconds "00".
QString SecondsToHMS(int64_t seconds);
// Days (not padded) ":" hours "00" ":" minutes "00" ":" seconds "00".
QString SecondsToDHMS(int64_t seconds);
// A duration given as a fraction of a day, truncated to whole seconds, as SecondsToHMS.
QString DaysToHMS(double days);
// "D:H:M:S" to "HH:MM:SS" as DHMStoHMS pads it; empty when the text has not four parts.
QString DaysTextToHours(const QString &text);
