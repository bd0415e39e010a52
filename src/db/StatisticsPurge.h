#pragma once

// "Очистить статистику...": deletes the time series of one object, or of every object, up to
// and including a moment. OBJECTS, the fuel tables and the track files are not touched.

#include <optional>

#include "app/DateUtils.h"

namespace db {
class TDatabase;
}

// objectNumber empty: every object, registered or not. Each statement is committed on its own;
// database errors are raised (what was committed stays done).
void PurgeStatistics(db::TDatabase &database, std::optional<int> objectNumber, TDateTime upTo);
