#include "cli/data_export.h"

#include <charconv>

#include "cli/json_export.h"

namespace vardis::cli {

using nlohmann::ordered_json;

namespace {

constexpr const char* kEol = "\r\n";

// One CSV line from fields that are quoted already where needed.
std::string csvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i != 0) line += ',';
    line += fields[i];
  }
  return line + kEol;
}

std::string joined(const std::vector<std::string>& parts, char separator) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) out += separator;
    out += parts[i];
  }
  return out;
}

// "M1[t/h]": the stable name with its unit.
std::vector<std::string> quantityColumns(const std::vector<Quantity>& quantities) {
  std::vector<std::string> out;
  for (const auto& q : quantities) out.push_back(csvField(q.name + "[" + q.unit + "]"));
  return out;
}

void appendValues(std::vector<std::string>& fields, const std::vector<Quantity>& quantities) {
  for (const auto& q : quantities) fields.push_back(q.noReply ? "" : numberText(q.value));
}

std::string csvCurrent(const CurrentData& c) {
  std::vector<std::string> head{"kind", "dateTime"};
  for (auto& h : quantityColumns(c.quantities)) head.push_back(std::move(h));
  head.push_back("abnormal");
  head.push_back("abnormalWord");
  head.push_back("noReply");
  std::vector<std::string> row{"values", csvField(c.meterClock.value_or(""))};
  appendValues(row, c.quantities);
  row.push_back(c.abnormalNoReply ? "" : csvField(joined(c.abnormalCodes, ' ')));
  row.push_back(c.abnormalNoReply ? "" : std::to_string(c.abnormalWord));
  row.push_back(std::to_string(c.noReplyCount()));
  return csvLine(head) + csvLine(row);
}

std::string csvArchive(const ArchiveData& d) {
  std::string out;
  const ArchiveRecord* first = !d.records.empty()     ? &d.records.front()
                               : !d.dayRecord.empty() ? &d.dayRecord.front()
                                                      : nullptr;
  std::vector<std::string> head{"kind", "period", "label", "dateTime"};
  if (first) {
    for (auto& h : quantityColumns(first->quantities)) head.push_back(std::move(h));
  }
  head.push_back("abnormal");
  head.push_back("abnormalWord");
  head.push_back("noReply");
  head.push_back("ended");
  out += csvLine(head);
  auto recordLine = [&](const ArchiveRecord& r, bool withAbnormal) {
    std::vector<std::string> row{csvField(d.kind), csvField(d.period), csvField(r.label),
                                 csvField(r.dateTime)};
    appendValues(row, r.quantities);
    const bool abnormal = withAbnormal && !r.abnormalNoReply;
    row.push_back(abnormal ? csvField(joined(r.abnormalCodes, ' ')) : "");
    row.push_back(abnormal ? std::to_string(r.abnormalWord) : "");
    row.push_back(std::to_string(withAbnormal ? r.noReplyCount() : noReplyCount(r.quantities)));
    row.push_back(r.ended ? "true" : "false");
    out += csvLine(row);
  };
  for (const auto& r : d.records) recordLine(r, true);
  // The hourly reading does not read the day's abnormal word: left empty.
  for (const auto& r : d.dayRecord) recordLine(r, false);

  if (d.integrators.empty()) return out;
  out += kEol;
  std::vector<std::string> totalsHead{"kind", "period", "record", "date"};
  for (auto& h : quantityColumns(d.integrators)) totalsHead.push_back(std::move(h));
  totalsHead.push_back("ended");
  out += csvLine(totalsHead);
  auto totalsLine = [&](const char* record, const std::string& date,
                        const std::vector<Quantity>& quantities, bool ended) {
    std::vector<std::string> row{csvField(d.kind), csvField(d.period), record, csvField(date)};
    appendValues(row, quantities);
    row.push_back(ended ? "true" : "false");
    out += csvLine(row);
  };
  totalsLine("integrators", d.integratorsAt, d.integrators, d.integratorsEnded);
  if (!d.startIntegrators.empty()) {
    totalsLine("start", d.startIntegratorsAt, d.startIntegrators, d.startIntegratorsEnded);
  }
  if (!d.increments.empty()) {
    totalsLine("increments", d.startIntegratorsAt + "/" + d.integratorsAt, d.increments,
               d.integratorsEnded && d.startIntegratorsEnded);
  }
  return out;
}

std::string csvMeterAndLink(const ExportRun& run) {
  const std::vector<std::string> head{"serial", "address",  "requests",
                                      "errors", "timeouts", "linkFault"};
  const std::vector<std::string> row{run.serial ? std::to_string(*run.serial) : "",
                                     std::to_string(run.address),
                                     std::to_string(run.link.requests),
                                     std::to_string(run.link.errors),
                                     std::to_string(run.link.timeouts),
                                     run.link.linkFault ? "true" : "false"};
  return csvLine(head) + csvLine(row);
}

ordered_json jsonQuantities(const std::vector<Quantity>& quantities) {
  ordered_json list = ordered_json::array();
  for (const auto& q : quantities) {
    list.push_back(ordered_json{{"name", q.name},
                                {"unit", q.unit},
                                {"value", q.noReply ? ordered_json() : ordered_json(q.value)}});
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
                       {"quantities", jsonQuantities(d.increments)}};
  }
  return o;
}

}  // namespace

std::string numberText(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
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

std::string csvTables(const std::vector<ExportedCommand>& exports) {
  std::string out;
  for (const auto& e : exports) {
    if (e.current) {
      out += csvCurrent(*e.current);
    } else if (e.archive) {
      out += csvArchive(*e.archive);
    } else {
      continue;
    }
    out += kEol;
  }
  return out;
}

std::string csvText(const ExportRun& run) {
  return csvTables(run.exports) + csvMeterAndLink(run);
}

ordered_json jsonExported(const ExportedCommand& e) {
  if (e.current) return jsonCurrent(*e.current);
  if (e.archive) return jsonArchive(*e.archive);
  return ordered_json();
}

std::string jsonText(const ExportRun& run) {
  ordered_json doc;
  doc["meter"] = {{"serial", run.serial ? ordered_json(*run.serial) : ordered_json(nullptr)},
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
