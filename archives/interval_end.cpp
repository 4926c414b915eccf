#include "archives/interval_end.h"

#include <algorithm>

#include "connection/connection.h"
#include "values/device_clock.h"

namespace vardis {

std::int64_t intervalsEndedBy(const Connection& s) {
  const LocalDateTime pc = s.clock().now();
  const std::int64_t now = secondStamp({pc.year, pc.month, pc.day}, pc.hour, pc.minute, pc.second);
  return now + std::min<std::int64_t>(0, s.meterClockAheadSeconds.value_or(0));
}

bool hourEnded(const CalendarDate& day, int hour, std::int64_t endedBy) {
  return secondStamp(day, hour, 0, 0) + 3600 <= endedBy;
}

bool dayEnded(const CalendarDate& day, std::int64_t endedBy) {
  return secondStamp(nextDay(day), 0, 0, 0) <= endedBy;
}

bool monthEnded(int year, int month, std::int64_t endedBy) {
  return secondStamp(nextDay(lastOfMonth({year, month, 1})), 0, 0, 0) <= endedBy;
}

}  // namespace vardis
