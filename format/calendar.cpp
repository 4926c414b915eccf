#include "format/calendar.h"

#include <cstdio>

namespace vardis {

namespace {

// Day number of a Gregorian date (days from 1970-01-01), and back.
long long dayNumber(const CalendarDate& d) {
  const long long y = d.month <= 2 ? d.year - 1 : d.year;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long mp = (d.month + 9) % 12;
  const long long doy = (153 * mp + 2) / 5 + d.day - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CalendarDate dateOfNumber(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return CalendarDate{year, month, day};
}

bool digits(std::string_view text, std::size_t from, std::size_t count, int& out) {
  out = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

bool isRealDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && day >= 1 && day <= daysInMonth(year, month);
}

CalendarDate nextDay(CalendarDate d) {
  if (++d.day > daysInMonth(d.year, d.month)) {
    d.day = 1;
    if (++d.month > 12) {
      d.month = 1;
      ++d.year;
    }
  }
  return d;
}

CalendarDate previousDay(CalendarDate d) {
  if (--d.day < 1) {
    if (--d.month < 1) {
      d.month = 12;
      --d.year;
    }
    d.day = daysInMonth(d.year, d.month);
  }
  return d;
}

CalendarDate addDays(CalendarDate d, long long days) {
  return dateOfNumber(dayNumber(d) + days);
}

CalendarDate firstOfMonth(CalendarDate d) {
  return CalendarDate{d.year, d.month, 1};
}

CalendarDate lastOfMonth(CalendarDate d) {
  return CalendarDate{d.year, d.month, daysInMonth(d.year, d.month)};
}

long long daysBetween(CalendarDate from, CalendarDate to) {
  return dayNumber(to) - dayNumber(from);
}

int monthsSpanned(CalendarDate from, CalendarDate to) {
  return (to.year - from.year) * 12 + (to.month - from.month) + 1;
}

std::string isoDate(int year, int month, int day) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
  return buf;
}

std::string isoDate(const CalendarDate& d) {
  return isoDate(d.year, d.month, d.day);
}

std::string isoMonth(int year, int month) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d", year, month);
  return buf;
}

std::string isoMonth(const CalendarDate& d) {
  return isoMonth(d.year, d.month);
}

std::string isoMinute(const CalendarDate& d, int hour, int minute) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "T%02d:%02d", hour, minute);
  return isoDate(d) + buf;
}

std::string isoDateTime(const CalendarDate& d, int hour, int minute, int second) {
  char buf[16];
  std::snprintf(buf, sizeof buf, ":%02d", second);
  return isoMinute(d, hour, minute) + buf;
}

std::optional<CalendarDate> parseIsoDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  CalendarDate d;
  if (!digits(text, 0, 4, d.year) || !digits(text, 5, 2, d.month) || !digits(text, 8, 2, d.day))
    return std::nullopt;
  if (!isRealDate(d.year, d.month, d.day)) return std::nullopt;
  return d;
}

}  // namespace vardis
