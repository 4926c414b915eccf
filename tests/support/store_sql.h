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

}  // namespace vardis::test
