// What the store does not hold yet: the days whose hourly records, and the
// months whose daily records, are not all there with every value. A day or
// month that is still running is never complete.
#pragma once

#include <vector>

#include "store/sqlite_db.h"

namespace vardis::store {

struct Day {
  int year = 0;
  int month = 0;
  int day = 0;
  friend auto operator<=>(const Day&, const Day&) = default;
};

Day nextDay(Day d);
Day previousDay(Day d);
// "2026-12-07".
std::string isoText(const Day& d);

// The days of [from, to] to read: those before `today` without 24 good hourly
// records of the meter, and every day from `today` on.
std::vector<Day> missingHourlyDays(Database& db, long long serial, Day from, Day to, Day today);

// The months touched by [from, to] to read, each as its first day: those
// before today's month without a good daily record for every day, and today's
// month itself.
std::vector<Day> missingDailyMonths(Database& db, long long serial, Day from, Day to, Day today);

}  // namespace vardis::store
