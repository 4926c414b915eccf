// What each meter used, period by period: the difference of the integrators
// at a period's two ends where the store holds both, else the sum of the
// period's records. The caller bounds the range: every day (or month) of it
// is a row of each meter.
#include <map>
#include <tuple>

#include "format/calendar.h"
#include "format/decimal_text.h"
#include "store/dispatch.h"

namespace vardis::store {

namespace {

// The values of one record's chosen revision, by name.
using Named = std::map<std::string, Quantity>;

struct MeterData {
  bool volume = false;
  std::string heatUnit;
  bool inRange = false;                              // holds data of the range itself
  std::map<std::string, Named> integrators;          // by the date whose end they are
  std::map<std::string, Named> daily;                // by day
  std::map<std::string, Named> monthly;              // by month
  std::map<std::string, std::vector<Named>> hourly;  // by day: its hours
};

using Meters = std::map<long long, MeterData>;

struct Span {
  CalendarDate from;
  CalendarDate to;
  ConsumptionBy by = ConsumptionBy::Day;
};

// Only the values a consumption is made of are read.
constexpr const char* kNeeded =
    " AND v.name IN ('W1', 'W2', 'Q1', 'Q2', 'M1', 'M2', 'M3', 'M4', 'G1', 'G2', 'G3', 'G4')";
constexpr const char* kJoins =
    " FROM records r JOIN meters m ON m.id = r.meter_id JOIN record_values v ON "
    "v.record_id = r.id WHERE r.meter_id IN (SELECT id FROM meters WHERE serial = ?1 OR ?1 IS NULL)";
// The chosen revision of each (meter, kind, start) comes first: the latest
// without a missing value, else the latest.
constexpr const char* kChosenFirst =
    " ORDER BY m.serial, r.kind, r.start, CASE WHEN r.missing = 0 THEN 0 ELSE 1 END, "
    "r.revision DESC, v.position";

void bindSerial(Statement& q, const std::optional<long long>& serial) {
  if (serial) {
    q.bind(1, static_cast<std::int64_t>(*serial));
  } else {
    q.bindNull(1);
  }
}

Meters readMeters(Database& db, const std::optional<long long>& serial) {
  Statement q(db, "SELECT serial, heat_unit, volume FROM meters WHERE (serial = ?1 OR ?1 IS NULL)");
  bindSerial(q, serial);
  Meters out;
  while (q.step()) {
    MeterData& m = out[q.integer(0)];
    m.heatUnit = q.text(1);
    m.volume = q.integer(2) != 0;
  }
  return out;
}

// Files the chosen revision of each record the statement gives (columns id,
// serial, kind, start, name, unit, value) into its meter's data.
void fileChosen(Statement& q, Meters& meters, const std::string& rangeStart) {
  std::tuple<long long, std::string, std::string> key;
  std::int64_t chosen = -1;
  Named values;
  auto flush = [&] {
    if (chosen < 0) return;
    const auto& [serial, kind, start] = key;
    const auto it = meters.find(serial);
    if (it == meters.end()) return;
    MeterData& m = it->second;
    if (kind == "integrators") {
      m.integrators[start] = std::move(values);
      m.inRange = m.inRange || start >= rangeStart;
    } else {
      if (kind == "daily") m.daily[start] = std::move(values);
      if (kind == "monthly") m.monthly[start] = std::move(values);
      if (kind == "hourly") m.hourly[start.substr(0, 10)].push_back(std::move(values));
      m.inRange = true;
    }
    values.clear();
  };
  while (q.step()) {
    auto rowKey = std::make_tuple(q.integer(1), q.text(2), q.text(3));
    if (chosen < 0 || rowKey != key) {
      flush();
      key = std::move(rowKey);
      chosen = q.integer(0);
    }
    if (q.integer(0) != chosen) continue;  // an older or a worse revision
    const std::optional<double> v = q.optionalReal(6);
    values[q.text(4)] = {q.text(4), q.text(5), v.value_or(0), !v};
  }
  flush();
}

// The integrators at the ends of the span's periods: by day from the day
// before the first, by month the last days of the months (and of the one
// before the first).
void readIntegrators(Database& db, const ConsumptionQuery& cq, const Span& s, Meters& meters) {
  const bool byDay = s.by == ConsumptionBy::Day;
  std::string sql = std::string("SELECT r.id, m.serial, r.kind, r.start, v.name, v.unit, v.value") +
                    kJoins + " AND r.kind = 'integrators' AND r.start >= ?2 AND r.start <= ?3" +
                    kNeeded;
  if (!byDay) sql += " AND substr(r.start, 9, 2) >= '28'";  // every month's last day
  sql += kChosenFirst;
  Statement q(db, sql.c_str());
  bindSerial(q, cq.serial);
  const CalendarDate first = byDay ? s.from : firstOfMonth(s.from);
  q.bind(2, isoDate(previousDay(first)));
  q.bind(3, isoDate(byDay ? s.to : lastOfMonth(s.to)));
  fileChosen(q, meters, isoDate(first));
}

// By day the hourly and daily records of the span's days, by month its
// daily and monthly records.
void readRecords(Database& db, const ConsumptionQuery& cq, const Span& s, Meters& meters) {
  const bool byDay = s.by == ConsumptionBy::Day;
  const std::string sql =
      std::string("SELECT r.id, m.serial, r.kind, r.start, v.name, v.unit, v.value") + kJoins +
      " AND r.kind IN (?2, 'daily') AND r.start >= ?3 AND r.start < ?4" + kNeeded + kChosenFirst;
  Statement q(db, sql.c_str());
  bindSerial(q, cq.serial);
  q.bind(2, byDay ? "hourly" : "monthly");
  // "~" sorts after every character of a start, so "2026-12~" takes the month's days.
  q.bind(3, byDay ? isoDate(s.from) : isoMonth(s.from));
  q.bind(4, (byDay ? isoDate(s.to) : isoMonth(s.to)) + "~");
  fileChosen(q, meters, "");
}

// Q1, Q2, then M1..M4 or G1..G4.
std::vector<std::string> names(const MeterData& m) {
  std::vector<std::string> out{"Q1", "Q2"};
  for (int k = 1; k <= 4; ++k) out.push_back((m.volume ? "G" : "M") + std::to_string(k));
  return out;
}

std::string unitOf(const MeterData& m, const std::string& name) {
  if (name[0] == 'Q') return m.heatUnit;
  return m.volume ? "m3" : "t";
}

std::vector<Quantity> noneHeld(const MeterData& m) {
  std::vector<Quantity> out;
  for (const auto& name : names(m)) out.push_back({name, unitOf(m, name), 0, true});
  return out;
}

const Quantity* good(const Named& values, const std::string& name) {
  const auto it = values.find(name);
  return it == values.end() || it->second.noReply ? nullptr : &it->second;
}

std::vector<Quantity> difference(const MeterData& m, const Named& end, const Named& start) {
  std::vector<Quantity> out = noneHeld(m);
  for (Quantity& q : out) {
    const Quantity* e = good(end, q.name);
    const Quantity* s = good(start, q.name);
    if (!e || !s) continue;
    q.value = decimalDifference(e->value, s->value);
    q.unit = e->unit;
    q.noReply = false;
  }
  return out;
}

// The sum over records of `hours` each: heat from W1 and W2, mass (or
// volume) as the mean flow times the hours. A value without a good reply in
// any record leaves that quantity empty.
std::vector<Quantity> summed(const MeterData& m, const std::vector<const Named*>& records,
                             double hours) {
  std::vector<Quantity> out = noneHeld(m);
  for (Quantity& q : out) {
    const bool heat = q.name[0] == 'Q';
    const std::string from = heat ? std::string("W") + q.name[1] : q.name;
    std::vector<double> floats;
    bool all = true;
    for (const Named* r : records) {
      const Quantity* v = good(*r, from);
      if (!v) {
        all = false;
        break;
      }
      floats.push_back(v->value);
      if (heat) q.unit = v->unit;
    }
    // On the meter's decimal values, so that the sum carries no binary tail.
    q.value = all ? decimalFloatSum(floats, heat ? 1 : hours) : 0;
    q.noReply = !all;
  }
  return out;
}

const Named* heldAt(const std::map<std::string, Named>& held, const std::string& key) {
  const auto it = held.find(key);
  return it == held.end() ? nullptr : &it->second;
}

ConsumptionRow dayRow(long long serial, const MeterData& m, const CalendarDate& day) {
  ConsumptionRow row{serial, isoDate(day), ConsumptionSource::None, noneHeld(m)};
  const Named* end = heldAt(m.integrators, row.period);
  const Named* start = heldAt(m.integrators, isoDate(previousDay(day)));
  if (end && start) {
    row.source = ConsumptionSource::Integrators;
    row.quantities = difference(m, *end, *start);
  } else if (const Named* daily = heldAt(m.daily, row.period)) {
    row.source = ConsumptionSource::DailyRecord;
    row.quantities = summed(m, {daily}, 24);
  } else if (const auto hours = m.hourly.find(row.period);
             hours != m.hourly.end() && hours->second.size() == 24) {
    std::vector<const Named*> records;
    for (const Named& h : hours->second) records.push_back(&h);
    row.source = ConsumptionSource::HourlyRecords;
    row.quantities = summed(m, records, 1);
  }
  return row;
}

ConsumptionRow monthRow(long long serial, const MeterData& m, const CalendarDate& first) {
  ConsumptionRow row{serial, isoMonth(first), ConsumptionSource::None, noneHeld(m)};
  const int days = daysInMonth(first.year, first.month);
  const Named* end = heldAt(m.integrators, isoDate(lastOfMonth(first)));
  const Named* start = heldAt(m.integrators, isoDate(previousDay(first)));
  std::vector<const Named*> dailies;
  for (auto it = m.daily.lower_bound(row.period + "-");
       it != m.daily.end() && it->first.compare(0, 7, row.period) == 0; ++it) {
    dailies.push_back(&it->second);
  }
  if (end && start) {
    row.source = ConsumptionSource::Integrators;
    row.quantities = difference(m, *end, *start);
  } else if (const Named* monthly = heldAt(m.monthly, row.period)) {
    row.source = ConsumptionSource::MonthlyRecord;
    row.quantities = summed(m, {monthly}, 24.0 * days);
  } else if (static_cast<int>(dailies.size()) == days) {
    row.source = ConsumptionSource::DailyRecords;
    row.quantities = summed(m, dailies, 24);
  }
  return row;
}

}  // namespace

std::vector<ConsumptionRow> consumption(Database& db, const ConsumptionQuery& q) {
  const auto from = parseIsoDate(q.from);
  const auto to = parseIsoDate(q.to);
  std::vector<ConsumptionRow> out;
  if (!from || !to || *to < *from) return out;
  const Span span{*from, *to, q.by};
  const ReadTransaction snapshot(db);
  Meters meters = readMeters(db, q.serial);
  readIntegrators(db, q, span, meters);
  readRecords(db, q, span, meters);
  for (const auto& [serial, m] : meters) {
    if (!q.serial && !m.inRange) continue;
    if (q.by == ConsumptionBy::Day) {
      for (CalendarDate d = *from; d <= *to; d = nextDay(d)) out.push_back(dayRow(serial, m, d));
    } else {
      for (CalendarDate d = firstOfMonth(*from); d <= *to; d = nextDay(lastOfMonth(d))) {
        out.push_back(monthRow(serial, m, d));
      }
    }
  }
  return out;
}

}  // namespace vardis::store
