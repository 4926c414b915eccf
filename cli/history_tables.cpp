#include "cli/history_tables.h"

#include <algorithm>

#include "cli/node_names.h"
#include "params/parameter_table.h"

namespace vardis::cli {

namespace {

Cell optionalCell(const std::optional<double>& v, NumberKind kind) {
  return v ? Cell(*v, -1, kind) : Cell();
}
Cell optionalCell(const std::optional<long long>& v) {
  return v ? Cell(*v) : Cell();
}
Cell optionalCell(const std::optional<std::string>& v) {
  return v ? Cell(*v) : Cell();
}

// serial, node, name.
std::vector<Cell> meterCells(const NodeNames& names, std::optional<long long> serial) {
  const MeterName m = meterName(names, serial);
  return {optionalCell(m.serial), m.node ? Cell(*m.node) : Cell(), m.name};
}

std::vector<std::string> withMeter(std::vector<std::string> rest) {
  rest.insert(rest.begin(), {"serial", "node", "name"});
  return rest;
}

std::vector<Cell> joinedCells(std::vector<Cell> a, std::vector<Cell> b) {
  a.insert(a.end(), std::make_move_iterator(b.begin()), std::make_move_iterator(b.end()));
  return a;
}

// The channel of "M3", "density2": 0..3; -1 when the name ends in no 1..4.
int channelOf(const std::string& name) {
  if (name.empty() || name.back() < '1' || name.back() > '4') return -1;
  return name.back() - '1';
}

int slotDecimals(const FormatTable& f, int slot) {
  return f.slot[static_cast<std::size_t>(slot)].decimals;
}

}  // namespace

FormatTable formatsOf(const MeterFormats& formats, long long serial) {
  const auto it = formats.find(serial);
  if (it != formats.end()) return it->second;
  static const FormatTable unknown = computeFormatTable(ParameterTable{});
  return unknown;
}

int recordDecimals(const std::string& name, const FormatTable& f) {
  if (name == "B1" || name == "B2" || name == "Tc") return 2;
  if (name == "W1") return slotDecimals(f, 16);
  if (name == "W2") return slotDecimals(f, 17);
  const int k = channelOf(name);
  if (k < 0 || name.size() != 2) return -1;
  switch (name.front()) {
    case 'M':
    case 'G':
      return slotDecimals(f, 12 + k);
    case 'T':
      return slotDecimals(f, 4 + k);
    case 'P':
      return slotDecimals(f, 8 + k);
    default:
      return -1;
  }
}

int currentDecimals(const std::string& name, const FormatTable& f) {
  if (name == "B1" || name == "B2" || name == "Tc") return 4;
  if (name == "W1") return slotDecimals(f, 16);
  if (name == "W2") return slotDecimals(f, 17);
  if (name == "Q1") return std::max(0, slotDecimals(f, 16) - 1);
  if (name == "Q2") return std::max(0, slotDecimals(f, 17) - 1);
  const int k = channelOf(name);
  if (k < 0) return -1;
  const std::string family = name.substr(0, name.size() - 1);
  if (family == "G") return slotDecimals(f, k);
  if (family == "T") return slotDecimals(f, 4 + k);
  if (family == "P") return slotDecimals(f, 8 + k);
  if (family == "density") return 1;
  if (family == "enthalpy") return 3;
  if (family == "m") return slotDecimals(f, 12 + k);
  if (family == "M") return std::max(0, slotDecimals(f, 12 + k) - 1);
  return -1;
}

MeterName meterName(const NodeNames& names, std::optional<long long> serial) {
  if (!serial) return {};
  const NodeName n = names.of(*serial);
  return {serial, n.node, n.name};
}

Table meterTable(const std::vector<store::MeterRow>& meters, const NodeNames& names) {
  Table t{withMeter({"address", "heatUnit", "volume", "firstSeen", "lastSeen", "lastVisit",
                     "lastOutcome"}),
          {}};
  for (const auto& m : meters) {
    const bool visited = m.lastVisit.has_value();
    t.rows.push_back(joinedCells(
        meterCells(names, m.serial),
        {static_cast<long long>(m.address), m.heatUnit, m.volume, m.firstSeen, m.lastSeen,
         visited ? Cell(m.lastVisit->started) : Cell(),
         visited && !m.lastVisit->outcome.empty() ? Cell(m.lastVisit->outcome) : Cell()}));
  }
  t.keyColumns = t.header.size();
  return t;
}

Table visitTable(const std::vector<store::VisitRow>& visits, const NodeNames& names) {
  Table t{{"visit", "serial", "node", "name", "started", "ended", "port", "speed", "gsm",
           "requests", "errors", "timeouts", "linkFault", "outcome"},
          {}};
  for (const auto& v : visits) {
    t.rows.push_back(joinedCells(
        joinedCells({static_cast<long long>(v.id)}, meterCells(names, v.serial)),
        {v.started, v.ended.empty() ? Cell() : Cell(v.ended), v.port,
         static_cast<long long>(v.speed), v.gsm, optionalCell(v.requests), optionalCell(v.errors),
         optionalCell(v.timeouts), v.linkFault, v.outcome.empty() ? Cell() : Cell(v.outcome)}));
  }
  t.keyColumns = t.header.size();
  return t;
}

Table clockTable(const std::vector<store::ClockRow>& events, const NodeNames& names) {
  Table t{
      withMeter({"readAt", "event", "meterTime", "pcTimeSent", "acknowledged", "meterTimeBefore"}),
      {}};
  for (const auto& e : events) {
    const bool set = e.event == "set";
    t.rows.push_back(
        joinedCells(meterCells(names, e.serial),
                    {e.readAt, e.event, optionalCell(e.meterTime), optionalCell(e.pcTimeSent),
                     set ? Cell(e.acknowledged) : Cell(), optionalCell(e.meterTimeBefore)}));
  }
  t.keyColumns = t.header.size();
  return t;
}

Table parameterTable(const std::vector<store::ParameterRow>& sets, const NodeNames& names) {
  // "parameter" names the parameter; "name" is the node's.
  Table t{withMeter({"readAt", "index", "parameter", "value"}), {}};
  for (const auto& s : sets) {
    const std::vector<Cell> meter = meterCells(names, s.serial);
    for (std::size_t i = 0; i < s.values.size(); ++i) {
      t.rows.push_back(joinedCells(meter, {s.readAt, static_cast<long long>(i),
                                           i < s.names.size() ? s.names[i] : std::string(),
                                           optionalCell(s.values[i], NumberKind::Float)}));
    }
  }
  t.keyColumns = t.header.size();
  return t;
}

Table valueTable(const std::vector<store::CurrentRow>& readings, const NodeNames& names,
                 const MeterFormats& formats) {
  QuantityTable t(withMeter({"readAt", "meterClock"}), {"abnormalWord", "noReply"});
  for (const auto& r : readings) {
    const FormatTable f = formatsOf(formats, r.serial);
    std::vector<std::pair<std::string, Cell>> quantities;
    for (const auto& q : r.data.quantities) {
      quantities.emplace_back(
          q.name + "[" + q.unit + "]",
          q.noReply ? Cell() : Cell(q.value, currentDecimals(q.name, f), numberKindOf(q)));
    }
    t.addRow(joinedCells(meterCells(names, r.serial), {r.readAt, optionalCell(r.data.meterClock)}),
             quantities,
             {r.data.abnormalNoReply ? Cell() : Cell(static_cast<long long>(r.data.abnormalWord)),
              Cell(r.data.noReplyCount())});
  }
  return t.table();
}

Table archiveTerminalTable(const std::vector<store::MeterArchive>& meters, const NodeNames& names,
                           const MeterFormats& formats) {
  QuantityTable t(withMeter({"start"}), {"abnormal"});
  for (const auto& m : meters) {
    const FormatTable f = formatsOf(formats, m.serial);
    const std::vector<Cell> meter = meterCells(names, m.serial);
    for (const auto& d : m.periods) {
      for (const auto& r : d.records) {
        std::vector<std::pair<std::string, Cell>> quantities;
        for (const auto& q : r.quantities) {
          quantities.emplace_back(
              q.name + "[" + q.unit + "]",
              q.noReply ? Cell() : Cell(q.value, recordDecimals(q.name, f), numberKindOf(q)));
        }
        std::string codes;
        for (const auto& c : r.abnormalCodes) codes += c;
        t.addRow(joinedCells(meter, {r.dateTime}), quantities,
                 {r.abnormalNoReply ? Cell() : Cell(codes)});
      }
    }
  }
  return t.table();
}

bool holdsTotals(const std::vector<store::MeterArchive>& meters) {
  for (const auto& m : meters) {
    for (const auto& d : m.periods) {
      if (!d.dayRecord.empty() || !d.integrators.empty()) return true;
    }
  }
  return false;
}

Table archiveRecordTable(const std::vector<store::MeterArchive>& meters, const NodeNames& names,
                         const std::string& kind) {
  QuantityTable t = recordTable();
  for (const auto& m : meters) {
    const MeterName meter = meterName(names, m.serial);
    for (const auto& d : m.periods) addRecordRows(t, meter, {kind, std::nullopt, d});
  }
  return t.table();
}

}  // namespace vardis::cli
