// What the store does not hold yet: the days whose hourly records, and the
// months whose daily records, are not all there with every value. A day or
// month that is still running is never complete.
#pragma once

#include <string>
#include <vector>

#include "format/calendar.h"
#include "store/sqlite_db.h"

namespace vardis::store {

using Day = CalendarDate;
using vardis::nextDay;
using vardis::previousDay;
// "2026-12-07".
inline std::string isoText(const Day& d) {
  return isoDate(d);
}

// The days of [from, to] to read: those before `today` without 24 good hourly
// records of the meter, a good record of the day itself and good integrators
// at its end; and every day from `today` on. A record is good when it holds
// every value with a good reply.
std::vector<Day> missingHourlyDays(Database& db, long long serial, Day from, Day to, Day today);

// The months touched by [from, to] to read, each as its first day: those
// before today's month without a good daily record for every day or without
// good start values (the integrators at the end of the month before), and
// today's month itself.
std::vector<Day> missingDailyMonths(Database& db, long long serial, Day from, Day to, Day today);

}  // namespace vardis::store
