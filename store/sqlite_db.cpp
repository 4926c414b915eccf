#include "store/sqlite_db.h"

#include <sqlite3.h>

namespace vardis::store {

namespace {

StoreFault faultOf(int code) {
  switch (code & 0xFF) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
      return StoreFault::ReadOnly;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return StoreFault::Busy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return StoreFault::Corrupt;
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
      return StoreFault::CannotOpen;
    default:
      return StoreFault::Io;
  }
}

std::string faultText(StoreFault f) {
  switch (f) {
    case StoreFault::ReadOnly:
      return "cannot be written";
    case StoreFault::Busy:
      return "is locked by another program";
    case StoreFault::Corrupt:
      return "is damaged or not a store";
    case StoreFault::CannotOpen:
      return "cannot be opened";
    case StoreFault::Newer:
      return "is of a newer version";
    case StoreFault::Io:
      break;
  }
  return "could not be written";
}

}  // namespace

Database::Database(const std::filesystem::path& file, bool create, int busyTimeoutMs)
    : path_(file.string()) {
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    try {
      fail(rc, "opening");
    } catch (...) {
      sqlite3_close(db_);
      db_ = nullptr;
      throw;
    }
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, busyTimeoutMs);
  if (sqlite3_db_readonly(db_, "main") == 1) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw StoreError(StoreFault::ReadOnly, "the store " + path_ + " cannot be written");
  }
}

Database::~Database() {
  sqlite3_close_v2(db_);
}

void Database::fail(int code, const std::string& doing) const {
  const StoreFault f = faultOf(code);
  std::string message = "the store " + path_ + " " + faultText(f) + " (" + doing + ": ";
  message += db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
  throw StoreError(f, message + ")");
}

void Database::exec(const char* sql) {
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) fail(rc, sql);
}

std::int64_t Database::lastInsertId() const {
  return sqlite3_last_insert_rowid(db_);
}

Statement::Statement(Database& db, const char* sql) : db_(db) {
  const int rc = sqlite3_prepare_v2(db.handle(), sql, -1, &stmt_, nullptr);
  if (rc != SQLITE_OK) db.fail(rc, "preparing a query");
}

Statement::~Statement() {
  sqlite3_finalize(stmt_);
}

Statement& Statement::bind(int index, std::int64_t value) {
  if (const int rc = sqlite3_bind_int64(stmt_, index, value); rc != SQLITE_OK) db_.fail(rc, "bind");
  return *this;
}

Statement& Statement::bind(int index, double value) {
  if (const int rc = sqlite3_bind_double(stmt_, index, value); rc != SQLITE_OK) {
    db_.fail(rc, "bind");
  }
  return *this;
}

Statement& Statement::bind(int index, const std::string& value) {
  const int rc = sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                                   SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) db_.fail(rc, "bind");
  return *this;
}

Statement& Statement::bindNull(int index) {
  if (const int rc = sqlite3_bind_null(stmt_, index); rc != SQLITE_OK) db_.fail(rc, "bind");
  return *this;
}

bool Statement::step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  db_.fail(rc, "a query");
}

void Statement::run() {
  while (step()) {
  }
  reset();
}

void Statement::reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

bool Statement::isNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::int64_t Statement::integer(int column) const {
  return sqlite3_column_int64(stmt_, column);
}

double Statement::real(int column) const {
  return sqlite3_column_double(stmt_, column);
}

std::optional<double> Statement::optionalReal(int column) const {
  if (isNull(column)) return std::nullopt;
  return real(column);
}

std::string Statement::text(int column) const {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
           : std::string();
}

WriteTransaction::WriteTransaction(Database& db) : db_(db) {
  db_.exec("BEGIN IMMEDIATE");
}

WriteTransaction::~WriteTransaction() {
  if (open_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void WriteTransaction::commit() {
  db_.exec("COMMIT");
  open_ = false;
}

ReadTransaction::ReadTransaction(Database& db) : db_(db) {
  db_.exec("BEGIN");
}

ReadTransaction::~ReadTransaction() {
  sqlite3_exec(db_.handle(), "COMMIT", nullptr, nullptr, nullptr);
}

}  // namespace vardis::store
