#include "store/reading_store.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

#include "params/parameter_names.h"
#include "params/parameter_table.h"
#include "store/record_writer.h"
#include "store/schema.h"
#include "store/sqlite_db.h"

namespace vardis::store {

std::filesystem::path storeFile(const std::filesystem::path& dataDir) {
  return dataDir / kStoreFileName;
}

struct ReadingStore::Statements {
  explicit Statements(Database& db) : records(db) {}
  RecordWriter records;
};

ReadingStore::ReadingStore(const std::filesystem::path& file, int busyTimeoutMs)
    : ReadingStore(std::make_unique<SqliteDatabase>(file, true, busyTimeoutMs), busyTimeoutMs) {}

ReadingStore::ReadingStore(const StoreLocation& location, int busyTimeoutMs)
    : ReadingStore(openDatabase(location, Access::CreateAndWrite, busyTimeoutMs), busyTimeoutMs) {}

ReadingStore::ReadingStore(std::unique_ptr<Database> db, int busyTimeoutMs)
    : owned_(std::move(db)), db_(*owned_) {
  // Switching to WAL and reading a store another program is switching or
  // creating that moment can be refused at once, without the busy time-out:
  // such a refusal is tried again until the time-out has passed.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(busyTimeoutMs);
  for (;;) {
    try {
      setUp();
      break;
    } catch (const StoreError& e) {
      if (e.fault() != StoreFault::Busy || std::chrono::steady_clock::now() >= until) throw;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  st_ = std::make_unique<Statements>(db_);
}

void ReadingStore::setUp() {
  // Reading the version first also tells a file that is not a store; a store
  // of a newer version is refused before anything in it is changed, its
  // journal mode included.
  refuseNewer(db_, storedVersion(db_));
  if (db_.engine() != Engine::Sqlite) {
    migrate(db_);
    return;
  }
  {
    Statement mode(db_, "PRAGMA journal_mode=WAL");
    mode.step();
  }
  db_.exec("PRAGMA synchronous=NORMAL");
  db_.exec("PRAGMA foreign_keys=ON");
  migrate(db_);
}

ReadingStore::~ReadingStore() = default;

std::int64_t ReadingStore::beginVisit(const VisitStart& v) {
  Statement q(db_,
              "INSERT INTO visits(started, port, speed, gsm) VALUES(?1, ?2, ?3, ?4) RETURNING id");
  return q.bind(1, v.started).bind(2, v.port).bind(3, v.speed).bind(4, v.gsm ? 1 : 0).insertId();
}

void ReadingStore::endVisit(std::int64_t visit, const VisitEnd& e) {
  Statement q(db_,
              "UPDATE visits SET ended=?1, requests=?2, errors=?3, timeouts=?4, link_fault=?5, "
              "outcome=?6 WHERE id=?7");
  q.bind(1, e.ended)
      .bind(2, static_cast<std::int64_t>(e.requests))
      .bind(3, static_cast<std::int64_t>(e.errors))
      .bind(4, static_cast<std::int64_t>(e.timeouts))
      .bind(5, e.linkFault ? 1 : 0)
      .bind(6, e.outcome)
      .bind(7, visit)
      .run();
}

void ReadingStore::dropVisit(std::int64_t visit) {
  Statement q(db_, "DELETE FROM visits WHERE id=?1 AND meter_id IS NULL");
  q.bind(1, visit).run();
}

std::int64_t ReadingStore::meter(const MeterInfo& m, std::int64_t visit,
                                 const std::string& seenAt) {
  WriteTransaction t(db_);
  Statement upsert(db_,
                   "INSERT INTO meters(serial, address, heat_unit, volume, format_table, "
                   "first_seen, last_seen) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?6) "
                   "ON CONFLICT(serial) DO UPDATE SET address=?2, heat_unit=?3, volume=?4, "
                   "format_table=?5, last_seen=?6");
  upsert.bind(1, static_cast<std::int64_t>(m.serial))
      .bind(2, m.address)
      .bind(3, m.heatUnit)
      .bind(4, m.volume ? 1 : 0)
      .bind(5, m.formatTable)
      .bind(6, seenAt)
      .run();
  Statement id(db_, "SELECT id FROM meters WHERE serial=?1");
  id.bind(1, static_cast<std::int64_t>(m.serial));
  id.step();
  const std::int64_t meterId = id.integer(0);
  Statement link(db_, "UPDATE visits SET meter_id=?1 WHERE id=?2");
  link.bind(1, meterId).bind(2, visit).run();
  t.commit();
  return meterId;
}

StoredCount ReadingStore::storeArchive(std::int64_t meter, std::int64_t visit,
                                       const std::string& readAt, const ArchiveData& d) {
  WriteTransaction t(db_);
  StoredCount count;
  const RecordKey key{meter, visit, readAt};
  auto one = [&](const std::string& kind, const std::string& start, const std::string& label,
                 std::optional<std::uint32_t> abnormal, bool abnormalMissing,
                 const std::vector<Quantity>& quantities, bool fresh = false) {
    const bool added = st_->records.store(
        key, {kind, start, label, abnormal, abnormalMissing, &quantities}, fresh);
    ++(added ? count.added : count.unchanged);
  };
  // An interval still running when it was read holds no reading: it is not
  // stored, and --missing reads it once it is over. A monthly record is the
  // month's: its start is the period.
  std::vector<std::string> starts;
  for (const auto& r : d.records) {
    if (r.ended) starts.push_back(d.kind == "monthly" ? d.period : r.dateTime);
  }
  // A reading of intervals the store holds none of (a new day) looks for no
  // earlier revisions; a start given twice in it is looked for all the same.
  const auto [lo, hi] = std::minmax_element(starts.begin(), starts.end());
  bool fresh = !starts.empty() && st_->records.noneStored(meter, d.kind, *lo, *hi);
  std::set<std::string> seen;
  std::size_t k = 0;
  for (const auto& r : d.records) {
    if (!r.ended) continue;
    const std::string& start = starts[k++];
    fresh = fresh && seen.insert(start).second;
    one(d.kind, start, r.label,
        r.abnormalNoReply ? std::nullopt : std::optional<std::uint32_t>(r.abnormalWord),
        r.abnormalNoReply, r.quantities, fresh);
  }
  // The hourly reading does not read the day's abnormal word.
  for (const auto& r : d.dayRecord) {
    if (r.ended) one("hourly-day", r.dateTime, r.label, std::nullopt, false, r.quantities);
  }
  if (!d.integrators.empty() && d.integratorsEnded) {
    one("integrators", d.integratorsAt, "", std::nullopt, false, d.integrators);
  }
  if (!d.startIntegrators.empty() && d.startIntegratorsEnded) {
    one("integrators", d.startIntegratorsAt, "", std::nullopt, false, d.startIntegrators);
  }
  t.commit();
  return count;
}

void ReadingStore::storeCurrent(std::int64_t meter, std::int64_t visit, const std::string& readAt,
                                const CurrentData& c) {
  WriteTransaction t(db_);
  Statement head(
      db_,
      "INSERT INTO current_readings(meter_id, visit_id, read_at, meter_clock, "
      "meter_clock_word, abnormal_word, missing) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7) RETURNING id");
  head.bind(1, meter).bind(2, visit).bind(3, readAt);
  if (c.meterClock) {
    head.bind(4, *c.meterClock);
  } else {
    head.bindNull(4);
  }
  head.bind(5, static_cast<std::int64_t>(c.meterClockWord));
  if (c.abnormalNoReply) {
    head.bindNull(6);
  } else {
    head.bind(6, static_cast<std::int64_t>(c.abnormalWord));
  }
  int missing = (c.abnormalNoReply ? 1 : 0) + (c.meterClockNoReply ? 1 : 0);
  for (const Quantity& q : c.quantities) missing += storedValue(q) ? 0 : 1;
  const std::int64_t reading = head.bind(7, missing).insertId();
  Statement value(db_,
                  "INSERT INTO current_values(reading_id, position, name, unit, value) "
                  "VALUES(?1, ?2, ?3, ?4, ?5)");
  for (std::size_t i = 0; i < c.quantities.size(); ++i) {
    const Quantity& q = c.quantities[i];
    value.bind(1, reading).bind(2, static_cast<int>(i)).bind(3, q.name).bind(4, q.unit);
    value.bind(5, storedValue(q)).run();
  }
  t.commit();
}

void ReadingStore::storeParameters(std::int64_t meter, std::int64_t visit,
                                   const std::string& readAt, const ParameterTable& p, int count) {
  WriteTransaction t(db_);
  auto valueOf = [&p](int i) {
    const auto k = static_cast<std::size_t>(i);
    return p.noReply[k] ? std::nullopt : std::optional<double>(p.values[k]);
  };
  // A set read again with the same values changes nothing.
  Statement latest(db_,
                   "SELECT v.idx, v.value FROM parameter_values v WHERE v.set_id = (SELECT "
                   "max(id) FROM parameter_sets WHERE meter_id = ?1) ORDER BY v.idx");
  latest.bind(1, meter);
  int same = 0;
  while (latest.step()) {
    const int i = static_cast<int>(latest.integer(0));
    same += (i == same && i < count && latest.optionalReal(1) == valueOf(i)) ? 1 : 0;
  }
  if (same == count) return;
  int missing = 0;
  for (int i = 0; i < count; ++i) missing += valueOf(i) ? 0 : 1;
  Statement head(db_,
                 "INSERT INTO parameter_sets(meter_id, visit_id, read_at, missing) "
                 "VALUES(?1, ?2, ?3, ?4) RETURNING id");
  const std::int64_t set =
      head.bind(1, meter).bind(2, visit).bind(3, readAt).bind(4, missing).insertId();
  Statement value(db_,
                  "INSERT INTO parameter_values(set_id, idx, name, value) VALUES(?1, ?2, ?3, ?4)");
  for (int i = 0; i < count; ++i) {
    value.bind(1, set).bind(2, i).bind(3, parameterName(i));
    value.bind(4, valueOf(i)).run();
  }
  t.commit();
}

void ReadingStore::storeClockRead(std::int64_t meter, std::int64_t visit, const std::string& readAt,
                                  const std::optional<std::string>& meterTime) {
  Statement q(db_,
              "INSERT INTO clock_events(meter_id, visit_id, read_at, event, meter_time) "
              "VALUES(?1, ?2, ?3, 'read', ?4)");
  q.bind(1, meter).bind(2, visit).bind(3, readAt);
  if (meterTime) {
    q.bind(4, *meterTime);
  } else {
    q.bindNull(4);
  }
  q.run();
}

void ReadingStore::storeClockSet(std::int64_t meter, std::int64_t visit, const std::string& readAt,
                                 const std::string& pcTimeSent, bool acknowledged,
                                 const std::optional<std::string>& before) {
  Statement q(db_,
              "INSERT INTO clock_events(meter_id, visit_id, read_at, event, pc_time_sent, "
              "acknowledged, meter_time_before) VALUES(?1, ?2, ?3, 'set', ?4, ?5, ?6)");
  q.bind(1, meter).bind(2, visit).bind(3, readAt).bind(4, pcTimeSent).bind(5, acknowledged ? 1 : 0);
  if (before) {
    q.bind(6, *before);
  } else {
    q.bindNull(6);
  }
  q.run();
}

void insertRoundNode(Database& db, std::int64_t round, const RoundNodeRow& n) {
  Statement node(db,
                 "INSERT INTO round_nodes(round_id, node, name, phone, serial, result, attempts, "
                 "connected_seconds, transactions, errors, timeouts, what_read, report_files, "
                 "port, message, host) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, "
                 "?13, ?14, ?15, ?16)");
  node.bind(1, round).bind(2, n.node).bind(3, n.name).bind(4, n.phone);
  if (n.serial) {
    node.bind(5, static_cast<std::int64_t>(*n.serial));
  } else {
    node.bindNull(5);
  }
  node.bind(6, n.result).bind(7, n.attempts).bind(8, n.connectedSeconds);
  node.bind(9, static_cast<std::int64_t>(n.transactions))
      .bind(10, static_cast<std::int64_t>(n.errors))
      .bind(11, static_cast<std::int64_t>(n.timeouts));
  node.bind(12, n.whatRead).bind(13, n.reportFiles).bind(14, n.port).bind(15, n.message);
  if (n.host.empty()) {
    node.bindNull(16);
  } else {
    node.bind(16, n.host);
  }
  node.run();
}

std::int64_t ReadingStore::storeRound(const RoundRow& r) {
  WriteTransaction t(db_);
  int read = 0;
  double connected = 0;
  for (const auto& n : r.nodes) {
    read += n.result == "read" ? 1 : 0;
    connected += n.connectedSeconds;
  }
  Statement head(
      db_,
      "INSERT INTO rounds(started, ended, ports, commands, nodes_read, nodes_failed, "
      "connected_seconds, address, baud) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9) RETURNING id");
  head.bind(1, r.started).bind(2, r.ended).bind(3, r.ports).bind(4, r.commands).bind(5, read);
  head.bind(6, static_cast<int>(r.nodes.size()) - read).bind(7, connected);
  const std::int64_t round = head.bind(8, r.address).bind(9, r.baud).insertId();
  for (const auto& n : r.nodes) insertRoundNode(db_, round, n);
  t.commit();
  return round;
}

bool ReadingStore::nodeReadOn(const std::string& phone, const std::string& commands, int address,
                              int baud, const std::string& day) {
  // A round stored without its address and speed holds NULL there: no match.
  Statement q(db_,
              "SELECT 1 FROM round_nodes n JOIN rounds r ON r.id = n.round_id WHERE n.phone = ?1 "
              "AND n.result = 'read' AND r.commands = ?2 AND r.address = ?3 AND r.baud = ?4 "
              "AND substr(r.started, 1, 10) = ?5 LIMIT 1");
  q.bind(1, phone).bind(2, commands).bind(3, address).bind(4, baud).bind(5, day);
  return q.step();
}

}  // namespace vardis::store
