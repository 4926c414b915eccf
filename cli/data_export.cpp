#include "cli/data_export.h"

#include "cli/json_export.h"
#include "cli/table.h"

namespace vardis::cli {

using nlohmann::ordered_json;

namespace {

std::string joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& p : parts) out += p;
  return out;
}

Cell optional(const std::optional<std::string>& text) {
  return text ? Cell(*text) : Cell();
}

std::vector<std::pair<std::string, Cell>> quantityCells(const std::vector<Quantity>& quantities) {
  std::vector<std::pair<std::string, Cell>> out;
  for (const auto& q : quantities) {
    out.emplace_back(q.name + "[" + q.unit + "]",
                     q.noReply ? Cell() : Cell(q.value, -1, numberKindOf(q)));
  }
  return out;
}

struct RowKeys {
  const MeterName& meter;
  const std::string& kind;

  std::vector<Cell> operator()(const char* record, Cell start, Cell label, Cell ended) const {
    return {meter.serial ? Cell(*meter.serial) : Cell(),
            meter.node ? Cell(*meter.node) : Cell(),
            meter.name,
            kind,
            record,
            std::move(start),
            std::move(label),
            std::move(ended)};
  }
};

// abnormal, abnormalWord, noReply: the word and its codes NULL when not read.
std::vector<Cell> trailing(bool withWord, std::uint32_t word, const std::vector<std::string>& codes,
                           int noReply) {
  if (!withWord) return {Cell(), Cell(), Cell(noReply)};
  return {joined(codes), Cell(static_cast<long long>(word)), Cell(noReply)};
}

void addArchiveRows(QuantityTable& t, const RowKeys& keys, const ArchiveData& d) {
  for (const auto& r : d.records) {
    t.addRow(keys("interval", r.dateTime, r.label, r.ended), quantityCells(r.quantities),
             trailing(!r.abnormalNoReply, r.abnormalWord, r.abnormalCodes, r.noReplyCount()));
  }
  // The hourly reading does not read the day's abnormal word: left NULL.
  for (const auto& r : d.dayRecord) {
    t.addRow(keys("day", r.dateTime, r.label, r.ended), quantityCells(r.quantities),
             trailing(false, 0, {}, noReplyCount(r.quantities)));
  }
  auto totals = [&](const char* record, const std::string& at, const std::vector<Quantity>& q,
                    bool ended) {
    t.addRow(keys(record, at, Cell(), ended), quantityCells(q),
             trailing(false, 0, {}, noReplyCount(q)));
  };
  if (!d.integrators.empty()) {
    totals("integrators", d.integratorsAt, d.integrators, d.integratorsEnded);
  }
  if (!d.startIntegrators.empty()) {
    totals("start", d.startIntegratorsAt, d.startIntegrators, d.startIntegratorsEnded);
  }
  if (!d.increments.empty()) {
    totals("increments", d.startIntegratorsAt + "/" + d.integratorsAt, decimalIncrements(d),
           d.integratorsEnded && d.startIntegratorsEnded);
  }
}

ordered_json jsonValue(const Quantity& q) {
  return q.noReply ? ordered_json() : cellJson(Cell(q.value, -1, numberKindOf(q)));
}

ordered_json jsonQuantities(const std::vector<Quantity>& quantities) {
  ordered_json list = ordered_json::array();
  for (const auto& q : quantities) {
    list.push_back(ordered_json{{"name", q.name}, {"unit", q.unit}, {"value", jsonValue(q)}});
  }
  return list;
}

ordered_json jsonRecord(const ArchiveRecord& r, bool withAbnormal) {
  ordered_json o{
      {"label", r.label}, {"dateTime", r.dateTime}, {"quantities", jsonQuantities(r.quantities)}};
  if (withAbnormal) {
    o["abnormalWord"] = r.abnormalNoReply ? ordered_json() : ordered_json(r.abnormalWord);
    o["abnormalCodes"] = r.abnormalNoReply ? ordered_json() : ordered_json(r.abnormalCodes);
  }
  o["noReply"] = withAbnormal ? r.noReplyCount() : noReplyCount(r.quantities);
  o["ended"] = r.ended;
  return o;
}

