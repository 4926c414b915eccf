// A thin owner of one SQLite connection and its prepared statements. Every
// value reaches SQL through a bound parameter; every failure is a StoreError
// that says what the store could not do.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace vardis::store {

// Why the store cannot be used. The reading and its reports go on without it.
enum class StoreFault {
  CannotOpen,  // no such folder, no permission
  ReadOnly,    // the file or its folder cannot be written
  Busy,        // another program held it past the busy time-out
  Corrupt,     // not a database, or a damaged one
  Newer,       // written by a newer version of this tool
  Io,          // the disk failed or is full
  Older,       // too old to read: a reading with the store on brings it up to date
};

class StoreError : public std::runtime_error {
 public:
  StoreError(StoreFault fault, const std::string& message, int sqliteCode = 0)
      : std::runtime_error(message), fault_(fault), sqliteCode_(sqliteCode) {}
  StoreFault fault() const { return fault_; }
  // SQLite's extended result code; 0 for a refusal of this program's own.
  int sqliteCode() const { return sqliteCode_; }

 private:
  StoreFault fault_;
  int sqliteCode_;
};

// How a store is opened.
enum class Access {
  Write,           // reading and writing a file that is there
  CreateAndWrite,  // the same, the file made when missing
  Read,            // reading only: no write, no change of journal mode
  ReadImmutable,   // reading a file nobody writes meanwhile (see StoreReader)
};

class Database;

class Statement {
 public:
  Statement(Database& db, const char* sql);
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  // Parameters count from 1, as in SQL.
  Statement& bind(int index, std::int64_t value);
  Statement& bind(int index, int value) { return bind(index, static_cast<std::int64_t>(value)); }
  Statement& bind(int index, double value);
  Statement& bind(int index, const std::string& value);
  Statement& bindNull(int index);
  Statement& bind(int index, std::optional<double> value) {
    return value ? bind(index, *value) : bindNull(index);
  }

  // True while a row is ready; false when the statement is done.
  bool step();
  // Runs a statement that returns no row.
  void run();
  Database& db() { return db_; }
  // Ready for the next use, parameters cleared.
  void reset();

  // Columns count from 0.
  bool isNull(int column) const;
  std::int64_t integer(int column) const;
  double real(int column) const;
  std::optional<double> optionalReal(int column) const;
  std::string text(int column) const;

 private:
  Database& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

class Database {
 public:
  // Opens the file as `access` says. A path that is there but is no regular
  // file (after symlinks: a folder, a device, a pipe) is refused before
  // SQLite is called, so nothing is made beside it; so is a missing file
  // unless it is to be created.
  Database(const std::filesystem::path& file, Access access, int busyTimeoutMs);
  // Opens (creating when `create`) the file for reading and writing.
  Database(const std::filesystem::path& file, bool create, int busyTimeoutMs)
      : Database(file, create ? Access::CreateAndWrite : Access::Write, busyTimeoutMs) {}
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  ~Database();

  void exec(const char* sql);
  std::int64_t lastInsertId() const;
  sqlite3* handle() { return db_; }
  const std::string& path() const { return path_; }

  // Throws the StoreError of an SQLite result code, with what was being done.
  [[noreturn]] void fail(int code, const std::string& doing) const;

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
};

// One write transaction, taken at once (BEGIN IMMEDIATE) so two writers never
// dead-lock; rolled back unless committed.
class WriteTransaction {
 public:
  explicit WriteTransaction(Database& db);
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;
  ~WriteTransaction();
  void commit();

 private:
  Database& db_;
  bool open_ = true;
};

// One read transaction around a query of many statements: one snapshot, and
// the locks of the log taken once instead of per statement.
class ReadTransaction {
 public:
  explicit ReadTransaction(Database& db);
  ReadTransaction(const ReadTransaction&) = delete;
  ReadTransaction& operator=(const ReadTransaction&) = delete;
  ~ReadTransaction();

 private:
  Database& db_;
};

}  // namespace vardis::store
