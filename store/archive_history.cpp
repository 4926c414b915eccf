// The archive part of the history: records back into the shape a reading of
// each period gives, so the exports and the chart take them as they are.
#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>
#include <unordered_map>

#include "format/calendar.h"
#include "store/history.h"
#include "store/record_writer.h"

namespace vardis::store {

namespace {

struct Head {
  std::int64_t id = 0;
  long long serial = 0;
  std::string kind;
  std::string start;
  std::string label;
  std::optional<std::uint32_t> abnormal;
  bool volume = false;
  std::string heatUnit;
};

// The records of a kind (with the hourly reading's day records and
// integrators) of the range: the joins and conditions, and their parameters.
constexpr const char* kRecords = " FROM records r JOIN meters m ON m.id = r.meter_id";
constexpr const char* kInRange =
    " WHERE r.meter_id IN (SELECT id FROM meters WHERE serial = ?1 OR ?1 IS NULL) "
    "AND r.kind IN (?2, ?3, ?4) "
    "AND r.start >= ?5 AND r.start < ?6 ";

void bindRange(Statement& q, const std::string& kind, const HistoryRange& r) {
  if (r.serial) {
    q.bind(1, static_cast<std::int64_t>(*r.serial));
  } else {
    q.bindNull(1);
  }
  const bool hourly = kind == "hourly";
  q.bind(2, kind).bind(3, hourly ? "hourly-day" : kind).bind(4, hourly ? "integrators" : kind);
  const std::size_t width = kind == "monthly" ? 7 : 10;
  q.bind(5, r.from.substr(0, std::min(width, r.from.size())));
  q.bind(6, r.to.empty() ? std::string("~") : r.to.substr(0, width) + "~");
}

// The latest revision of each (meter, kind, start), the ones without a
// missing value first.
std::vector<Head> chosenHeads(Database& db, const std::string& kind, const HistoryRange& r) {
  const std::string sql = std::string("SELECT r.id, m.serial, r.kind, r.start, r.label, ") +
                          "r.abnormal_word, m.volume, m.heat_unit" + kRecords + kInRange +
                          "ORDER BY m.serial, r.start, r.kind, (r.missing = 0) DESC, "
                          "r.revision DESC";
  Statement q(db, sql.c_str());
  bindRange(q, kind, r);
  std::vector<Head> out;
  while (q.step()) {
    Head h{q.integer(0), q.integer(1), q.text(2),         q.text(3),
           q.text(4),    std::nullopt, q.integer(6) != 0, q.text(7)};
    if (!q.isNull(5)) h.abnormal = static_cast<std::uint32_t>(q.integer(5));
    if (!out.empty() && std::tie(out.back().serial, out.back().kind, out.back().start) ==
                            std::tie(h.serial, h.kind, h.start)) {
      continue;  // an older or a worse revision
    }
    out.push_back(std::move(h));
  }
  return out;
}

// The values of every record of the range in one query, by record.
std::unordered_map<std::int64_t, std::vector<Quantity>> rangeValues(Database& db,
                                                                    const std::string& kind,
                                                                    const HistoryRange& r) {
  const std::string sql = std::string("SELECT r.id, v.name, v.unit, v.value") + kRecords +
                          " JOIN record_values v ON v.record_id = r.id" + kInRange +
                          "ORDER BY r.id, v.position";
  Statement q(db, sql.c_str());
  bindRange(q, kind, r);
  std::unordered_map<std::int64_t, std::vector<Quantity>> out;
  while (q.step()) {
    const std::optional<double> v = q.optionalReal(3);
    out[q.integer(0)].push_back({q.text(1), q.text(2), v.value_or(0), !v});
  }
  return out;
}

ArchiveRecord recordOf(const Head& h, std::vector<Quantity> quantities) {
  ArchiveRecord rec{h.label, h.start, std::move(quantities), 0, {}, !h.abnormal};
  if (h.abnormal) {
    rec.abnormalWord = *h.abnormal;
    rec.abnormalCodes = abnormalCodeList(*h.abnormal);
  }
  return rec;
}

// The latest good integrators of a meter dated within [from, to).
std::optional<std::pair<std::string, std::vector<Quantity>>> integratorsBetween(
    Database& db, long long serial, const std::string& from, const std::string& to) {
  Statement q(db,
              "SELECT r.id, r.start FROM records r JOIN meters m ON m.id = r.meter_id "
              "WHERE m.serial = ?1 AND r.kind = 'integrators' AND r.start >= ?2 AND "
              "r.start < ?3 ORDER BY r.start DESC, (r.missing = 0) DESC, r.revision DESC LIMIT 1");
  q.bind(1, static_cast<std::int64_t>(serial)).bind(2, from).bind(3, to);
  if (!q.step()) return std::nullopt;
  Statement values(db,
                   "SELECT name, unit, value FROM record_values WHERE record_id=?1 "
                   "ORDER BY position");
  return std::make_pair(q.text(1), storedQuantities(values, q.integer(0)));
}

std::string previousMonth(const std::string& period) {
  const int y = std::stoi(period.substr(0, 4));
  const int m = std::stoi(period.substr(5, 2));
  return isoMonth(previousDay(CalendarDate{y, m, 1}));
}

// The daily reading's end and start values: the last integrators of the
// month, and those of the last day of the month before.
void addDailyIntegrators(Database& db, long long serial, ArchiveData& d) {
  const auto end = integratorsBetween(db, serial, d.period + "-", d.period + "~");
  const std::string before = previousMonth(d.period);
  const auto start = integratorsBetween(db, serial, before + "-", before + "~");
  if (!end || !start) return;
  d.integratorsAt = end->first;
  d.integrators = end->second;
  d.startIntegratorsAt = start->first;
  d.startIntegrators = start->second;
  for (std::size_t i = 0; i < d.integrators.size() && i < d.startIntegrators.size(); ++i) {
    Quantity inc = d.integrators[i];
    inc.value -= d.startIntegrators[i].value;
    inc.noReply = inc.noReply || d.startIntegrators[i].noReply;
    d.increments.push_back(inc);
  }
}

}  // namespace

std::vector<MeterArchive> archive(Database& db, const std::string& kind, const HistoryRange& r) {
  const ReadTransaction snapshot(db);
  auto values = rangeValues(db, kind, r);
  std::map<long long, std::map<std::string, ArchiveData>> byMeter;
  for (const Head& h : chosenHeads(db, kind, r)) {
    const std::string period = h.start.substr(0, kind == "hourly" ? 10 : 7);
    ArchiveData& d = byMeter[h.serial][period];
    if (d.kind.empty()) {
      d.kind = kind;
      d.period = period;
      d.volume = h.volume;
      d.heatUnit = h.heatUnit;
    }
    std::vector<Quantity> q = std::move(values[h.id]);
    if (h.kind == "integrators") {
      d.integrators = std::move(q);
      d.integratorsAt = h.start;
    } else if (h.kind == "hourly-day") {
      d.dayRecord.push_back(recordOf(h, std::move(q)));
    } else {
      d.records.push_back(recordOf(h, std::move(q)));
    }
  }
  std::vector<MeterArchive> out;
  for (auto& [serial, periods] : byMeter) {
    MeterArchive m{serial, {}};
    for (auto& [period, d] : periods) {
      // Integrators alone are no reading of the period.
      if (d.records.empty() && d.dayRecord.empty()) continue;
      if (kind == "daily") addDailyIntegrators(db, serial, d);
      m.periods.push_back(std::move(d));
    }
    if (!m.periods.empty()) out.push_back(std::move(m));
  }
  return out;
}

}  // namespace vardis::store