ordered_json jsonCurrent(const CurrentData& c) {
  return ordered_json{
      {"kind", "values"},
      {"meterClock", c.meterClock ? ordered_json(*c.meterClock) : ordered_json()},
      {"meterClockWord", c.meterClockWord},
      {"quantities", jsonQuantities(c.quantities)},
      {"abnormalWord", c.abnormalNoReply ? ordered_json() : ordered_json(c.abnormalWord)},
      {"abnormalCodes", c.abnormalNoReply ? ordered_json() : ordered_json(c.abnormalCodes)},
      {"noReply", c.noReplyCount()}};
}

ordered_json jsonArchive(const ArchiveData& d) {
  ordered_json o{
      {"kind", d.kind}, {"period", d.period}, {"volume", d.volume}, {"heatUnit", d.heatUnit}};
  ordered_json records = ordered_json::array();
  for (const auto& r : d.records) records.push_back(jsonRecord(r, true));
  o["records"] = std::move(records);
  if (!d.dayRecord.empty()) o["dayRecord"] = jsonRecord(d.dayRecord.front(), false);
  if (!d.integrators.empty()) {
    o["integrators"] = {{"at", d.integratorsAt},
                        {"ended", d.integratorsEnded},
                        {"quantities", jsonQuantities(d.integrators)}};
  }
  if (!d.startIntegrators.empty()) {
    o["startIntegrators"] = {{"at", d.startIntegratorsAt},
                             {"ended", d.startIntegratorsEnded},
                             {"quantities", jsonQuantities(d.startIntegrators)}};
  }
  if (!d.increments.empty()) {
    o["increments"] = {{"from", d.startIntegratorsAt},
                       {"to", d.integratorsAt},
                       {"quantities", jsonQuantities(decimalIncrements(d))}};
  }
  return o;
}

}  // namespace

std::string numberText(double v) {
  return meterNumberText(v, NumberKind::Double);
}

NumberKind numberKindOf(const Quantity& q) {
  const bool count = q.unit == "h" || q.unit == "t" || q.unit == "m3" ||
                     (!q.name.empty() && q.name.front() == 'Q');
  return count ? NumberKind::Double : NumberKind::Float;
}

std::vector<Quantity> decimalIncrements(const ArchiveData& d) {
  std::vector<Quantity> out = d.increments;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (i >= d.integrators.size() || i >= d.startIntegrators.size()) break;
    out[i].value = decimalDifference(d.integrators[i].value, d.startIntegrators[i].value);
  }
  return out;
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

QuantityTable recordTable() {
  return QuantityTable({"serial", "node", "name", "kind", "record", "start", "label", "ended"},
                       {"abnormal", "abnormalWord", "noReply"});
}

void addRecordRows(QuantityTable& t, const MeterName& meter, const ExportedCommand& e) {
  const RowKeys keys{meter, e.kind};
  if (e.current) {
    const CurrentData& c = *e.current;
    // The meter's clock stands in `start`; a reading is no interval.
    t.addRow(keys("values", optional(c.meterClock), Cell(), Cell()), quantityCells(c.quantities),
             trailing(!c.abnormalNoReply, c.abnormalWord, c.abnormalCodes, c.noReplyCount()));
  } else if (e.archive) {
    addArchiveRows(t, keys, *e.archive);
  }
}

std::string csvText(const ExportRun& run) {
  QuantityTable t = recordTable();
  const MeterName meter{run.serial, run.node, run.nodeName};
  for (const auto& e : run.exports) addRecordRows(t, meter, e);
  return csvTable(t.table());
}

ordered_json jsonExported(const ExportedCommand& e) {
  if (e.current) return jsonCurrent(*e.current);
  if (e.archive) return jsonArchive(*e.archive);
  return ordered_json();
}

std::string jsonText(const ExportRun& run) {
  ordered_json doc;
  doc["meter"] = {{"serial", run.serial ? ordered_json(*run.serial) : ordered_json(nullptr)},
                  {"node", run.node ? ordered_json(*run.node) : ordered_json(nullptr)},
                  {"name", run.nodeName},
                  {"address", run.address}};
  ordered_json exports = ordered_json::array();
  for (const auto& e : run.exports) {
    if (e.current || e.archive) exports.push_back(jsonExported(e));
  }
  doc["exports"] = std::move(exports);
  doc["link"] = {{"requests", run.link.requests},
                 {"errors", run.link.errors},
                 {"timeouts", run.link.timeouts},
                 {"linkFault", run.link.linkFault}};
  return doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace vardis::cli
