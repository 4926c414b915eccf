// Calendar arithmetic of the meter: days counted from 2000-01-01 and the
// decimal-packed date and time it uses for its clock and archive addressing.
#pragma once

#include <cstdint>

namespace vardis::sim {

struct CivilTime {
  int year = 2000;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const CivilTime&, const CivilTime&) = default;
};

bool isLeapYear(int year);
// 28 to 31; 0 for a month outside 1..12.
int daysInMonth(int year, int month);

// Day number of a Gregorian date, 2000-01-01 being day 0.
std::int64_t daysSince2000(int year, int month, int day);
// Seconds since 2000-01-01 00:00:00 of a date and time (fields taken as given).
std::int64_t secondsSince2000(const CivilTime& t);
// The date and time of a second count; negative counts lie before 2000.
CivilTime civilFromSeconds(std::int64_t seconds);
CivilTime civilFromDay(std::int64_t day);

// (year - 2000) * 100000000 + month * 1000000 + day * 10000 + hour * 100 + minute,
// computed in unsigned 32-bit arithmetic (years outside 2000..2042 wrap).
std::uint32_t packDateTime(const CivilTime& t);
// Splits a packed value into its digit groups; seconds are 0. No validation.
CivilTime unpackDateTime(std::uint32_t packed);
// The code of an archive record: the packed value with minute 0.
std::uint32_t archiveDateCode(int year, int month, int day, int hour);

// Years 2000..2042, a real calendar date, hour < 24, minute and second < 60.
bool isValidDateTime(const CivilTime& t);

}  // namespace vardis::sim
