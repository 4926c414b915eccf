#include "store/pg_db.h"

#include <libpq-fe.h>

#include <charconv>
#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>

#include "store/store_location.h"

namespace vardis::store {

namespace {

// What a class of SQLSTATE means for the store.
StoreFault faultOfState(const char* state) {
  const std::string s = state ? state : "";
  if (s.rfind("08", 0) == 0 || s.rfind("57P", 0) == 0) return StoreFault::Io;
  if (s.rfind("28", 0) == 0 || s == "3D000") return StoreFault::CannotOpen;
  if (s == "25006" || s == "42501") return StoreFault::ReadOnly;
  if (s == "40001" || s == "40P01" || s == "55P03" || s == "57014") return StoreFault::Busy;
  if (s.rfind("XX", 0) == 0) return StoreFault::Corrupt;
  return StoreFault::Io;
}

// libpq's message without its trailing newline and with any password masked.
std::string serverMessage(const char* text) {
  std::string m = text ? text : "";
  while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
  std::string flat;
  for (const char c : m) {
    const bool blank = c == '\n' || c == '\t' || c == ' ';
    if (blank && (flat.empty() || flat.back() == ' ')) continue;
    flat += blank ? ' ' : c;
  }
  return maskPasswords(flat);
}

struct Converted {
  std::string sql;
  int parameters = 0;
};

// "?N" → "$N", "?" → the next number; quotes, identifiers and comments kept.
Converted convert(const std::string& sql) {
  Converted out;
  bool numbered = false;
  bool bare = false;
  int next = 0;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      const std::size_t end = sql.find(c, i + 1);
      const std::size_t stop = end == std::string::npos ? sql.size() : end + 1;
      out.sql.append(sql, i, stop - i);
      i = stop - 1;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const std::size_t end = sql.find('\n', i);
      const std::size_t stop = end == std::string::npos ? sql.size() : end;
      out.sql.append(sql, i, stop - i);
      i = stop - 1;
    } else if (c == '?') {
      std::size_t j = i + 1;
      while (j < sql.size() && sql[j] >= '0' && sql[j] <= '9') ++j;
      int n = 0;
      if (j > i + 1) {
        std::from_chars(sql.data() + i + 1, sql.data() + j, n);
        numbered = true;
      } else {
        n = ++next;
        bare = true;
      }
      if (numbered && bare) throw std::invalid_argument("a query mixes ?N and ?: " + sql);
      out.sql += '$' + std::to_string(n);
      out.parameters = std::max(out.parameters, n);
      i = j - 1;
    } else {
      out.sql += c;
    }
  }
  return out;
}

template <typename T>
std::string numberText(T value) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

}  // namespace

std::string postgresParameters(const std::string& sql) {
  return convert(sql).sql;
}

PgDatabase::PgDatabase(const std::string& conninfo, std::string shown, bool readOnly,
                       int busyTimeoutMs)
    : shown_(std::move(shown)) {
  // Ours first, so that what the location says wins; the location's text is
  // expanded in place of dbname. Keep-alives and a user time-out make a
  // server that vanishes a failure, not a hang.
  const char* keys[] = {
      "application_name", "connect_timeout",  "keepalives_idle", "keepalives_interval",
      "keepalives_count", "tcp_user_timeout", "dbname",          nullptr};
  const char* values[] = {"vardis", "10", "10", "5", "3", "30000", conninfo.c_str(), nullptr};
  conn_ = PQconnectdbParams(keys, values, 1);
  if (conn_ == nullptr) {
    throw StoreError(StoreFault::CannotOpen,
                     "the store " + shown_ + " cannot be opened (no memory)");
  }
  // The server's notices ("relation exists, skipping") are no one's business.
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
  if (PQstatus(conn_) != CONNECTION_OK) {
    const std::string why = serverMessage(PQerrorMessage(conn_));
    PQfinish(conn_);
    conn_ = nullptr;
    throw StoreError(StoreFault::CannotOpen,
                     "the store " + shown_ + " cannot be opened (" + why + ")");
  }
  // Doubles as their shortest exact text, times in UTC, text as UTF-8; a
  // lock held past the busy time-out is the same "locked" as SQLite's.
  std::string settings =
      "SET client_encoding = 'UTF8'; SET extra_float_digits = 1; SET TimeZone = 'UTC'; "
      "SET lock_timeout = " +
      std::to_string(std::max(busyTimeoutMs, 1));
  if (readOnly) settings += "; SET default_transaction_read_only = on";
  try {
    exec(settings.c_str());
  } catch (...) {
    PQfinish(conn_);
    conn_ = nullptr;
    throw;
  }
}

PgDatabase::~PgDatabase() {
  if (conn_) PQfinish(conn_);
}

void PgDatabase::fail(const std::string& doing, const char* sqlState) const {
  StoreFault f = faultOfState(sqlState);
  // A failure without the server's SQLSTATE is the connection's own: the
  // server closed it or cannot be reached any more.
  const bool gone = PQstatus(conn_) != CONNECTION_OK || sqlState == nullptr || *sqlState == '\0';
  if (gone) f = StoreFault::Io;
  std::string what = gone ? "cannot be used: the server went away" : faultText(f);
  throw StoreError(f, "the store " + shown_ + " " + what + " (" + doing + ": " +
                          serverMessage(PQerrorMessage(conn_)) + ")");
}

