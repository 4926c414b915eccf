// The dates vardis-cli takes ("YYYY-MM-DD" with its leading zeros, or the
// words today and yesterday of the PC clock) and the bounded ranges of --missing.
#pragma once

#include <optional>
#include <string>

#include "cli/options.h"
#include "format/calendar.h"

namespace vardis::cli {

// Whether `text` names a date: "YYYY-MM-DD" (a real one), "today" or "yesterday".
bool isDateText(const std::string& text);
// "--from 2026-12-1: not a date; expected YYYY-MM-DD (e.g. 2026-12-09), today or yesterday".
std::string notADateMessage(const std::string& what, const std::string& text);
// The date a text that isDateText names on the day `today`.
CalendarDate resolveDate(const std::string& text, CalendarDate today);
// The PC's day for the commands that open no port: --fake-pc-time, else the real clock.
CalendarDate pcToday(const CliOptions& o);

// Ranges of --missing longer than these need --max-days / --max-months.
inline constexpr int kMissingDaysBound = 62;
inline constexpr int kMissingMonthsBound = 24;

struct MissingRange {
  CalendarDate from;
  CalendarDate to;
  bool clipped = false;   // --to lay after today: the range ends today
  long long periods = 0;  // the days (hourly) or months (daily) it touches
};

// The range of hourly|daily --missing on the day `today` (default: the 7 days
// before today). Nothing, with the reason in `error`, when --to comes before
// --from or the range has more periods than the bound allows; the reason
// then says how many and about how long reading them takes at `baud`.
std::optional<MissingRange> missingRange(const CommandArgs& a, bool hourly, CalendarDate today,
                                         unsigned baud, std::string& error);

// About how long `transactions` take on the line at `baud`: "about 54 hours".
std::string lineTimeText(long long transactions, unsigned baud);

}  // namespace vardis::cli
