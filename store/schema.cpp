#include "store/schema.h"

#include <regex>
#include <string>
#include <vector>

namespace vardis::store {

namespace {

// Step n brings a store of version n to version n + 1. Steps are never edited
// once released: a change of the tables is a new step.
const std::vector<const char*>& steps() {
  static const std::vector<const char*> list{
      // 0 -> 1: meters, visits, archive records, current values, parameters, clock.
      R"sql(
CREATE TABLE meters(
  id INTEGER PRIMARY KEY,
  serial INTEGER NOT NULL UNIQUE,
  address INTEGER NOT NULL,
  heat_unit TEXT NOT NULL,
  volume INTEGER NOT NULL,
  format_table TEXT NOT NULL,
  first_seen TEXT NOT NULL,
  last_seen TEXT NOT NULL);
CREATE TABLE visits(
  id INTEGER PRIMARY KEY,
  meter_id INTEGER REFERENCES meters(id),
  started TEXT NOT NULL,
  ended TEXT,
  port TEXT NOT NULL,
  speed INTEGER NOT NULL,
  gsm INTEGER NOT NULL,
  requests INTEGER,
  errors INTEGER,
  timeouts INTEGER,
  link_fault INTEGER,
  outcome TEXT);
CREATE TABLE records(
  id INTEGER PRIMARY KEY,
  meter_id INTEGER NOT NULL REFERENCES meters(id),
  kind TEXT NOT NULL,
  start TEXT NOT NULL,
  revision INTEGER NOT NULL,
  label TEXT NOT NULL,
  abnormal_word INTEGER,
  missing INTEGER NOT NULL,
  visit_id INTEGER NOT NULL REFERENCES visits(id),
  read_at TEXT NOT NULL,
  UNIQUE(meter_id, kind, start, revision));
CREATE TABLE record_values(
  record_id INTEGER NOT NULL REFERENCES records(id),
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  unit TEXT NOT NULL,
  value REAL,
  PRIMARY KEY(record_id, position)) WITHOUT ROWID;
CREATE TABLE current_readings(
  id INTEGER PRIMARY KEY,
  meter_id INTEGER NOT NULL REFERENCES meters(id),
  visit_id INTEGER NOT NULL REFERENCES visits(id),
  read_at TEXT NOT NULL,
  meter_clock TEXT,
  meter_clock_word INTEGER NOT NULL,
  abnormal_word INTEGER,
  missing INTEGER NOT NULL);
CREATE INDEX current_by_meter ON current_readings(meter_id, read_at);
CREATE TABLE current_values(
  reading_id INTEGER NOT NULL REFERENCES current_readings(id),
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  unit TEXT NOT NULL,
  value REAL,
  PRIMARY KEY(reading_id, position)) WITHOUT ROWID;
CREATE TABLE parameter_sets(
  id INTEGER PRIMARY KEY,
  meter_id INTEGER NOT NULL REFERENCES meters(id),
  visit_id INTEGER NOT NULL REFERENCES visits(id),
  read_at TEXT NOT NULL,
  missing INTEGER NOT NULL);
CREATE INDEX parameters_by_meter ON parameter_sets(meter_id, read_at);
CREATE TABLE parameter_values(
  set_id INTEGER NOT NULL REFERENCES parameter_sets(id),
  idx INTEGER NOT NULL,
  name TEXT NOT NULL,
  value REAL,
  PRIMARY KEY(set_id, idx)) WITHOUT ROWID;
CREATE TABLE clock_events(
  id INTEGER PRIMARY KEY,
  meter_id INTEGER NOT NULL REFERENCES meters(id),
  visit_id INTEGER NOT NULL REFERENCES visits(id),
  read_at TEXT NOT NULL,
  event TEXT NOT NULL,
  meter_time TEXT,
  pc_time_sent TEXT,
  acknowledged INTEGER,
  meter_time_before TEXT);
CREATE INDEX clock_by_meter ON clock_events(meter_id, read_at);
)sql",
      // 1 -> 2: the rounds over the node directory and each node's outcome.
      R"sql(
CREATE TABLE rounds(
  id INTEGER PRIMARY KEY,
  started TEXT NOT NULL,
  ended TEXT NOT NULL,
  ports TEXT NOT NULL,
  commands TEXT NOT NULL,
  nodes_read INTEGER NOT NULL,
  nodes_failed INTEGER NOT NULL,
  connected_seconds REAL NOT NULL);
CREATE TABLE round_nodes(
  round_id INTEGER NOT NULL REFERENCES rounds(id),
  node INTEGER NOT NULL,
  name TEXT NOT NULL,
  phone TEXT NOT NULL,
  serial INTEGER,
  result TEXT NOT NULL,
  attempts INTEGER NOT NULL,
  connected_seconds REAL NOT NULL,
  transactions INTEGER NOT NULL,
  errors INTEGER NOT NULL,
  timeouts INTEGER NOT NULL,
  what_read TEXT NOT NULL,
  report_files TEXT NOT NULL,
  port TEXT NOT NULL,
  message TEXT NOT NULL,
  PRIMARY KEY(round_id, node)) WITHOUT ROWID;
CREATE INDEX round_nodes_by_phone ON round_nodes(phone, result);
)sql",
      // 2 -> 3: records read while their interval was still running held the
      // meter's answers for a time that had not passed, never a reading: they
      // go, so that the history shows a gap there and --missing reads them.
      R"sql(
CREATE TEMP TABLE unended AS SELECT id FROM records WHERE read_at < CASE kind
  WHEN 'hourly' THEN strftime('%Y-%m-%dT%H:%M:%S', start, '+1 hour')
  WHEN 'monthly' THEN strftime('%Y-%m-%dT%H:%M:%S', start || '-01', '+1 month')
  ELSE strftime('%Y-%m-%dT%H:%M:%S', start, '+1 day') END;
DELETE FROM record_values WHERE record_id IN (SELECT id FROM unended);
DELETE FROM records WHERE id IN (SELECT id FROM unended);
DROP TABLE unended;
)sql",
      // 3 -> 4: the meter address and line speed of a round, so that a round
      // at another address or speed calls the nodes again. Rounds stored
      // before hold NULL: they are nobody's earlier reading.
      R"sql(
ALTER TABLE rounds ADD COLUMN address INTEGER;
ALTER TABLE rounds ADD COLUMN baud INTEGER;
)sql",
      // 4 -> 5: rounds shared by several hosts. The queue of a shared round
      // lives in the store: each node's state, attempts, redial time and the
      // lease of the host and modem calling it (times in seconds on the
      // store's own clock). A round's node says which host read it.
      R"sql(
