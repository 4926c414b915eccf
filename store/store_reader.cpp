#include "store/store_reader.h"

#include <sqlite3.h>
#include <unistd.h>

#include <string>
#include <system_error>

#include "store/schema.h"
#include "store/sqlite_db.h"

namespace vardis::store {

namespace {

// The version is read first: it also tells a file that is not a store.
void checkVersion(Database& db) {
  const int version = storedVersion(db);
  refuseNewer(db, version);
  if (version == 0 && db.engine() == Engine::Postgres) {
    throw StoreError(StoreFault::CannotOpen,
                     "there is no store in " + db.where() +
                         " yet (nothing was read there with the store on)");
  }
  if (version < kOldestReadableVersion) {
    throw StoreError(StoreFault::Older,
                     "the store " + db.path() +
                         " was made by an older version; a reading with the store on brings "
                         "it up to date");
  }
}

// A WAL store needs its shared-memory file (-shm) to be read. When it is
// missing and this user cannot make it (the folder is not theirs), SQLite
// refuses a read-only open. The file is then read as immutable, which skips
// the -shm and the log, and is taken only when that misses nothing:
// - this user cannot write the file, so no change of theirs is at stake;
// - there is no -shm: every program that has a WAL store open keeps one, so
//   nobody writes it now;
// - there is no log with anything in it (a writer that was killed).
// A writer that starts during this short read could make it see a half
// checkpoint; the read then fails or is stale, the file is never harmed.
bool readableAsImmutable(const std::filesystem::path& file, const StoreError& e) {
  const int code = e.sqliteCode();
  if (code != SQLITE_READONLY_DIRECTORY && code != SQLITE_READONLY_CANTINIT &&
      (code & 0xFF) != SQLITE_CANTOPEN) {
    return false;
  }
  if (::access(file.c_str(), W_OK) == 0) return false;
  std::error_code ec;
  const auto beside = [&file](const char* suffix) {
    return std::filesystem::path(file.string() + suffix);
  };
  if (std::filesystem::exists(beside("-shm"), ec) || ec) return false;
  const auto log = beside("-wal");
  if (std::filesystem::exists(log, ec)) return std::filesystem::file_size(log, ec) == 0 && !ec;
  return !ec;
}

// The file opened read-only, or as immutable when only that reads it.
std::unique_ptr<Database> openSqliteReader(const std::filesystem::path& file, int busyTimeoutMs) {
  std::unique_ptr<Database> db;
  try {
    db = std::make_unique<SqliteDatabase>(file, Access::Read, busyTimeoutMs);
    checkVersion(*db);
  } catch (const StoreError& e) {
    db.reset();
    if (!readableAsImmutable(file, e)) throw;
    db = std::make_unique<SqliteDatabase>(file, Access::ReadImmutable, busyTimeoutMs);
    checkVersion(*db);
  }
  return db;
}

}  // namespace

StoreReader::StoreReader(const std::filesystem::path& file, int busyTimeoutMs)
    : db_(openSqliteReader(file, busyTimeoutMs)) {}

StoreReader::StoreReader(const StoreLocation& location, int busyTimeoutMs) {
  if (!location.postgres()) {
    db_ = openSqliteReader(location.file, busyTimeoutMs);
    return;
  }
  db_ = openDatabase(location, Access::Read, busyTimeoutMs);
  checkVersion(*db_);
}

StoreReader::~StoreReader() = default;

}  // namespace vardis::store
