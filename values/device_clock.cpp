#include "values/device_clock.h"

#include "connection/connection.h"
#include "format/numtext.h"

namespace vardis {

std::uint32_t packDateTime(const DateTimeParts& p) {
  return p.year2 * 100000000u + p.month * 1000000u + p.day * 10000u + p.hour * 100u + p.minute;
}

DateTimeParts unpackDateTime(std::uint32_t packed) {
  DateTimeParts p;
  p.year2 = packed / 100000000u;
  std::uint32_t r = packed - p.year2 * 100000000u;
  p.month = r / 1000000u;
  r -= p.month * 1000000u;
  p.day = r / 10000u;
  r -= p.day * 10000u;
  p.hour = r / 100u;
  p.minute = r - p.hour * 100u;
  return p;
}

std::uint32_t archiveDateCode(int year, int month, int day, int hour) {
  // Wraps like the meter's own arithmetic for years it cannot name.
  const auto y = static_cast<std::uint16_t>(year - 2000);
  return static_cast<std::uint32_t>(y) * 100000000u + static_cast<std::uint32_t>(month) * 1000000u +
         static_cast<std::uint32_t>(day) * 10000u + static_cast<std::uint32_t>(hour) * 100u;
}

std::string clockDateCaption(std::uint32_t packed) {
  const DateTimeParts p = unpackDateTime(packed);
  return "Дата:  " + std::to_string(p.year2 + 2000) + "." + twoDigits(p.month) + "." +
         twoDigits(p.day) + " ";
}

std::string clockTimeCaption(std::uint32_t packed, std::uint8_t seconds) {
  const DateTimeParts p = unpackDateTime(packed);
  return "Время:  " + twoDigits(p.hour) + ":" + twoDigits(p.minute) + ":" + twoDigits(seconds);
}

void ReadDeviceClock(Connection& s) {
  const Reply reply = s.link.ReadClockTransaction();
  s.clockNoReply = !reply.good;
  if (!reply.good) {
    s.showDeviceClock(std::string("Дата:  ") + kNoReplyText,
                      std::string("Время:  ") + kNoReplyText);
    return;
  }
  const std::uint32_t packed = s.link.addr.dateTime;
  const std::uint8_t seconds = s.link.addr.seconds;
  s.showDeviceClock(clockDateCaption(packed), clockTimeCaption(packed, seconds));
  const DateTimeParts p = unpackDateTime(packed);
  const CalendarDate meterDate{static_cast<int>(p.year2) + 2000, static_cast<int>(p.month),
                               static_cast<int>(p.day)};
  if (isRealDate(meterDate.year, meterDate.month, meterDate.day) && p.hour <= 23 &&
      p.minute <= 59 && seconds <= 59) {
    const LocalDateTime pc = s.clock().now();
    s.meterClockAheadSeconds =
        secondStamp(meterDate, static_cast<int>(p.hour), static_cast<int>(p.minute), seconds) -
        secondStamp({pc.year, pc.month, pc.day}, pc.hour, pc.minute, pc.second);
  }
}

std::int64_t secondStamp(const CalendarDate& d, int hour, int minute, int second) {
  return daysBetween(CalendarDate{2000, 1, 1}, d) * 86400 + hour * 3600 + minute * 60 + second;
}

void SetDeviceClock(Connection& s) {
  const LocalDateTime now = s.clock().now();
  if (now.year < kFirstClockYear || now.year > kLastClockYear) {
    throw UserError("The PC clock reads the year " + std::to_string(now.year) +
                    "; the meter's clock can only be set to the years " +
                    std::to_string(kFirstClockYear) + " to " + std::to_string(kLastClockYear));
  }
  DateTimeParts p;
  p.year2 = static_cast<std::uint32_t>(now.year - 2000);
  p.month = static_cast<std::uint32_t>(now.month);
  p.day = static_cast<std::uint32_t>(now.day);
  p.hour = static_cast<std::uint32_t>(now.hour);
  p.minute = static_cast<std::uint32_t>(now.minute);
  s.link.addr.dateTime = packDateTime(p);
  s.link.addr.seconds = static_cast<std::uint8_t>(now.second);
  s.clockSetting = ClockSetting{now, false};
  s.clockSetting->acknowledged = s.link.SetClockTransaction().good;
}

void SetDeviceClockAndReadBack(Connection& s) {
  s.beginCommand("Время в прибор");
  SetDeviceClock(s);
  ReadDeviceClock(s);
  // The meter's own clock as it reads now, not the captions cut apart.
  const DateTimeParts p = unpackDateTime(s.link.addr.dateTime);
  s.endCommand("Время прибора: " + std::to_string(p.year2 + 2000) + "." + twoDigits(p.month) + "." +
               twoDigits(p.day) + " " + twoDigits(p.hour) + ":" + twoDigits(p.minute) + ":" +
               twoDigits(s.link.addr.seconds));
}

SelectedDate pickArchiveDate(Connection& s, int year, int month, int day) {
  s.pickedDate = CalendarDate{year, month, day};
  SelectedDate d;
  d.year = static_cast<std::uint16_t>(year);
  d.month = static_cast<std::uint16_t>(month);
  d.day = static_cast<std::uint16_t>(day);
  d.daysInMonth = static_cast<std::uint8_t>(daysInMonth(year, month));
  return d;
}

bool archiveDateAllowed(int year, int month, int day) {
  if (year < kFirstArchiveYear || year > kLastClockYear) return false;
  return month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month);
}

}  // namespace vardis
