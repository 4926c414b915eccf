#include "store/schema.h"

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
  };
  return list;
}

}  // namespace

int schemaVersion() {
  return static_cast<int>(steps().size());
}

int storedVersion(Database& db) {
  Statement q(db, "PRAGMA user_version");
  q.step();
  return static_cast<int>(q.integer(0));
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
  const int from = storedVersion(db);  // again: another program may have migrated meanwhile
  refuseNewer(db, from);
  for (int v = from; v < schemaVersion(); ++v) db.exec(steps()[static_cast<std::size_t>(v)]);
  // A pragma takes no bound parameter; the version is this program's own number.
  db.exec(("PRAGMA user_version = " + std::to_string(schemaVersion())).c_str());
  t.commit();
}

}  // namespace vardis::store
