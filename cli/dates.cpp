#include "cli/dates.h"

#include <cmath>

#include "link/pc_clock.h"

namespace vardis::cli {

namespace {

// Transactions of one hourly reading (24 hours of 21, the day's record, the
// day's integrators) and of a daily reading of a month (21 a day and two sets
// of integrators).
constexpr long long kHourlyTransactions = 24 * 21 + 20 + 9;
long long dailyTransactions(const CalendarDate& month) {
  return 21LL * daysInMonth(month.year, month.month) + 9 + 9;
}

// A transaction: the output drained (about 30 ms), 22 bytes of 10 bits, the
// meter's turnaround (about 5 ms).
double transactionSeconds(unsigned baud) {
  return 0.030 + 22.0 * 10.0 / baud + 0.005;
}

}  // namespace

bool isDateText(const std::string& text) {
  return text == "today" || text == "yesterday" || parseIsoDate(text).has_value();
}

std::string notADateMessage(const std::string& what, const std::string& text) {
  return what + " " + text +
         ": not a date; expected YYYY-MM-DD (e.g. 2026-12-09), today or yesterday";
}

CalendarDate resolveDate(const std::string& text, CalendarDate today) {
  if (text == "today") return today;
  if (text == "yesterday") return previousDay(today);
  return parseIsoDate(text).value_or(today);
}

CalendarDate pcToday(const CliOptions& o) {
  LocalDateTime t;
  if (!o.fakePcTime.empty() && parseLocalDateTime(o.fakePcTime, t)) return t.date();
  return makeSystemClock()->now().date();
}

std::string lineTimeText(long long transactions, unsigned baud) {
  const double seconds = static_cast<double>(transactions) * transactionSeconds(baud);
  const long long minutes = std::llround(seconds / 60);
  if (minutes < 1) return "less than a minute";
  if (minutes < 120)
    return "about " + std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
  return "about " + std::to_string(std::llround(seconds / 3600)) + " hours";
}

std::optional<MissingRange> missingRange(const CommandArgs& a, bool hourly, CalendarDate today,
                                         unsigned baud, std::string& error) {
  const char* name = hourly ? "hourly" : "daily";
  MissingRange r;
  r.to = a.to.empty() ? previousDay(today) : resolveDate(a.to, today);
  r.from = a.from.empty() ? addDays(today, -7) : resolveDate(a.from, today);
  if (!a.from.empty() && !a.to.empty() && r.to < r.from) {
    error = std::string(name) + ": --to " + isoDate(r.to) + " is before --from " + isoDate(r.from);
    return std::nullopt;
  }
  if (today < r.to) {
    r.clipped = true;
    r.to = today;
  }
  if (r.to < r.from) return r;
  long long transactions = 0;
  if (hourly) {
    r.periods = daysBetween(r.from, r.to) + 1;
    transactions = r.periods * kHourlyTransactions;
  } else {
    for (CalendarDate m = firstOfMonth(r.from); m <= r.to; m = nextDay(lastOfMonth(m))) {
      ++r.periods;
      transactions += dailyTransactions(m);
    }
  }
  const long long bound = a.maxPeriods.value_or(hourly ? kMissingDaysBound : kMissingMonthsBound);
  if (r.periods <= bound) return r;
  error = std::string(name) + " --missing: " + std::to_string(r.periods) +
          (hourly ? " days from " + isoDate(r.from) + " to " + isoDate(r.to)
                  : " months from " + isoMonth(r.from) + " to " + isoMonth(r.to)) +
          ", " + lineTimeText(transactions, baud) + " on the line at " + std::to_string(baud) +
          " baud; give " + (hourly ? "--max-days " : "--max-months ") + std::to_string(r.periods) +
          " to read them";
  return std::nullopt;
}

}  // namespace vardis::cli
