// The store opened only to read it: the history, the list of meters and the
// window's range view. Nothing in the file is changed: no journal mode is
// switched, no table migrated, so a user who may only read the file (the
// nightly round's store, owned by its service user) reads it too.
#pragma once

#include <filesystem>
#include <memory>

#include "store/database.h"
#include "store/store_location.h"

namespace vardis::store {

// How long a reader waits for a writer. In WAL mode a reader is rarely held
// up; a rollback-journal store being written is given up soon, so that the
// window never hangs on it.
inline constexpr int kReadBusyTimeoutMs = 300;

// The oldest store version that holds every table the readers query.
inline constexpr int kOldestReadableVersion = 1;

class StoreReader {
 public:
  // Opens the file read-only and checks its version. Throws StoreError: no
  // such file, not a file, Newer, Older (made by an older version), Busy, ...
  explicit StoreReader(const std::filesystem::path& file, int busyTimeoutMs = kReadBusyTimeoutMs);
  // The store at that location; a PostgreSQL session is set read-only.
  explicit StoreReader(const StoreLocation& location, int busyTimeoutMs = kReadBusyTimeoutMs);
  ~StoreReader();
  StoreReader(const StoreReader&) = delete;
  StoreReader& operator=(const StoreReader&) = delete;

  Database& database() { return *db_; }

 private:
  std::unique_ptr<Database> db_;
};

}  // namespace vardis::store
