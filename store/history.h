// What the store holds, read back without the meter: the known meters and
// their visits, archive records (the latest good revision of each), current
// values, parameter sets and clock events of a meter and a date range.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archives/archive_data.h"
#include "params/format_table.h"
#include "store/sqlite_db.h"

namespace vardis::store {

// Which meters and dates a query covers; dates are ISO "YYYY-MM-DD", both
// ends included, empty for no bound.
struct HistoryRange {
  std::optional<long long> serial;
  std::string from;
  std::string to;
};

struct VisitRow {
  std::int64_t id = 0;
  std::optional<long long> serial;  // nothing when no meter was identified
  std::string started;
  std::string ended;  // empty while running or when the program was killed
  std::string port;
  int speed = 0;
  bool gsm = false;
  std::optional<long long> requests, errors, timeouts;
  bool linkFault = false;
  std::string outcome;
};

struct MeterRow {
  long long serial = 0;
  int address = 0;
  std::string heatUnit;
  bool volume = false;
  std::string formatTable;  // "width.decimals,..." of the 20 display slots
  std::string firstSeen;
  std::string lastSeen;
  std::optional<VisitRow> lastVisit;
};

// The archive of one meter: one ArchiveData per period as a reading of that
// period would give it (hourly: per day; daily and monthly: per month), each
// record the latest revision without a missing value, else the latest.
struct MeterArchive {
  long long serial = 0;
  std::vector<ArchiveData> periods;
};

struct CurrentRow {
  long long serial = 0;
  std::string readAt;
  CurrentData data;
};

struct ParameterRow {
  long long serial = 0;
  std::string readAt;
  std::vector<std::optional<double>> values;  // by index; nothing without a good reply
  std::vector<std::string> names;
};

struct ClockRow {
  long long serial = 0;
  std::string readAt;
  std::string event;  // "read" or "set"
  std::optional<std::string> meterTime;
  std::optional<std::string> pcTimeSent;
  bool acknowledged = false;  // "set": the meter acknowledged it
  std::optional<std::string> meterTimeBefore;
};

std::vector<MeterRow> meters(Database& db);
// The table of a meter's stored format text ("width.decimals" of each of the
// 20 slots, separated by commas); a text that is not one gives all zeros.
FormatTable formatTableOf(const std::string& text);
std::vector<VisitRow> visits(Database& db, const HistoryRange& range);
// kind: "hourly", "daily" or "monthly".
std::vector<MeterArchive> archive(Database& db, const std::string& kind, const HistoryRange& range);
std::vector<CurrentRow> currentValues(Database& db, const HistoryRange& range);
std::vector<ParameterRow> parameterSets(Database& db, const HistoryRange& range);
std::vector<ClockRow> clockEvents(Database& db, const HistoryRange& range);

}  // namespace vardis::store
