// A PostgreSQL connection behind the store's database interface, on libpq.
// The queries' "?N" and "?" parameters become "$N"; each statement is
// prepared on the server once and run with its parameters sent as text, so
// the server infers their types from the query; rows come back as text and
// are read with exact number conversions (a double travels as its shortest
// exact text both ways). Every text column compares as bytes (COLLATE "C"),
// as SQLite's do, so both engines order rows alike.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "store/database.h"

struct pg_conn;

namespace vardis::store {

class PgDatabase final : public Database {
 public:
  // Connects with that conninfo or URI. `shown` is the location as messages
  // name it (no password). `readOnly` sets the session read-only; a lock
  // waited for past `busyTimeoutMs` is Busy. A server that cannot be reached
  // or refuses the login is a StoreError CannotOpen naming the server's
  // reason without any password.
  PgDatabase(const std::string& conninfo, std::string shown, bool readOnly, int busyTimeoutMs);
  ~PgDatabase() override;

  Engine engine() const override { return Engine::Postgres; }
  const std::string& where() const override { return shown_; }
  void exec(const char* sql) override;
  std::unique_ptr<PreparedStatement> prepare(const char* sql) override;
  void begin(bool write) override;
  void commit() override;
  void rollback() noexcept override;

  pg_conn* handle() { return conn_; }
  // Throws the StoreError of the connection's last failure, with what was
  // being done. A connection that is gone is Io ("the server went away").
  [[noreturn]] void fail(const std::string& doing, const char* sqlState = nullptr) const;

 private:
  // The server's name of a query, prepared on first use: each query text is
  // parsed once per connection however many Statements run it.
  const std::string& preparedName(const std::string& sql);

  pg_conn* conn_ = nullptr;
  std::string shown_;
  std::map<std::string, std::string> prepared_;
  int nextStatement_ = 0;
  friend class PgStatement;
};

// "?N" → "$N", and each bare "?" → the next number, outside quotes and
// comments. Throws std::invalid_argument for a query that mixes the two.
std::string postgresParameters(const std::string& sql);

}  // namespace vardis::store
