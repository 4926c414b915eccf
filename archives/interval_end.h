// Whether an archive interval has ended. The meter answers for an hour, a day
// or a month that is still running (or has not begun) as readily as for one
// that is over; such answers are no readings. "Now" is the PC's clock or, when
// the meter's clock was read on this connection and runs behind it, the
// meter's: an interval is over only once both clocks have passed its end.
#pragma once

#include <cstdint>

#include "format/calendar.h"

namespace vardis {

class Connection;

// The moment, in seconds since 2000-01-01 00:00, before which intervals have
// ended for this connection.
std::int64_t intervalsEndedBy(const Connection& s);

bool hourEnded(const CalendarDate& day, int hour, std::int64_t endedBy);
bool dayEnded(const CalendarDate& day, std::int64_t endedBy);
bool monthEnded(int year, int month, std::int64_t endedBy);

}  // namespace vardis
