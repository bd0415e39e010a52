#pragma once

#include "db/Database.h"

// Runs a selectable procedure for what it does, not for its result. Its body runs while the
// first row is fetched, so opening the cursor alone would do nothing.
inline void RunForEffect(db::TQuery &query) {
    query.open();
    query.next();
    query.close();
}
