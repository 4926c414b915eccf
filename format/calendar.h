// Calendar dates and their ISO texts: the one date type of the core, the store
// and the front ends.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace vardis {

struct CalendarDate {
  int year = 0;
  int month = 0;
  int day = 0;
  friend auto operator<=>(const CalendarDate&, const CalendarDate&) = default;
};

bool isLeapYear(int year);
// Days in a month, Gregorian; 0 for a month outside 1..12.
int daysInMonth(int year, int month);
// Whether the fields name a real date (any year from 1 to 9999).
bool isRealDate(int year, int month, int day);

CalendarDate nextDay(CalendarDate d);
CalendarDate previousDay(CalendarDate d);
CalendarDate addDays(CalendarDate d, long long days);
CalendarDate firstOfMonth(CalendarDate d);
CalendarDate lastOfMonth(CalendarDate d);
// The number of days from `from` to `to` (negative when `to` comes first).
long long daysBetween(CalendarDate from, CalendarDate to);
// The number of months from the month of `from` to the month of `to`, both counted.
int monthsSpanned(CalendarDate from, CalendarDate to);

// "2026-12-07".
std::string isoDate(const CalendarDate& d);
std::string isoDate(int year, int month, int day);
// "2026-12".
std::string isoMonth(const CalendarDate& d);
std::string isoMonth(int year, int month);
// "2026-12-07T09:05".
std::string isoMinute(const CalendarDate& d, int hour, int minute);
// "2026-12-07T09:05:07".
std::string isoDateTime(const CalendarDate& d, int hour, int minute, int second);

// Exactly "YYYY-MM-DD" with the leading zeros, naming a real date.
std::optional<CalendarDate> parseIsoDate(std::string_view text);

}  // namespace vardis
