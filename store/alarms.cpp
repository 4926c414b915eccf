// The intervals with abnormal situations: the chosen revision of each hourly,
// daily and monthly record whose abnormal word is not 0.
#include <algorithm>

#include "store/dispatch.h"

namespace vardis::store {

namespace {

// The chosen revision of every record of the query's meters and dates (the
// latest one without a missing value, else the latest) with a word other
// than 0 and, for a round, read while the round ran. Parameters: ?1 serial,
// ?2..?5 the day and month bounds, ?6 the round, ?7 and ?8 its start and end.
constexpr const char* kChosenWithWord =
    "SELECT serial, kind, start, word, read_at FROM ("
    "SELECT m.serial, r.kind, r.start, r.abnormal_word AS word, r.read_at, "
    "ROW_NUMBER() OVER (PARTITION BY r.meter_id, r.kind, r.start ORDER BY "
    "CASE WHEN r.missing = 0 THEN 0 ELSE 1 END, r.revision DESC) AS choice "
    "FROM records r JOIN meters m ON m.id = r.meter_id "
    "WHERE r.kind IN ('hourly', 'daily', 'monthly') AND (m.serial = ?1 OR ?1 IS NULL) "
    "AND ((r.kind = 'monthly' AND r.start >= ?4 AND r.start <= ?5) OR "
    "(r.kind <> 'monthly' AND substr(r.start, 1, 10) >= ?2 AND substr(r.start, 1, 10) <= ?3)) "
    "AND (m.serial IN "
    "(SELECT n.serial FROM round_nodes n WHERE n.round_id = ?6 AND n.serial IS NOT NULL) "
    "OR ?6 IS NULL)"
    ") chosen WHERE choice = 1 AND word IS NOT NULL AND word <> 0 "
    "AND (?6 IS NULL OR (read_at >= ?7 AND read_at <= ?8))";

// Binds the query's parameters; false when the round is not in the store.
bool bindQuery(Database& db, Statement& q, const AlarmQuery& a) {
  if (a.serial) {
    q.bind(1, static_cast<std::int64_t>(*a.serial));
  } else {
    q.bindNull(1);
  }
  // "" sorts before and "~" after every date the store writes.
  const std::string from = a.from.substr(0, std::min<std::size_t>(10, a.from.size()));
  const std::string to = a.to.empty() ? std::string("~") : a.to.substr(0, 10);
  q.bind(2, from).bind(3, to);
  q.bind(4, from.substr(0, std::min<std::size_t>(7, from.size())));
  q.bind(5, a.to.empty() ? std::string("~") : a.to.substr(0, 7));
  if (!a.round) {
    q.bindNull(6).bindNull(7).bindNull(8);
    return true;
  }
  const auto round = roundById(db, *a.round);
  if (!round) return false;
  q.bind(6, *a.round).bind(7, round->started).bind(8, round->ended);
  return true;
}

}  // namespace

std::vector<AlarmRow> alarms(Database& db, const AlarmQuery& a) {
  const ReadTransaction snapshot(db);
  const std::string sql = std::string(kChosenWithWord) +
                          " ORDER BY start DESC, serial, "
                          "CASE kind WHEN 'hourly' THEN 0 WHEN 'daily' THEN 1 ELSE 2 END "
                          "LIMIT ?9";
  Statement q(db, sql.c_str());
  std::vector<AlarmRow> out;
  if (!bindQuery(db, q, a)) return out;
  q.bind(9, std::max(a.limit, 0));
  while (q.step()) {
    out.push_back(
        {q.integer(0), q.text(1), q.text(2), static_cast<std::uint32_t>(q.integer(3)), q.text(4)});
  }
  return out;
}

int metersWithAlarms(Database& db, std::int64_t round) {
  const ReadTransaction snapshot(db);
  const std::string sql =
      std::string("SELECT COUNT(DISTINCT serial) FROM (") + kChosenWithWord + ") found";
  Statement q(db, sql.c_str());
  AlarmQuery a;
  a.round = round;
  if (!bindQuery(db, q, a) || !q.step()) return 0;
  return static_cast<int>(q.integer(0));
}

}  // namespace vardis::store