namespace {

// A result that is cleared whatever happens.
struct Result {
  PGresult* r;
  explicit Result(PGresult* res) : r(res) {}
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  ~Result() { PQclear(r); }
  bool ok() const {
    const auto s = PQresultStatus(r);
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
  }
  const char* state() const { return r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr; }
};

}  // namespace

void PgDatabase::exec(const char* sql) {
  Result res(PQexec(conn_, sql));
  if (!res.ok()) fail(sql, res.state());
}

class PgStatement final : public PreparedStatement {
 public:
  PgStatement(PgDatabase& db, const char* sql) : db_(db) {
    Converted c = convert(sql);
    sql_ = std::move(c.sql);
    values_.resize(static_cast<std::size_t>(c.parameters));
    null_.assign(values_.size(), true);
  }
  ~PgStatement() override { clear(); }

  void bind(int index, std::int64_t value) override { set(index, numberText(value)); }
  void bind(int index, double value) override { set(index, numberText(value)); }
  void bind(int index, const std::string& value) override { set(index, value); }
  void bindNull(int index) override { at(index) = true; }

  bool step() override {
    if (!result_) run();
    if (row_ + 1 >= PQntuples(result_)) {
      row_ = PQntuples(result_);
      return false;
    }
    ++row_;
    return true;
  }
  void reset() override {
    clear();
    null_.assign(values_.size(), true);
  }

  bool isNull(int column) const override { return PQgetisnull(result_, row_, column) == 1; }
  std::int64_t integer(int column) const override {
    const char* v = PQgetvalue(result_, row_, column);
    if (std::strcmp(v, "t") == 0) return 1;
    if (std::strcmp(v, "f") == 0) return 0;
    std::int64_t n = 0;
    const auto end = v + std::strlen(v);
    if (std::from_chars(v, end, n).ptr == end) return n;
    return static_cast<std::int64_t>(real(column));  // a numeric sum, as SQLite would
  }
  double real(int column) const override {
    const char* v = PQgetvalue(result_, row_, column);
    double d = 0;
    std::from_chars(v, v + std::strlen(v), d);
    return d;
  }
  std::string text(int column) const override {
    return std::string(PQgetvalue(result_, row_, column),
                       static_cast<std::size_t>(PQgetlength(result_, row_, column)));
  }

 private:
  std::vector<std::string>::reference atValue(int index) {
    return values_.at(static_cast<std::size_t>(index - 1));
  }
  std::vector<bool>::reference at(int index) {
    if (index < 1 || static_cast<std::size_t>(index) > null_.size()) {
      throw StoreError(StoreFault::Io, "the store " + db_.where() + ": no parameter " +
                                           std::to_string(index) + " in " + sql_);
    }
    return null_[static_cast<std::size_t>(index - 1)];
  }
  void set(int index, std::string value) {
    at(index) = false;
    atValue(index) = std::move(value);
  }
  void run() {
    const std::string& name = db_.preparedName(sql_);
    std::vector<const char*> params(values_.size());
    for (std::size_t i = 0; i < values_.size(); ++i) {
      params[i] = null_[i] ? nullptr : values_[i].c_str();
    }
    result_ = PQexecPrepared(db_.conn_, name.c_str(), static_cast<int>(params.size()),
                             params.data(), nullptr, nullptr, 0);
    const auto s = PQresultStatus(result_);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
      const char* state = PQresultErrorField(result_, PG_DIAG_SQLSTATE);
      const std::string code = state ? state : "";
      clear();
      db_.fail("a query", code.empty() ? nullptr : code.c_str());
    }
    row_ = -1;
  }
  void clear() {
    if (result_) PQclear(result_);
    result_ = nullptr;
    row_ = -1;
  }

  PgDatabase& db_;
  std::string sql_;
  std::vector<std::string> values_;
  std::vector<bool> null_;
  PGresult* result_ = nullptr;
  int row_ = -1;
};

const std::string& PgDatabase::preparedName(const std::string& sql) {
  const auto found = prepared_.find(sql);
  if (found != prepared_.end()) return found->second;
  std::string name = "v" + std::to_string(++nextStatement_);
  Result res(PQprepare(conn_, name.c_str(), sql.c_str(), 0, nullptr));
  if (!res.ok()) fail("preparing a query", res.state());
  return prepared_.emplace(sql, std::move(name)).first->second;
}

std::unique_ptr<PreparedStatement> PgDatabase::prepare(const char* sql) {
  return std::make_unique<PgStatement>(*this, sql);
}

void PgDatabase::begin(bool write) {
  if (!write) {
    exec("BEGIN ISOLATION LEVEL REPEATABLE READ");
    return;
  }
  // One writer at a time, as in SQLite: a reading's revisions and a round's
  // rows are counted from what is there. Readers are never held up.
  exec("BEGIN");
  try {
    exec("SELECT pg_advisory_xact_lock(1986097783)");
  } catch (...) {
    rollback();
    throw;
  }
}

void PgDatabase::commit() {
  exec("COMMIT");
}

void PgDatabase::rollback() noexcept {
  if (conn_ && PQstatus(conn_) == CONNECTION_OK) PQclear(PQexec(conn_, "ROLLBACK"));
}

}  // namespace vardis::store
