// The store's SQLite engine: a thin owner of one SQLite connection and its
// prepared statements.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "store/database.h"

struct sqlite3;

namespace vardis::store {

class SqliteDatabase final : public Database {
 public:
  // Opens the file as `access` says. A path that is there but is no regular
  // file (after symlinks: a folder, a device, a pipe) is refused before
  // SQLite is called, so nothing is made beside it; so is a missing file
  // unless it is to be created.
  SqliteDatabase(const std::filesystem::path& file, Access access, int busyTimeoutMs);
  // Opens (creating when `create`) the file for reading and writing.
  SqliteDatabase(const std::filesystem::path& file, bool create, int busyTimeoutMs)
      : SqliteDatabase(file, create ? Access::CreateAndWrite : Access::Write, busyTimeoutMs) {}
  ~SqliteDatabase() override;

  Engine engine() const override { return Engine::Sqlite; }
  const std::string& where() const override { return path_; }
  void exec(const char* sql) override;
  std::unique_ptr<PreparedStatement> prepare(const char* sql) override;
  // BEGIN IMMEDIATE for a writer, so two writers never dead-lock.
  void begin(bool write) override;
  void commit() override;
  void rollback() noexcept override;
  sqlite3* handle() { return db_; }

  // Throws the StoreError of an SQLite result code, with what was being done.
  [[noreturn]] void fail(int code, const std::string& doing) const;

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
};

}  // namespace vardis::store
