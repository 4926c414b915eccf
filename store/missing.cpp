#include "store/missing.h"

#include <cstdio>
#include <map>
#include <string>

#include "values/device_clock.h"

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

Day nextDay(Day d) {
  if (++d.day > daysInMonth(d.year, d.month)) {
    d.day = 1;
    if (++d.month > 12) {
      d.month = 1;
      ++d.year;
    }
  }
  return d;
}

Day previousDay(Day d) {
  if (--d.day < 1) {
    if (--d.month < 1) {
      d.month = 12;
      --d.year;
    }
    d.day = daysInMonth(d.year, d.month);
  }
  return d;
}

std::string isoText(const Day& d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

std::vector<Day> missingHourlyDays(Database& db, long long serial, Day from, Day to, Day today) {
  const auto good = goodRecordCounts(db, serial, "hourly", 10, isoText(from), isoText(to));
  std::vector<Day> out;
  for (Day d = from; d <= to; d = nextDay(d)) {
    const auto it = good.find(isoText(d));
    const bool complete = d < today && it != good.end() && it->second == 24;
    if (!complete) out.push_back(d);
  }
  return out;
}

std::vector<Day> missingDailyMonths(Database& db, long long serial, Day from, Day to, Day today) {
  const Day first{from.year, from.month, 1};
  const auto good = goodRecordCounts(db, serial, "daily", 7, isoText(first), isoText(to));
  std::vector<Day> out;
  for (Day m = first; m <= to; m = nextDay(Day{m.year, m.month, daysInMonth(m.year, m.month)})) {
    const auto it = good.find(isoText(m).substr(0, 7));
    const bool past = Day{m.year, m.month, daysInMonth(m.year, m.month)} < today;
    const bool complete = past && it != good.end() && it->second == daysInMonth(m.year, m.month);
    if (!complete) out.push_back(m);
  }
  return out;
}

}  // namespace vardis::store
