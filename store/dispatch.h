// What a dispatcher asks the store the morning after a round: the rounds and
// their nodes, the intervals with abnormal situations, and what each meter
// used, period by period. Every query is bounded (a row cap or a range), so
// no question reads the whole store.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archives/archive_data.h"
#include "store/history.h"
#include "store/reading_store.h"
#include "store/sqlite_db.h"

namespace vardis::store {

// --- The rounds ------------------------------------------------------------

struct RoundListRow {
  std::int64_t id = 0;
  std::string started;
  std::string ended;
  std::string ports;     // the modems, "/dev/ttyUSB0 /dev/ttyUSB1"
  std::string commands;  // "values hourly --missing daily --missing monthly"
  int nodesRead = 0;
  int nodesFailed = 0;
  double connectedSeconds = 0;
};

// The latest rounds, newest first, at most `limit`.
std::vector<RoundListRow> rounds(Database& db, int limit);
// One round, or nothing when the store holds no round of that id.
std::optional<RoundListRow> roundById(Database& db, std::int64_t id);
// The id of the round that started last, or nothing when there is none.
std::optional<std::int64_t> lastRoundId(Database& db);
// The nodes of a round: the ones not read ("read" is the only result that
// counts as read) first, then the read ones, each group by node number.
std::vector<RoundNodeRow> roundNodes(Database& db, std::int64_t round);

// --- Which node a meter is -------------------------------------------------

struct MeterNode {
  int node = 0;
  std::string name;
  std::string phone;  // the dial text as the node file gave it ("ATD+79...")
};

// Every meter that a stored round reached, by serial number: the node of the
// latest round that reached it.
std::map<long long, MeterNode> meterNodes(Database& db);
// The serial number the latest round that reached a meter at this phone
// found there; nothing when no round reached one.
std::optional<long long> serialAtPhone(Database& db, const std::string& phone);
// The serial number the latest round found at node `node`; nothing when none.
std::optional<long long> serialAtNode(Database& db, int node);

// --- Abnormal situations ---------------------------------------------------

struct AlarmQuery {
  std::optional<long long> serial;
  std::string from;  // ISO dates, both ends included; the interval's start counts
  std::string to;
  // Only the intervals a round brought into the store: the round's meters,
  // records first stored or revised between the round's start and its end.
  std::optional<std::int64_t> round;
  int limit = 10000;  // the most rows returned (the newest)
};

struct AlarmRow {
  long long serial = 0;
  std::string kind;        // "hourly", "daily" or "monthly"
  std::string start;       // the interval's start: "2026-12-08T05:00", "2026-12-08", "2026-12"
  std::uint32_t word = 0;  // never 0
  std::string readAt;      // when the stored revision was read
};

// Every interval whose chosen revision (the latest one without a missing
// value, else the latest) holds an abnormal word other than 0, newest first
// (start descending, then serial, then kind hourly, daily, monthly). A word
// without a good reply (NULL) is no alarm.
std::vector<AlarmRow> alarms(Database& db, const AlarmQuery& q);
// The meters with at least one such interval in what round `round` brought.
int metersWithAlarms(Database& db, std::int64_t round);

// --- Consumption -----------------------------------------------------------

enum class ConsumptionBy { Day, Month };

enum class ConsumptionSource {
  Integrators,    // the difference of the integrators at the period's two ends
  DailyRecord,    // a day: its daily record
  HourlyRecords,  // a day: the sum of its 24 hourly records, all held
  MonthlyRecord,  // a month: its monthly record
  DailyRecords,   // a month: the sum of its daily records, every day held
  None,           // nothing held for the period: every value is empty
};

struct ConsumptionRow {
  long long serial = 0;
  std::string period;  // "2026-12-08" or "2026-12"
  ConsumptionSource source = ConsumptionSource::None;
  // Q1, Q2 (the heat of each system, "GJ" or "Gcal"), then M1..M4 ("t"), or
  // G1..G4 ("m3") for a volume meter; noReply where that value is not held.
  std::vector<Quantity> quantities;
};

struct ConsumptionQuery {
  std::optional<long long> serial;
  std::string from;  // ISO dates, both included; by month the months they touch
  std::string to;
  ConsumptionBy by = ConsumptionBy::Day;
};

// One row per meter (with any record or integrators) and period of the
// range, by serial then period. From the integrators where both ends are
// held with a good reply (the day before's and the day's own; by month the
// last days of the month before and of the month), else summed from the
// records (heat from W1 and W2; mass, or volume, as the mean flow times the
// interval's hours), else empty. `from` and `to` must be real ISO dates, `from`
// first, else there is no row; the caller bounds the range's length, since
// every day (or month) of it is a row of each meter.
std::vector<ConsumptionRow> consumption(Database& db, const ConsumptionQuery& q);

}  // namespace vardis::store
