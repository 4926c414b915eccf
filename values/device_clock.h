// The meter's clock and the packed date-time it uses for its clock and archives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "format/calendar.h"

namespace vardis {

class Connection;

// (year - 2000) * 100000000 + month * 1000000 + day * 10000 + hour * 100 + minute.
struct DateTimeParts {
  std::uint32_t year2 = 0;  // year - 2000
  std::uint32_t month = 0;
  std::uint32_t day = 0;
  std::uint32_t hour = 0;
  std::uint32_t minute = 0;
};

// The date of the packed form (fields as given, not checked).
inline CalendarDate calendarDate(const DateTimeParts& p) {
  return {static_cast<int>(p.year2) + 2000, static_cast<int>(p.month), static_cast<int>(p.day)};
}

std::uint32_t packDateTime(const DateTimeParts& p);
// Splits by successive division, as the clock display does.
DateTimeParts unpackDateTime(std::uint32_t packed);

// The code of an archive record: the packed date with minute 0.
std::uint32_t archiveDateCode(int year, int month, int day, int hour);

// Texts of the clock page: "Дата:  2011.04.08 " and "Время:  09:05:07".
std::string clockDateCaption(std::uint32_t packed);
std::string clockTimeCaption(std::uint32_t packed, std::uint8_t seconds);

// Years the packed date can name.
inline constexpr int kFirstClockYear = 2001;
inline constexpr int kLastClockYear = 2042;
inline constexpr int kFirstArchiveYear = 2000;

// Seconds since 2000-01-01 00:00 of a date and time, to compare two clocks.
std::int64_t secondStamp(const CalendarDate& d, int hour, int minute, int second);

// Reads the meter clock and shows it (the device clock texts). A good reading
// of a possible date and time also notes how far the meter's clock is ahead
// of the PC's (`meterClockAheadSeconds`).
void ReadDeviceClock(Connection& s);

// Writes the PC's date and time into the meter. Throws UserError when the PC's
// year cannot be encoded.
void SetDeviceClock(Connection& s);

// "Время ПК в прибор" as the window does it: writes the PC's time, reads the
// meter's clock back and shows it; the status says whether it took.
void SetDeviceClockAndReadBack(Connection& s);

// The archive date was picked: it becomes the date the archive readings read.
struct SelectedDate {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t day = 0;
  std::uint8_t daysInMonth = 0;
  CalendarDate date() const { return {year, month, day}; }
};
SelectedDate pickArchiveDate(Connection& s, int year, int month, int day);

// Whether the archive date picker accepts a date (the packed code can name it).
bool archiveDateAllowed(int year, int month, int day);

}  // namespace vardis
