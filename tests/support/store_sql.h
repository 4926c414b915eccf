// SQL against a data folder's store through SQLite itself, for tests that
// look into it behind the tool's back.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

#include "store/reading_store.h"

namespace vardis::test {

// The first column of the first row of one statement, as text ("" for none).
inline std::string sqlValue(const std::filesystem::path& dataDir, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string value;
  if (sqlite3_open((dataDir / store::kStoreFileName).string().c_str(), &db) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0)) {
      value = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return value;
}

// Runs statements that return nothing.
inline void sqlExec(const std::filesystem::path& dataDir, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dataDir / store::kStoreFileName).string().c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  sqlite3_close(db);
}

// Another program holding a store locked (an exclusive transaction) for as
// long as this object lives; the store is created first when missing.
class StoreLock {
 public:
  explicit StoreLock(const std::filesystem::path& file) {
    { store::ReadingStore created(file); }
    EXPECT_EQ(sqlite3_open(file.string().c_str(), &db_), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db_, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
  }
  ~StoreLock() {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace vardis::test