ALTER TABLE round_nodes ADD COLUMN host TEXT;
CREATE TABLE shared_rounds(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  round_id INTEGER NOT NULL REFERENCES rounds(id),
  commands TEXT NOT NULL,
  address INTEGER NOT NULL,
  baud INTEGER NOT NULL,
  attempts INTEGER NOT NULL,
  redial_pause_seconds INTEGER NOT NULL,
  started TEXT NOT NULL,
  ended TEXT);
CREATE UNIQUE INDEX shared_rounds_open ON shared_rounds(name) WHERE ended IS NULL;
CREATE TABLE shared_nodes(
  shared_id INTEGER NOT NULL REFERENCES shared_rounds(id),
  node INTEGER NOT NULL,
  name TEXT NOT NULL,
  phone TEXT NOT NULL,
  init TEXT NOT NULL,
  quick_drain INTEGER NOT NULL,
  state TEXT NOT NULL,
  attempts INTEGER NOT NULL,
  done TEXT NOT NULL,
  due_at REAL NOT NULL,
  holder TEXT,
  host TEXT,
  port TEXT,
  lease_until REAL,
  PRIMARY KEY(shared_id, node)) WITHOUT ROWID;
CREATE INDEX shared_nodes_due ON shared_nodes(shared_id, state, due_at, node);
CREATE INDEX shared_nodes_lease ON shared_nodes(shared_id, state, lease_until);
)sql",
      // 5 -> 6: the records a round brought are found by when they were
      // read (its abnormal intervals), not by a walk through every record.
      R"sql(
CREATE INDEX records_by_read ON records(read_at);
)sql",
  };
  return list;
}

