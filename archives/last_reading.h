// What the last archive reading stored, so views and exports can find its rows.
#pragma once

#include <cstdint>

namespace vardis {

// The interval values of one archive row.
struct IntervalRow {
  double flow[4] = {0, 0, 0, 0};
  double heat[2] = {0, 0};
  double temperature[4] = {0, 0, 0, 0};
  double pressure[4] = {0, 0, 0, 0};
  double runTime[2] = {0, 0};
  double mains = 0;
  // Without a good reply, in the order flow 1..4, temperature 1..4, pressure
  // 1..4, heat 1..2, run time 1..2, mains.
  bool noReply[17] = {};
};

enum class ReadingKind { None, Hourly, Daily, Monthly };

struct LastReading {
  ReadingKind kind = ReadingKind::None;
  int year = 0;
  int month = 0;
  int day = 0;          // the picked day (hourly: the day read)
  int days = 0;         // daily: the number of days of the month
  int snapshotDay = 0;  // daily: the day of the end values
  int startDay = 0;     // daily: the last day of the month before (start values)
  int reportDay = 0;    // monthly: the record's day label
  bool complete = false;
  // Intervals that ended before this moment (seconds since 2000-01-01) had
  // ended when the reading began: only they are readings.
  std::int64_t endedBy = 0;
  // Hourly: the values of hour `day`, kept before the day's own record took its row.
  IntervalRow keptHour;
  // Daily: the end values, copied aside before the start values were read.
  double endFlow[4] = {0, 0, 0, 0};
  double endHeat[2] = {0, 0};
  double endRunTime[2] = {0, 0};
  double endMains = 0;
  // The end values without a good reply, by integrator quantity 0..8.
  bool endNoReply[9] = {};
};

}  // namespace vardis
