// Where the store is: the data folder's SQLite file (the default), another
// SQLite file ("sqlite:PATH"), or a PostgreSQL database given as a connection
// URI ("postgresql://vardis@db.example/vardis?sslmode=require") or conninfo
// ("service=vardis", "host=db dbname=vardis"). Credentials come as libpq
// takes them (.pgpass, PGPASSFILE, a service file, the PG* variables); a
// password written into the location is used but never shown: every text of
// a location a message gives has it as "***".
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "store/database.h"

namespace vardis::store {

// The variable that names the store when no --store is given.
inline constexpr const char* kStoreVariable = "VARDIS_STORE";

struct StoreLocation {
  Engine engine = Engine::Sqlite;
  std::filesystem::path file;  // SQLite
  std::string conninfo;        // PostgreSQL, as typed (with any password)
  bool postgres() const { return engine == Engine::Postgres; }
};

// The location a --store text (or VARDIS_STORE) names; an empty text is the
// data folder's own file. Throws std::invalid_argument with a message for a
// text that is none ("sqlite:" with no path, "mysql://…").
StoreLocation parseStoreLocation(const std::string& text, const std::filesystem::path& dataDir);

// The location as messages show it: the file's path, or the PostgreSQL
// location with any password (in the URI's user part, in "password=…", or in
// a "password" query parameter) replaced by "***".
std::string shownLocation(const StoreLocation& location);

// The same masking for any text that may hold a location (an error message
// of libpq, a command line).
std::string maskPasswords(const std::string& text);

// A connection to the store: an SQLite file opened as `access` says, or a
// PostgreSQL connection (Read sets the session read-only). Throws StoreError.
std::unique_ptr<Database> openDatabase(const StoreLocation& location, Access access,
                                       int busyTimeoutMs);

}  // namespace vardis::store
