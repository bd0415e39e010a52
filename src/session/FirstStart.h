#pragma once

// A user's first start of an installed program.

#include "app/Folders.h"

// With the per-user folder in use and no settings file there yet, the user's settings start as
// a copy of the program folder's global settings file (where an administrator may have named
// the workstations' database server), so a new user is not told that the settings file is
// missing. True when the copy was made.
bool SeedUserSettings(const TFolders &folders);
