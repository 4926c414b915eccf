#include "store/sqlite_db.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>

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

// What a path that is there but is no regular file is, for the refusal.
const char* notAFile(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISFIFO(mode)) return "a pipe";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// SQLite would open a device or a pipe and make its journal beside it
// ("/dev/null-journal"): such a path, or a missing file that is not to be
// created, is refused before SQLite sees it. A symlink to a file is followed.
void refuseNonFile(const std::string& path, Access access) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT && access != Access::CreateAndWrite) {
      throw StoreError(StoreFault::CannotOpen,
                       "the store " + path + " cannot be opened (there is no such file)");
    }
    return;  // SQLite names what else is wrong, or creates the file
  }
  if (!S_ISREG(st.st_mode)) {
    throw StoreError(StoreFault::CannotOpen, "the store " + path + " cannot be opened (it is " +
                                                 notAFile(st.st_mode) +
                                                 "); nothing was made beside it");
  }
}

// The URI of a file opened immutable: '%', '?' and '#' are escaped.
std::string immutableUri(const std::string& path) {
  std::string uri = "file:";
  for (const char c : std::filesystem::absolute(path).string()) {
    if (c == '%' || c == '?' || c == '#') {
      static const char* hex = "0123456789ABCDEF";
      const auto b = static_cast<unsigned char>(c);
      uri += '%';
      uri += hex[b >> 4];
      uri += hex[b & 0xF];
    } else {
      uri += c;
    }
  }
  return uri + "?immutable=1";
}

int openFlags(Access access) {
  switch (access) {
    case Access::Write:
      return SQLITE_OPEN_READWRITE;
    case Access::CreateAndWrite:
      return SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    case Access::Read:
      return SQLITE_OPEN_READONLY;
    case Access::ReadImmutable:
      break;
  }
  return SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
}

}  // namespace

SqliteDatabase::SqliteDatabase(const std::filesystem::path& file, Access access, int busyTimeoutMs)
    : path_(file.string()) {
  refuseNonFile(path_, access);
  const std::string name = access == Access::ReadImmutable ? immutableUri(path_) : path_;
  const int rc =
      sqlite3_open_v2(name.c_str(), &db_, openFlags(access) | SQLITE_OPEN_NOMUTEX, nullptr);
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
  const bool writer = access == Access::Write || access == Access::CreateAndWrite;
  if (writer && sqlite3_db_readonly(db_, "main") == 1) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw StoreError(StoreFault::ReadOnly, "the store " + path_ + " cannot be written");
  }
}

SqliteDatabase::~SqliteDatabase() {
  sqlite3_close_v2(db_);
}

void SqliteDatabase::fail(int code, const std::string& doing) const {
  const StoreFault f = faultOf(code);
  std::string message = "the store " + path_ + " " + faultText(f) + " (" + doing + ": ";
  message += db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
  throw StoreError(f, message + ")", code);
}

void SqliteDatabase::exec(const char* sql) {
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) fail(rc, sql);
}

namespace {

class SqliteStatement final : public PreparedStatement {
 public:
  SqliteStatement(SqliteDatabase& db, const char* sql) : db_(db) {
    const int rc = sqlite3_prepare_v2(db.handle(), sql, -1, &stmt_, nullptr);
    if (rc != SQLITE_OK) db.fail(rc, "preparing a query");
  }
  ~SqliteStatement() override { sqlite3_finalize(stmt_); }

  void bind(int index, std::int64_t value) override {
    check(sqlite3_bind_int64(stmt_, index, value));
  }
  void bind(int index, double value) override { check(sqlite3_bind_double(stmt_, index, value)); }
  void bind(int index, const std::string& value) override {
    check(sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                            SQLITE_TRANSIENT));
  }
  void bindNull(int index) override { check(sqlite3_bind_null(stmt_, index)); }

  bool step() override {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    db_.fail(rc, "a query");
  }
  void reset() override {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

  bool isNull(int column) const override {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
  }
  std::int64_t integer(int column) const override { return sqlite3_column_int64(stmt_, column); }
  double real(int column) const override { return sqlite3_column_double(stmt_, column); }
  std::string text(int column) const override {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
             : std::string();
  }

 private:
  void check(int rc) {
    if (rc != SQLITE_OK) db_.fail(rc, "bind");
  }
  SqliteDatabase& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

std::unique_ptr<PreparedStatement> SqliteDatabase::prepare(const char* sql) {
  return std::make_unique<SqliteStatement>(*this, sql);
}

void SqliteDatabase::begin(bool write) {
  exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
}

void SqliteDatabase::commit() {
  exec("COMMIT");
}

void SqliteDatabase::rollback() noexcept {
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

}  // namespace vardis::store
