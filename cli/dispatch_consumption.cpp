// vardis-cli consumption: what each meter used, day by day or month by
// month, and where the store's answer comes from.
#include <map>

#include "cli/dates.h"
#include "cli/dispatch_parts.h"
#include "store/dispatch.h"
#include "store/history.h"

namespace vardis::cli {

namespace {

using nlohmann::ordered_json;

// The longest ranges one question covers: every period is a row of each meter.
constexpr long long kMostDays = 366;
constexpr int kMostMonths = 120;
// Without --from, by month: this many months up to the month of --to.
constexpr int kDefaultMonths = 12;

std::string sourceText(store::ConsumptionSource s) {
  switch (s) {
    case store::ConsumptionSource::Integrators:
      return "integrators";
    case store::ConsumptionSource::DailyRecord:
      return "daily record";
    case store::ConsumptionSource::HourlyRecords:
      return "hourly records";
    case store::ConsumptionSource::MonthlyRecord:
      return "monthly record";
    case store::ConsumptionSource::DailyRecords:
      return "daily records";
    case store::ConsumptionSource::None:
      break;
  }
  return "";
}

// The decimals a terminal shows a quantity with, as the reports round the
// integrators: Q1 and Q2 by slots 16 and 17, M1..M4 (G1..G4) by slots 12..15.
// A meter the store does not describe shows its values in full.
int shownDecimals(const FormatTable* f, const std::string& name) {
  if (!f || name.size() != 2 || name[1] < '1' || name[1] > '4') return -1;
  const int k = name[1] - '0';
  if (name[0] == 'Q' && k <= 2) return f->slot[static_cast<std::size_t>(15 + k)].decimals;
  if (name[0] == 'M' || name[0] == 'G') return f->slot[static_cast<std::size_t>(11 + k)].decimals;
  return -1;
}

Table consumptionTable(const DispatchRun& r, const std::vector<store::ConsumptionRow>& rows) {
  Table t{{"serial", "node", "name", "period", "source"}, {}, 5};
  // The quantity columns: every NAME[UNIT] of the rows, in the order first met.
  std::map<std::string, std::size_t> column;
  for (const auto& row : rows) {
    for (const auto& q : row.quantities) {
      const std::string head = q.name + "[" + q.unit + "]";
      if (column.emplace(head, t.header.size()).second) t.header.push_back(head);
    }
  }
  std::map<long long, FormatTable> formats;
  for (const auto& m : store::meters(r.db)) formats[m.serial] = store::formatTableOf(m.formatTable);
  const bool terminal = onTerminal(r);
  for (const auto& c : rows) {
    std::vector<Cell> row{c.serial};
    addNodeCells(r, c.serial, row);
    const std::string source = sourceText(c.source);
    row.insert(row.end(), {c.period, terminal ? textOrNull(source) : Cell(source)});
    row.resize(t.header.size());  // a quantity this meter does not have stays NULL
    const auto f = formats.find(c.serial);
    for (const auto& q : c.quantities) {
      if (q.noReply) continue;
      const int decimals = shownDecimals(f == formats.end() ? nullptr : &f->second, q.name);
      row[column.at(q.name + "[" + q.unit + "]")] =
          Cell(q.value, decimals, NumberKind::Double);  // worked out on decimals
    }
    t.rows.push_back(std::move(row));
  }
  return t;
}

// The range asked, checked against the bounds.
bool consumptionRange(const DispatchRun& r, bool byMonth, CalendarDate& from, CalendarDate& to,
                      std::string& error) {
  to = r.args.to.empty() ? r.today : resolveDate(r.args.to, r.today);
  // Without --from: the 7 days (or kDefaultMonths months) up to --to.
  from = addDays(to, -6);
  if (byMonth) {
    from = firstOfMonth(to);
    for (int k = 1; k < kDefaultMonths; ++k) from = firstOfMonth(previousDay(from));
  }
  if (!dateRange(r, "consumption", from, to, error)) return false;
  if (byMonth) {
    const int months = monthsSpanned(from, to);
    if (months <= kMostMonths) return true;
    error = "consumption --by month: " + std::to_string(months) + " months from " + isoMonth(from) +
            " to " + isoMonth(to) + "; one question covers at most " + std::to_string(kMostMonths) +
            " months";
    return false;
  }
  const long long days = daysBetween(from, to) + 1;
  if (days <= kMostDays) return true;
  error = "consumption: " + std::to_string(days) + " days from " + isoDate(from) + " to " +
          isoDate(to) + "; one question covers at most " + std::to_string(kMostDays) +
          " days (--by month: " + std::to_string(kMostMonths) + " months)";
  return false;
}

}  // namespace

bool runConsumption(DispatchRun& r, std::string& error) {
  store::ConsumptionQuery q;
  if (r.args.by != "day" && r.args.by != "month") {
    error = "consumption --by " + r.args.by + ": expected day or month";
    return false;
  }
  q.by = r.args.by == "month" ? store::ConsumptionBy::Month : store::ConsumptionBy::Day;
  if (!chosenMeter(r, q.serial, error)) return false;
  CalendarDate from, to;
  if (!consumptionRange(r, q.by == store::ConsumptionBy::Month, from, to, error)) return false;
  q.from = isoDate(from);
  q.to = isoDate(to);
  const auto rows = store::consumption(r.db, q);
  Table t = consumptionTable(r, rows);
  const std::string head =
      rows.empty() ? "no meter in the store holds data from " + q.from + " to " + q.to : "";
  const ordered_json json{{"by", r.args.by}, {"from", q.from}, {"to", q.to}, {"rows", jsonRows(t)}};
  return answer(r, std::move(t), head, json, error);
}

}  // namespace vardis::cli