// Step 2 -> 3 as PostgreSQL says it.
const char* const kPostgresEndedStep = R"sql(
CREATE TEMP TABLE unended ON COMMIT DROP AS SELECT id FROM records WHERE read_at < CASE kind
  WHEN 'hourly' THEN to_char(start::timestamp + interval '1 hour', 'YYYY-MM-DD"T"HH24:MI:SS')
  WHEN 'monthly' THEN to_char((start || '-01')::timestamp + interval '1 month',
                              'YYYY-MM-DD"T"HH24:MI:SS')
  ELSE to_char(start::timestamp + interval '1 day', 'YYYY-MM-DD"T"HH24:MI:SS') END;
DELETE FROM record_values WHERE record_id IN (SELECT id FROM unended);
DELETE FROM records WHERE id IN (SELECT id FROM unended);
)sql";

// A step's tables in PostgreSQL's words: 64-bit integers and doubles, text
// that compares as bytes (as SQLite's does), ids made by the server.
std::string postgresStep(int version) {
  if (version == 2) return kPostgresEndedStep;
  std::string sql = steps()[static_cast<std::size_t>(version)];
  const std::pair<const char*, const char*> words[] = {
      {R"(\bINTEGER PRIMARY KEY\b)", "BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"},
      {R"(\bINTEGER\b)", "BIGINT"},
      {R"(\bREAL\b)", "DOUBLE PRECISION"},
      {R"(\bTEXT\b)", "TEXT COLLATE \"C\""},
      {R"(\) WITHOUT ROWID;)", ");"},
  };
  for (const auto& [from, to] : words) sql = std::regex_replace(sql, std::regex(from), to);
  return sql;
}

// Where PostgreSQL keeps the store's version; SQLite keeps it in user_version.
const char* const kPostgresVersionTable =
    "CREATE TABLE IF NOT EXISTS schema_version(version BIGINT NOT NULL)";

// Any number that no other program takes: the lock of a migration.
constexpr long long kMigrationLock = 0x76617264;

void storeVersion(Database& db) {
  if (db.engine() == Engine::Sqlite) {
    // A pragma takes no bound parameter; the version is this program's own number.
    db.exec(("PRAGMA user_version = " + std::to_string(schemaVersion())).c_str());
    return;
  }
  db.exec("DELETE FROM schema_version");
  Statement q(db, "INSERT INTO schema_version(version) VALUES(?1)");
  q.bind(1, schemaVersion()).run();
}

}  // namespace

int schemaVersion() {
  return static_cast<int>(steps().size());
}

int storedVersion(Database& db) {
  if (db.engine() == Engine::Sqlite) {
    Statement q(db, "PRAGMA user_version");
    q.step();
    return static_cast<int>(q.integer(0));
  }
  Statement exists(db, "SELECT to_regclass('schema_version') IS NOT NULL");
  if (!exists.step() || exists.integer(0) == 0) return 0;
  Statement q(db, "SELECT max(version) FROM schema_version");
  return q.step() && !q.isNull(0) ? static_cast<int>(q.integer(0)) : 0;
}

void refuseNewer(const Database& db, int version) {
  if (version <= schemaVersion()) return;
  throw StoreError(StoreFault::Newer,
                   "the store " + db.path() + " was written by a newer version of vardis (" +
                       "store version " + std::to_string(version) + ", this program knows up to " +
                       std::to_string(schemaVersion()) + "); it is left as it is");
}

void migrate(Database& db) {
  const int seen = storedVersion(db);
  refuseNewer(db, seen);
  if (seen == schemaVersion()) return;
  WriteTransaction t(db);
  if (db.engine() == Engine::Postgres) {
    // Two programs migrating one database wait for each other here.
    Statement lock(db, "SELECT pg_advisory_xact_lock(?1)");
    lock.bind(1, static_cast<std::int64_t>(kMigrationLock)).run();
    db.exec(kPostgresVersionTable);
  }
  const int from = storedVersion(db);  // again: another program may have migrated meanwhile
  refuseNewer(db, from);
  for (int v = from; v < schemaVersion(); ++v) {
    if (db.engine() == Engine::Sqlite) {
      db.exec(steps()[static_cast<std::size_t>(v)]);
    } else {
      db.exec(postgresStep(v).c_str());
    }
  }
  storeVersion(db);
  t.commit();
}

}  // namespace vardis::store
