// One small interface over the SQL engines the store runs on: SQLite in the
// data folder (the embedded default) and PostgreSQL (a dispatch centre's
// store). The queries are written once, with "?N" (or "?") parameters; every
// value reaches SQL through a bound parameter; every failure is a StoreError
// that says what the store could not do, naming the store as `where()` does
// (never with a password).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace vardis::store {

// Why the store cannot be used. The reading and its reports go on without it.
enum class StoreFault {
  CannotOpen,  // no such folder, no permission; a server not reached or refusing
  ReadOnly,    // the file or its folder cannot be written
  Busy,        // another program held it past the busy time-out
  Corrupt,     // not a database, or a damaged one
  Newer,       // written by a newer version of this tool
  Io,          // the disk failed or is full; the server went away mid-run
  Older,       // too old to read: a reading with the store on brings it up to date
};

// What a message says of a store with that fault: "cannot be written", "is
// locked by another program", ...
std::string faultText(StoreFault fault);

class StoreError : public std::runtime_error {
 public:
  StoreError(StoreFault fault, const std::string& message, int engineCode = 0)
      : std::runtime_error(message), fault_(fault), sqliteCode_(engineCode) {}
  StoreFault fault() const { return fault_; }
  // SQLite's extended result code; 0 for a refusal of this program's own and
  // for every PostgreSQL failure.
  int sqliteCode() const { return sqliteCode_; }

 private:
  StoreFault fault_;
  int sqliteCode_;
};

// How a store is opened.
enum class Access {
  Write,           // reading and writing a store that is there
  CreateAndWrite,  // the same, the store made when missing
  Read,            // reading only: no write, no change of journal mode
  ReadImmutable,   // reading a file nobody writes meanwhile (SQLite only)
};

enum class Engine { Sqlite, Postgres };

// One prepared statement of an engine. Used through Statement.
class PreparedStatement {
 public:
  virtual ~PreparedStatement() = default;
  // Parameters count from 1, as in SQL.
  virtual void bind(int index, std::int64_t value) = 0;
  virtual void bind(int index, double value) = 0;
  virtual void bind(int index, const std::string& value) = 0;
  virtual void bindNull(int index) = 0;
  // True while a row is ready; false when the statement is done. The first
  // step runs the statement with the parameters bound.
  virtual bool step() = 0;
  // Ready for the next use, parameters cleared.
  virtual void reset() = 0;
  // Columns count from 0. A boolean column reads as 1 or 0.
  virtual bool isNull(int column) const = 0;
  virtual std::int64_t integer(int column) const = 0;
  virtual double real(int column) const = 0;
  virtual std::string text(int column) const = 0;
};

// One connection to a store; used by one thread at a time.
class Database {
 public:
  Database() = default;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  virtual ~Database() = default;

  virtual Engine engine() const = 0;
  // The store as messages name it: a file's path, or a PostgreSQL location
  // with its password shown as "***".
  virtual const std::string& where() const = 0;
  // The same, kept for the SQLite callers that name the file.
  const std::string& path() const { return where(); }

  // Runs SQL of one or more statements without parameters and without rows
  // (schema steps, BEGIN, COMMIT).
  virtual void exec(const char* sql) = 0;
  virtual std::unique_ptr<PreparedStatement> prepare(const char* sql) = 0;

  // A write transaction taken at once (SQLite: BEGIN IMMEDIATE), or a read
  // transaction of one snapshot.
  virtual void begin(bool write) = 0;
  virtual void commit() = 0;
  // Never throws: used from destructors.
  virtual void rollback() noexcept = 0;
};

class Statement {
 public:
  Statement(Database& db, const char* sql) : db_(db), stmt_(db.prepare(sql)) {}
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& bind(int index, std::int64_t value) {
    stmt_->bind(index, value);
    return *this;
  }
  Statement& bind(int index, int value) { return bind(index, static_cast<std::int64_t>(value)); }
  Statement& bind(int index, double value) {
    stmt_->bind(index, value);
    return *this;
  }
  Statement& bind(int index, const std::string& value) {
    stmt_->bind(index, value);
    return *this;
  }
  Statement& bindNull(int index) {
    stmt_->bindNull(index);
    return *this;
  }
  Statement& bind(int index, std::optional<double> value) {
    return value ? bind(index, *value) : bindNull(index);
  }

  bool step() { return stmt_->step(); }
  // Runs a statement that returns no row.
  void run() {
    while (step()) {
    }
    reset();
  }
  // Runs an INSERT … RETURNING id and gives the id.
  std::int64_t insertId();
  Database& db() { return db_; }
  void reset() { stmt_->reset(); }

  bool isNull(int column) const { return stmt_->isNull(column); }
  std::int64_t integer(int column) const { return stmt_->integer(column); }
  double real(int column) const { return stmt_->real(column); }
  std::optional<double> optionalReal(int column) const {
    if (isNull(column)) return std::nullopt;
    return real(column);
  }
  std::string text(int column) const { return stmt_->text(column); }

 private:
  Database& db_;
  std::unique_ptr<PreparedStatement> stmt_;
};

// One write transaction, taken at once so two writers never dead-lock;
// rolled back unless committed.
class WriteTransaction {
 public:
  explicit WriteTransaction(Database& db) : db_(db) { db_.begin(true); }
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;
  ~WriteTransaction() {
    if (open_) db_.rollback();
  }
  void commit() {
    db_.commit();
    open_ = false;
  }

 private:
  Database& db_;
  bool open_ = true;
};

// One read transaction around a query of many statements: one snapshot, and
// the locks taken once instead of per statement.
class ReadTransaction {
 public:
  explicit ReadTransaction(Database& db) : db_(db) { db_.begin(false); }
  ReadTransaction(const ReadTransaction&) = delete;
  ReadTransaction& operator=(const ReadTransaction&) = delete;
  ~ReadTransaction() { db_.rollback(); }

 private:
  Database& db_;
};

}  // namespace vardis::store
