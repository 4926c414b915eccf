#include "sim/calendar.h"

namespace vardis::sim {

namespace {

constexpr std::int64_t kDaysFrom1970To2000 = 10957;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && isLeapYear(year)) return 29;
  return kDays[month - 1];
}

std::int64_t daysSince2000(int year, int month, int day) {
  return daysFromCivil(year, month, day) - kDaysFrom1970To2000;
}

std::int64_t secondsSince2000(const CivilTime& t) {
  return daysSince2000(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

CivilTime civilFromDay(std::int64_t day) {
  std::int64_t z = day + kDaysFrom1970To2000 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  CivilTime t;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
  return t;
}

CivilTime civilFromSeconds(std::int64_t seconds) {
  const std::int64_t day = floorDiv(seconds, 86400);
  const std::int64_t rest = seconds - day * 86400;
  CivilTime t = civilFromDay(day);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest % 3600 / 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

std::uint32_t packDateTime(const CivilTime& t) {
  const auto y = static_cast<std::uint32_t>(t.year - 2000);
  return y * 100000000u + static_cast<std::uint32_t>(t.month) * 1000000u +
         static_cast<std::uint32_t>(t.day) * 10000u + static_cast<std::uint32_t>(t.hour) * 100u +
         static_cast<std::uint32_t>(t.minute);
}

CivilTime unpackDateTime(std::uint32_t packed) {
  CivilTime t;
  t.year = 2000 + static_cast<int>(packed / 100000000u);
  packed %= 100000000u;
  t.month = static_cast<int>(packed / 1000000u);
  packed %= 1000000u;
  t.day = static_cast<int>(packed / 10000u);
  packed %= 10000u;
  t.hour = static_cast<int>(packed / 100u);
  t.minute = static_cast<int>(packed % 100u);
  t.second = 0;
  return t;
}

std::uint32_t archiveDateCode(int year, int month, int day, int hour) {
  return packDateTime(CivilTime{year, month, day, hour, 0, 0});
}

bool isValidDateTime(const CivilTime& t) {
  return t.year >= 2000 && t.year <= 2042 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= daysInMonth(t.year, t.month) && t.hour >= 0 && t.hour < 24 && t.minute >= 0 &&
         t.minute < 60 && t.second >= 0 && t.second < 60;
}

}  // namespace vardis::sim
