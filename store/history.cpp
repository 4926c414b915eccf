#include "store/history.h"

#include <charconv>
#include <map>
#include <system_error>

#include "store/record_writer.h"

namespace vardis::store {

namespace {

// Text bounds of a range on a start column: "~" sorts after every character
// an ISO date-time uses, so "2026-12-07~" takes every hour of that day.
std::string lowerBound(const HistoryRange& r, std::size_t width) {
  return r.from.empty() ? std::string() : r.from.substr(0, width);
}
std::string upperBound(const HistoryRange& r, std::size_t width) {
  return r.to.empty() ? std::string("~") : r.to.substr(0, width) + "~";
}

std::optional<std::string> optionalText(const Statement& q, int column) {
  if (q.isNull(column)) return std::nullopt;
  return q.text(column);
}

std::optional<long long> optionalInteger(const Statement& q, int column) {
  if (q.isNull(column)) return std::nullopt;
  return q.integer(column);
}

// "serial = ? OR ? IS NULL": every meter without --serial.
void bindSerial(Statement& q, int index, const HistoryRange& r) {
  if (r.serial) {
    q.bind(index, static_cast<std::int64_t>(*r.serial));
  } else {
    q.bindNull(index);
  }
}

VisitRow visitRow(const Statement& q, int c) {
  VisitRow v;
  v.id = q.integer(c);
  v.serial = optionalInteger(q, c + 1);
  v.started = q.text(c + 2);
  v.ended = q.text(c + 3);
  v.port = q.text(c + 4);
  v.speed = static_cast<int>(q.integer(c + 5));
  v.gsm = q.integer(c + 6) != 0;
  v.requests = optionalInteger(q, c + 7);
  v.errors = optionalInteger(q, c + 8);
  v.timeouts = optionalInteger(q, c + 9);
  v.linkFault = q.integer(c + 10) != 0;
  v.outcome = q.text(c + 11);
  return v;
}

constexpr const char* kVisitColumns =
    "v.id, m.serial, v.started, v.ended, v.port, v.speed, v.gsm, v.requests, v.errors, "
    "v.timeouts, v.link_fault, v.outcome";

}  // namespace

std::vector<MeterRow> meters(Database& db) {
  const std::string sql = std::string("SELECT m.serial, m.address, m.heat_unit, m.volume, ") +
                          "m.first_seen, m.last_seen, m.format_table, " + kVisitColumns +
                          " FROM meters m LEFT JOIN visits v ON v.id = (SELECT max(id) FROM "
                          "visits WHERE meter_id = m.id) ORDER BY m.serial";
  Statement q(db, sql.c_str());
  std::vector<MeterRow> out;
  while (q.step()) {
    MeterRow m;
    m.serial = q.integer(0);
    m.address = static_cast<int>(q.integer(1));
    m.heatUnit = q.text(2);
    m.volume = q.integer(3) != 0;
    m.firstSeen = q.text(4);
    m.lastSeen = q.text(5);
    m.formatTable = q.text(6);
    if (!q.isNull(7)) m.lastVisit = visitRow(q, 7);
    out.push_back(std::move(m));
  }
  return out;
}

FormatTable formatTableOf(const std::string& text) {
  FormatTable table;
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  // One number and the character after it, which must be `next` ('\0': the end).
  auto field = [&](int& value, char next) {
    const auto [ptr, ec] = std::from_chars(at, end, value);
    if (ec != std::errc() || ptr == at || value < 0) return false;
    at = ptr;
    if (next == '\0') return at == end;
    if (at == end || *at != next) return false;
    ++at;
    return true;
  };
  for (std::size_t slot = 0; slot < table.slot.size(); ++slot) {
    const bool last = slot + 1 == table.slot.size();
    if (!field(table.slot[slot].width, '.') ||
        !field(table.slot[slot].decimals, last ? '\0' : ',')) {
      return {};
    }
  }
  return table;
}

std::vector<VisitRow> visits(Database& db, const HistoryRange& r) {
  const std::string sql = std::string("SELECT ") + kVisitColumns +
                          " FROM visits v LEFT JOIN meters m ON m.id = v.meter_id "
                          "WHERE (m.serial = ?1 OR ?1 IS NULL) AND v.started >= ?2 AND "
                          "v.started < ?3 ORDER BY v.id";
  Statement q(db, sql.c_str());
  bindSerial(q, 1, r);
  q.bind(2, lowerBound(r, 10)).bind(3, upperBound(r, 10));
  std::vector<VisitRow> out;
  while (q.step()) out.push_back(visitRow(q, 0));
  return out;
}

std::vector<CurrentRow> currentValues(Database& db, const HistoryRange& r) {
  const ReadTransaction snapshot(db);
  Statement q(db,
              "SELECT c.id, m.serial, c.read_at, c.meter_clock, c.meter_clock_word, "
              "c.abnormal_word FROM current_readings c JOIN meters m ON m.id = c.meter_id "
              "WHERE c.meter_id IN (SELECT id FROM meters WHERE serial = ?1 OR ?1 IS NULL) AND c.read_at >= ?2 AND c.read_at < ?3 "
              "ORDER BY m.serial, c.id");
  bindSerial(q, 1, r);
  q.bind(2, lowerBound(r, 10)).bind(3, upperBound(r, 10));
  Statement values(db,
                   "SELECT name, unit, value FROM current_values WHERE reading_id=?1 "
                   "ORDER BY position");
  std::vector<CurrentRow> out;
  while (q.step()) {
    CurrentRow row{q.integer(1), q.text(2), {}};
    row.data.quantities = storedQuantities(values, q.integer(0));
    row.data.meterClock = optionalText(q, 3);
    row.data.meterClockWord = static_cast<std::uint32_t>(q.integer(4));
    row.data.abnormalNoReply = q.isNull(5);
    if (!row.data.abnormalNoReply) {
      row.data.abnormalWord = static_cast<std::uint32_t>(q.integer(5));
      row.data.abnormalCodes = abnormalCodeList(row.data.abnormalWord);
    }
    out.push_back(std::move(row));
  }
  return out;
}

std::vector<ParameterRow> parameterSets(Database& db, const HistoryRange& r) {
  const ReadTransaction snapshot(db);
  Statement q(db,
              "SELECT p.id, m.serial, p.read_at FROM parameter_sets p JOIN meters m ON "
              "m.id = p.meter_id WHERE p.meter_id IN (SELECT id FROM meters WHERE serial = ?1 OR ?1 IS NULL) AND p.read_at >= ?2 AND "
              "p.read_at < ?3 ORDER BY m.serial, p.id");
  bindSerial(q, 1, r);
  q.bind(2, lowerBound(r, 10)).bind(3, upperBound(r, 10));
  Statement values(db, "SELECT name, value FROM parameter_values WHERE set_id=?1 ORDER BY idx");
  std::vector<ParameterRow> out;
  while (q.step()) {
    ParameterRow row{q.integer(1), q.text(2), {}, {}};
    values.bind(1, q.integer(0));
    while (values.step()) {
      row.names.push_back(values.text(0));
      row.values.push_back(values.optionalReal(1));
    }
    values.reset();
    out.push_back(std::move(row));
  }
  return out;
}

std::vector<ClockRow> clockEvents(Database& db, const HistoryRange& r) {
  Statement q(
      db,
      "SELECT m.serial, c.read_at, c.event, c.meter_time, c.pc_time_sent, "
      "c.meter_time_before, c.acknowledged FROM clock_events c JOIN meters m ON m.id = c.meter_id "
      "WHERE c.meter_id IN (SELECT id FROM meters WHERE serial = ?1 OR ?1 IS NULL) AND c.read_at >= ?2 AND c.read_at < ?3 "
      "ORDER BY m.serial, c.id");
  bindSerial(q, 1, r);
  q.bind(2, lowerBound(r, 10)).bind(3, upperBound(r, 10));
  std::vector<ClockRow> out;
  while (q.step()) {
    out.push_back({q.integer(0), q.text(1), q.text(2), optionalText(q, 3), optionalText(q, 4),
                   q.integer(6) != 0, optionalText(q, 5)});
  }
  return out;
}

}  // namespace vardis::store
