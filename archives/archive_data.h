// The rows of the last archive reading and the current values as named
// quantities with units, full precision: for charts and data exports beside
// the fixed-width reports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vardis {

class Session;

struct Quantity {
  std::string
      name;  // stable: "M1".."M4" or "G1".."G4", "T1".., "P1".., "W1", "W2", "B1", "B2", "Tc", ...
  std::string unit;  // "t/h", "m3/h", "degC", "MPa", "GJ", "Gcal", "h", ...
  double value = 0;
  bool noReply = false;  // no good reply: the value is not the meter's and is never shown
};

struct ArchiveRecord {
  std::string label;     // as in the report: "05", "Сут", "25"
  std::string dateTime;  // ISO 8601 of the interval's start: "2011-04-08T05:00"
  std::vector<Quantity> quantities;
  std::uint32_t abnormalWord = 0;
  std::vector<std::string> abnormalCodes;  // e.g. "T1<", "G1o"
  bool abnormalNoReply = false;            // the abnormal word had no good reply
  // The interval was over when it was read; the meter's answers for one still
  // running (or not begun) are kept in the report but are no reading.
  bool ended = true;
  // Values of the record without a good reply, the abnormal word included.
  int noReplyCount() const;
};

struct ArchiveData {
  std::string kind;                    // "hourly", "daily", "monthly"; empty when nothing was read
  std::string period;                  // "2011-04-08", "2011-04"
  bool volume = false;                 // volume variant: G columns in m3
  std::string heatUnit;                // "GJ" or "Gcal"
  std::vector<ArchiveRecord> records;  // hours 0..23, days 1..N, or the one monthly record
  std::vector<ArchiveRecord> dayRecord;    // hourly: the day's own record
  std::vector<Quantity> integrators;       // hourly: at the end of the day; daily: end values
  std::vector<Quantity> startIntegrators;  // daily: at the end of the month before
  std::vector<Quantity> increments;        // daily: end minus start
  std::string integratorsAt;               // ISO date of the end values
  std::string startIntegratorsAt;
  bool integratorsEnded = true;  // the day of the end values was over when read
  bool startIntegratorsEnded = true;
};

// The data of the last complete archive reading.
ArchiveData lastArchiveData(const Session& s);

// The abnormal-situation codes of a word, without their padding: "T1<", ...
std::vector<std::string> abnormalCodeList(std::uint32_t word);

struct CurrentData {
  std::vector<Quantity> quantities;
  std::uint32_t abnormalWord = 0;
  std::vector<std::string> abnormalCodes;
  bool abnormalNoReply = false;
  // ISO 8601 with seconds, as the meter reported it; nothing when the meter's
  // clock is not a possible date and time (month 13, 25:99, ...).
  std::optional<std::string> meterClock;
  std::uint32_t meterClockWord = 0;  // the packed date-time as it came
  bool meterClockNoReply = false;    // the clock reading had no good reply
  int noReplyCount() const;
};

// Quantities without a good reply.
int noReplyCount(const std::vector<Quantity>& quantities);

// The current values as last read.
CurrentData currentData(const Session& s);

}  // namespace vardis
