// The store's tables and their versions. A store is brought up to this
// version step by step from whatever version it has; one written by a newer
// version of the tool is refused and left untouched.
#pragma once

#include "store/sqlite_db.h"

namespace vardis::store {

// The version this build writes (PRAGMA user_version).
int schemaVersion();

// Creates or upgrades the tables in one transaction. Throws StoreError (Newer)
// for a store of a later version, without writing to it.
void migrate(Database& db);

// The version a store has now.
int storedVersion(Database& db);

// Throws StoreError (Newer) when `version`, the store's, is later than this
// build's.
void refuseNewer(const Database& db, int version);

}  // namespace vardis::store
