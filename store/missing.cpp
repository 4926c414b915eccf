#include "store/missing.h"

#include <map>
#include <string>

#include "format/calendar.h"

namespace vardis::store {

namespace {

// Good records by period (the first `width` characters of the start).
std::map<std::string, int> goodRecordCounts(Database& db, long long serial, const char* kind,
                                            int width, const std::string& from,
                                            const std::string& to) {
  Statement q(db,
              "SELECT substr(r.start, 1, ?2), COUNT(DISTINCT r.start) FROM records r "
              "JOIN meters m ON m.id = r.meter_id WHERE m.serial = ?1 AND r.kind = ?3 AND "
              "r.missing = 0 AND r.start >= ?4 AND r.start < ?5 GROUP BY 1");
  q.bind(1, static_cast<std::int64_t>(serial)).bind(2, width).bind(3, std::string(kind));
  q.bind(4, from).bind(5, to + "~");
  std::map<std::string, int> out;
  while (q.step()) out[q.text(0)] = static_cast<int>(q.integer(1));
  return out;
}

}  // namespace

std::vector<Day> missingHourlyDays(Database& db, long long serial, Day from, Day to, Day today) {
  const auto hours = goodRecordCounts(db, serial, "hourly", 10, isoText(from), isoText(to));
  // The day's own record and the integrators at its end belong to the day too.
  const auto dayRecords =
      goodRecordCounts(db, serial, "hourly-day", 10, isoText(from), isoText(to));
  const auto totals = goodRecordCounts(db, serial, "integrators", 10, isoText(from), isoText(to));
  std::vector<Day> out;
  for (Day d = from; d <= to; d = nextDay(d)) {
    const std::string day = isoText(d);
    const auto it = hours.find(day);
    const bool complete = d < today && it != hours.end() && it->second == 24 &&
                          dayRecords.count(day) == 1 && totals.count(day) == 1;
    if (!complete) out.push_back(d);
  }
  return out;
}

std::vector<Day> missingDailyMonths(Database& db, long long serial, Day from, Day to, Day today) {
  const Day first = firstOfMonth(from);
  const auto days = goodRecordCounts(db, serial, "daily", 7, isoText(first), isoText(to));
  // A month's start values are the integrators at the end of the month before.
  const Day before = previousDay(first);
  const auto starts = goodRecordCounts(db, serial, "integrators", 10, isoText(before), isoText(to));
  std::vector<Day> out;
  for (Day m = first; m <= to; m = nextDay(lastOfMonth(m))) {
    const auto it = days.find(isoMonth(m));
    const bool past = lastOfMonth(m) < today;
    const bool complete = past && it != days.end() && it->second == daysInMonth(m.year, m.month) &&
                          starts.count(isoText(previousDay(m))) == 1;
    if (!complete) out.push_back(m);
  }
  return out;
}

}  // namespace vardis::store
