// The PC's local date and time, behind an interface so tests can pin "now".
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "format/calendar.h"

namespace vardis {

struct LocalDateTime {
  int year = 2000;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  CalendarDate date() const { return {year, month, day}; }
};

// "2026-12-09T08:05:07" (the milliseconds left out).
inline std::string isoDateTime(const LocalDateTime& t) {
  return isoDateTime(t.date(), t.hour, t.minute, t.second);
}

class PcClock {
 public:
  virtual ~PcClock() = default;
  virtual LocalDateTime now() const = 0;
  // Milliseconds on a monotonic scale, for time stamps and waits.
  virtual std::int64_t steadyMs() const = 0;
};

// The real clock of this PC.
std::unique_ptr<PcClock> makeSystemClock();

// A clock that always reads the same date and time (for tests and demos that
// must give the same file names every run); its steady scale is real.
std::unique_ptr<PcClock> makeFixedClock(const LocalDateTime& at);

// "YYYY-MM-DD HH:MM[:SS[.mmm]]" or the same with "T" for the blank, every
// field with its leading zeros, naming a real date and time; false on another text.
bool parseLocalDateTime(const std::string& text, LocalDateTime& out);

}  // namespace vardis
