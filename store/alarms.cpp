// The intervals with abnormal situations: the chosen revision of each hourly,
// daily and monthly record whose abnormal word is not 0.
#include <algorithm>
#include <string>

#include "store/dispatch.h"

namespace vardis::store {

namespace {

// The chosen revision of every record of the query's meters and dates (the
// latest one without a missing value, else the latest) with a word other
// than 0 and, for a round, read while the round ran. Parameters: ?1 serial,
// ?2..?5 the day and month bounds (?3 the last day and "~"); for a round ?6 the round, ?7 and ?8
// its start and end. The meters are chosen by id and the starts bounded by one range (the month of
// the first day to the end of the last), so that the records' own index is walked, never the whole
// table; a round's intervals are found from the records read while it ran (records_by_read), then
// each interval's revisions by its key.
std::string chosenWithWord(bool round) {
  std::string sql =
      "SELECT serial, kind, start, word, read_at FROM ("
      "SELECT m.serial, r.kind, r.start, r.abnormal_word AS word, r.read_at, "
      "ROW_NUMBER() OVER (PARTITION BY r.meter_id, r.kind, r.start ORDER BY "
      "CASE WHEN r.missing = 0 THEN 0 ELSE 1 END, r.revision DESC) AS choice ";
  if (round) {
    // Every revision of the intervals read while the round ran, each looked
    // up by its key; the dates only filter (as `start || ''`: no index walks them).
    sql +=
        "FROM (SELECT DISTINCT x.meter_id, x.kind, x.start FROM records x "
        "WHERE x.read_at >= ?7 AND x.read_at <= ?8 AND x.kind IN ('hourly', 'daily', 'monthly')) "
        "picked CROSS JOIN records r JOIN meters m ON m.id = r.meter_id "
        "WHERE r.meter_id = picked.meter_id AND r.kind = picked.kind AND r.start = picked.start "
        "AND m.serial IN (SELECT n.serial FROM round_nodes n WHERE n.round_id = ?6 AND "
        "n.serial IS NOT NULL) AND (m.serial = ?1 OR ?1 IS NULL) "
        "AND ((r.kind = 'monthly' AND r.start || '' >= ?4 AND r.start || '' <= ?5) OR "
        "(r.kind <> 'monthly' AND r.start || '' >= ?2 AND r.start || '' <= ?3))";
  } else {
    sql +=
        "FROM records r JOIN meters m ON m.id = r.meter_id "
        "WHERE r.meter_id IN (SELECT id FROM meters WHERE serial = ?1 OR ?1 IS NULL) "
        "AND r.kind IN ('hourly', 'daily', 'monthly') AND r.start >= ?4 AND r.start <= ?3 "
        "AND ((r.kind = 'monthly' AND r.start >= ?4 AND r.start <= ?5) OR "
        "(r.kind <> 'monthly' AND r.start >= ?2 AND r.start <= ?3))";
  }
  sql += ") chosen WHERE choice = 1 AND word IS NOT NULL AND word <> 0";
  if (round) sql += " AND read_at >= ?7 AND read_at <= ?8";
  return sql;
}

// Binds the query's parameters; false when the round is not in the store.
bool bindQuery(Database& db, Statement& q, const AlarmQuery& a) {
  if (a.serial) {
    q.bind(1, static_cast<std::int64_t>(*a.serial));
  } else {
    q.bindNull(1);
  }
  // "" sorts before and "~" after every date the store writes.
  const std::string from = a.from.substr(0, std::min<std::size_t>(10, a.from.size()));
  // The last day's hours, "2026-12-09T23:00", sort before "2026-12-09~".
  const std::string to = a.to.empty() ? std::string("~") : a.to.substr(0, 10) + "~";
  q.bind(2, from).bind(3, to);
  q.bind(4, from.substr(0, std::min<std::size_t>(7, from.size())));
  q.bind(5, a.to.empty() ? std::string("~") : a.to.substr(0, 7));
  if (!a.round) return true;
  const auto round = roundById(db, *a.round);
  if (!round) return false;
  q.bind(6, *a.round).bind(7, round->started).bind(8, round->ended);
  return true;
}

}  // namespace

std::vector<AlarmRow> alarms(Database& db, const AlarmQuery& a) {
  const ReadTransaction snapshot(db);
  const std::string sql = chosenWithWord(a.round.has_value()) +
                          " ORDER BY start DESC, serial, "
                          "CASE kind WHEN 'hourly' THEN 0 WHEN 'daily' THEN 1 ELSE 2 END "
                          "LIMIT " +
                          (a.round ? "?9" : "?6");
  Statement q(db, sql.c_str());
  std::vector<AlarmRow> out;
  if (!bindQuery(db, q, a)) return out;
  q.bind(a.round ? 9 : 6, std::max(a.limit, 0));
  while (q.step()) {
    out.push_back(
        {q.integer(0), q.text(1), q.text(2), static_cast<std::uint32_t>(q.integer(3)), q.text(4)});
  }
  return out;
}

int metersWithAlarms(Database& db, std::int64_t round) {
  const ReadTransaction snapshot(db);
  const std::string sql =
      std::string("SELECT COUNT(DISTINCT serial) FROM (") + chosenWithWord(true) + ") found";
  Statement q(db, sql.c_str());
  AlarmQuery a;
  a.round = round;
  if (!bindQuery(db, q, a) || !q.step()) return 0;
  return static_cast<int>(q.integer(0));
}

}  // namespace vardis::store
